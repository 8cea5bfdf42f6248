// Block header decoding, its compact text, its JSON document and its hash.

#include <cstddef>
#include <cstdint>
#include <span>

#include "blocks/block.hpp"
#include "common/binary_conversions.hpp"
#include "fuzz_checks.hpp"
#include "support/record_builders.hpp"

using namespace quorvane;
using fuzzing::is_lowercase_hex;

namespace {

void check_json_holds(const Json& value, const VrfBlock& block) {
    const UnminedBlock& header = block.unmined_block;
    FUZZ_CHECK(value.is_object() && value.size() == 2);
    const Json& unmined = value.at("unmined_block");
    FUZZ_CHECK(unmined.size() == 5);
    FUZZ_CHECK(unmined.begin().key() == "timestamp");
    FUZZ_CHECK(unmined.at("timestamp").get<std::uint64_t>() == header.timestamp);
    FUZZ_CHECK(unmined.at("miner").get<std::string>() == header.miner);
    FUZZ_CHECK(unmined.at("previous_hash").get<std::string>() == header.previous_hash);
    FUZZ_CHECK(unmined.at("next_block_difficulty").get<std::uint64_t>() == header.next_block_difficulty);
    FUZZ_CHECK(unmined.at("nonce").get<std::uint64_t>() == header.nonce);
    FUZZ_CHECK(value.at("vrf").is_number_unsigned() && value.at("vrf").get<uint128>() == block.vrf);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto block = decode_block_header(bytes);
    if (!block) {
        FUZZ_CHECK(block.error().kind() == ErrorKind::Other);
        const std::string message = block.error().message();
        if (size != BLOCK_HEADER_SIZE) {
            FUZZ_CHECK(message == INVALID_BLOCK_BYTE_COUNT);
        } else {
            FUZZ_CHECK(message == INVALID_SHORT_MINER_ADDRESS);
            FUZZ_CHECK(data[24] != 0x2E || (data[25] != 1 && data[25] != 2));
        }
        return 0;
    }
    FUZZ_CHECK(size == BLOCK_HEADER_SIZE);
    FUZZ_CHECK(testing::encode_block_header(*block) == testing::Bytes(bytes.begin(), bytes.end()));
    FUZZ_CHECK(is_lowercase_hex(block->unmined_block.previous_hash, 64));
    const std::string& miner = block->unmined_block.miner;
    FUZZ_CHECK(miner.ends_with(".veq") || miner.ends_with(".vetq"));
    FUZZ_CHECK(is_lowercase_hex(std::string_view(miner).substr(0, 40), 40));

    const std::string compact = compact_json_text(*block);
    FUZZ_CHECK(compact.size() >= 215 && compact.size() <= 284);
    FUZZ_CHECK(compact.find_first_of(" \n\t") == std::string::npos);
    const Json parsed = fuzzing::parse_json_exactly(compact);
    FUZZ_CHECK(!parsed.is_discarded());
    check_json_holds(parsed, *block);
    FUZZ_CHECK(parsed.dump() == compact);

    const std::string proof = bytes_to_hex(bytes.subspan(0, 16));
    const auto document = block_document_text(*block, proof);
    FUZZ_CHECK(document.has_value());
    const Json printed = fuzzing::parse_json_exactly(*document);
    FUZZ_CHECK(!printed.is_discarded() && printed.size() == 2);
    check_json_holds(printed.at("vrf_block"), *block);
    FUZZ_CHECK(printed.at("proof").get<std::string>() == proof);

    const std::string hash = compute_block_hash(*block);
    FUZZ_CHECK(is_lowercase_hex(hash, 64));
    const auto difficulty = hash_to_difficulty(hash);
    FUZZ_CHECK(difficulty.has_value());
    std::uint64_t sampled = 0;
    for (std::size_t i = 0; i < 64; i += 4) {
        const char c = hash[i];
        sampled = (sampled << 4) | static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    FUZZ_CHECK(*difficulty == sampled);
    return 0;
}

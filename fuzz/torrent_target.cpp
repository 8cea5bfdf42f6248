// Torrent record decoding and its JSON text.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "fuzz_checks.hpp"
#include "support/record_builders.hpp"
#include "torrent/structs.hpp"

using namespace quorvane;
using fuzzing::is_lowercase_hex;

namespace {

constexpr std::string_view MESSAGES[] = {
    INVALID_TORRENT_BYTE_COUNT,         INVALID_TORRENT_PIECE_LENGTH,
    INVALID_TORRENT_PIECE_SECTION_LENGTH, INVALID_TORRENT_PIECE_COUNT_OVERFLOW,
    INVALID_TORRENT_PIECE_COUNT_U8,     INVALID_NUMBER_OF_PIECES,
    INVALID_TORRENT_PIECE_INDEX_ORDER,  INVALID_TORRENT_MINER_ADDRESS,
};

bool is_known_message(const std::string& message) {
    for (const auto known : MESSAGES) {
        if (message == known) return true;
    }
    return false;
}

void check_json(const Torrent& torrent) {
    const std::string text = torrent_json_text(torrent);
    const Json parsed = fuzzing::parse_json_exactly(text);
    FUZZ_CHECK(!parsed.is_discarded());
    FUZZ_CHECK(parsed.dump(2) == text);
    const Info& info = torrent.info;
    const Json& value = parsed.at("info");
    FUZZ_CHECK(value.size() == 10);
    FUZZ_CHECK(value.at("length").get<std::uint64_t>() == info.length);
    FUZZ_CHECK(value.at("this_block_difficulty").get<std::uint64_t>() == info.this_block_difficulty);
    FUZZ_CHECK(value.at("timestamp").get<std::uint64_t>() == info.timestamp);
    FUZZ_CHECK(value.at("nonce").get<std::uint64_t>() == info.nonce);
    FUZZ_CHECK(value.at("vrf").get<uint128>() == info.vrf);
    FUZZ_CHECK(value.at("block_hash").get<std::string>() == info.block_hash);
    FUZZ_CHECK(value.at("previous_hash").get<std::string>() == info.previous_hash);
    FUZZ_CHECK(value.at("piece_length").get<std::uint64_t>() == info.piece_length);
    FUZZ_CHECK(value.at("info_hash").get<std::string>() == info.info_hash);
    const Json& pieces = value.at("pieces");
    FUZZ_CHECK(pieces.size() == info.pieces.size());
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        FUZZ_CHECK(pieces[k].size() == 1);
        FUZZ_CHECK(pieces[k].at(std::to_string(k + 1)).get<std::string>() == info.pieces[k].hash);
    }
    FUZZ_CHECK(parsed.at("mined_by").get<std::string>() == torrent.mined_by);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto torrent = decode_torrent(bytes);

    // What the reader keeps of a long file must give the same answer.
    if (size > TORRENT_MAX_SIZE + 1) {
        const auto from_prefix = decode_torrent(bytes.first(TORRENT_MAX_SIZE + 1), size);
        FUZZ_CHECK(!torrent.has_value() && !from_prefix.has_value());
        FUZZ_CHECK(from_prefix.error() == torrent.error());
    }
    if (!torrent) {
        FUZZ_CHECK(torrent.error().kind() == ErrorKind::InvalidData);
        FUZZ_CHECK(is_known_message(torrent.error().message()));
        return 0;
    }
    const Info& info = torrent->info;
    FUZZ_CHECK(size <= TORRENT_MAX_SIZE);
    FUZZ_CHECK(info.piece_length != 0);
    FUZZ_CHECK(info.pieces.size() <= 255);
    FUZZ_CHECK(info.pieces.size() == (info.length + info.piece_length - 1) / info.piece_length);
    FUZZ_CHECK(is_lowercase_hex(info.block_hash, 64));
    FUZZ_CHECK(info.previous_hash.empty() || is_lowercase_hex(info.previous_hash, 64));
    FUZZ_CHECK(is_lowercase_hex(info.info_hash, 32));
    for (const Piece& piece : info.pieces) FUZZ_CHECK(is_lowercase_hex(piece.hash, 32));
    FUZZ_CHECK(testing::encode_torrent(*torrent) == testing::Bytes(bytes.begin(), bytes.end()));
    check_json(*torrent);
    return 0;
}

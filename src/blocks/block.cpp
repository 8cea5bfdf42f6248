#include "blocks/block.hpp"

#include "blocks/short_miner_address.hpp"
#include "blocks/skein.hpp"
#include "common/binary_conversions.hpp"
#include "common/byte_cursor.hpp"

namespace quorvane {

namespace {

constexpr std::size_t PREVIOUS_HASH_SIZE = 32;

IoError header_error(std::string_view message) {
    return IoError::custom(ErrorKind::Other, std::string(message));
}

}  // namespace

std::expected<std::string, IoError> format_short_miner_address(
    std::span<const std::uint8_t> address) {
    auto text = short_miner_address_text(address);
    if (!text) return std::unexpected(header_error(INVALID_SHORT_MINER_ADDRESS));
    return std::move(*text);
}

std::expected<VrfBlock, IoError> decode_block_header(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != BLOCK_HEADER_SIZE) {
        return std::unexpected(header_error(INVALID_BLOCK_BYTE_COUNT));
    }
    // After the length check every read below finds its bytes.
    ByteCursor cursor(bytes);
    VrfBlock block;
    UnminedBlock& header = block.unmined_block;
    header.timestamp = *cursor.u32();
    auto miner = format_short_miner_address(*cursor.take(SHORT_MINER_ADDRESS_SIZE));
    if (!miner) return std::unexpected(miner.error());
    header.miner = std::move(*miner);
    header.previous_hash = bytes_to_hex(*cursor.take(PREVIOUS_HASH_SIZE));
    header.next_block_difficulty = *cursor.u64();
    header.nonce = *cursor.u8();
    block.vrf = *cursor.u128();
    return block;
}

std::string compact_json_text(const VrfBlock& block) {
    const UnminedBlock& header = block.unmined_block;
    // The texts only ever hold hex digits, lowercase letters and ".", which
    // JSON strings carry without escapes.
    std::string text;
    text.reserve(288);
    text += R"({"unmined_block":{"timestamp":)";
    text += std::to_string(header.timestamp);
    text += R"(,"miner":")";
    text += header.miner;
    text += R"(","previous_hash":")";
    text += header.previous_hash;
    text += R"(","next_block_difficulty":)";
    text += std::to_string(header.next_block_difficulty);
    text += R"(,"nonce":)";
    text += std::to_string(header.nonce);
    text += R"(},"vrf":)";
    text += to_decimal(block.vrf);
    text += '}';
    return text;
}

Json to_json(const VrfBlock& block) {
    const UnminedBlock& header = block.unmined_block;
    Json unmined = Json::object();
    unmined["timestamp"] = header.timestamp;
    unmined["miner"] = header.miner;
    unmined["previous_hash"] = header.previous_hash;
    unmined["next_block_difficulty"] = header.next_block_difficulty;
    unmined["nonce"] = header.nonce;

    Json value = Json::object();
    value["unmined_block"] = std::move(unmined);
    value["vrf"] = block.vrf;
    return value;
}

std::expected<std::string, IoError> block_document_text(const VrfBlock& block,
                                                       std::string_view proof_hex) {
    try {
        Json document = Json::object();
        document["vrf_block"] = to_json(block);
        document["proof"] = std::string(proof_hex);
        return document.dump(JSON_INDENT);
    } catch (const Json::exception& error) {  // GCOVR_EXCL_START: hex texts never make it throw
        return std::unexpected(IoError::custom(ErrorKind::Other, error.what()));
    }  // GCOVR_EXCL_STOP
}

std::string compute_block_hash(const VrfBlock& block) {
    const std::string text = compact_json_text(block);
    const auto digest = skein_256_256(
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    return bytes_to_hex(digest);
}

}  // namespace quorvane

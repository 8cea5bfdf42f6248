#include "torrent/structs.hpp"

#include <optional>

#include "blocks/short_miner_address.hpp"
#include "common/binary_conversions.hpp"
#include "common/byte_cursor.hpp"
#include "common/json.hpp"

namespace quorvane {

namespace {

constexpr std::size_t HASH_FIELD_SIZE = 32;
constexpr std::size_t INFO_HASH_SIZE = 16;
constexpr std::size_t PIECE_HASH_SIZE = 16;
constexpr std::uint64_t U64_MAX = UINT64_MAX;

std::unexpected<IoError> torrent_error(std::string_view message) {
    return std::unexpected(IoError::custom(ErrorKind::InvalidData, std::string(message)));
}

std::uint32_t u32_at(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) |
           static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

// ceil(length / piece_length), or nothing when length + piece_length - 1
// does not fit in 64 bits. piece_length is not 0.
std::optional<std::uint64_t> piece_count(std::uint64_t length, std::uint32_t piece_length) {
    if (length > U64_MAX - (piece_length - 1)) return std::nullopt;
    return (length + piece_length - 1) / piece_length;
}

// The previous-hash field is present exactly when the piece length read at
// its place gives a piece count that matches the record's total length.
bool has_previous_hash(std::span<const std::uint8_t> prefix, std::uint64_t length,
                       std::uint64_t total_length) {
    constexpr std::size_t with_hash_min = TORRENT_MIN_SIZE + PREVIOUS_HASH_FIELD_SIZE;
    if (total_length < with_hash_min || total_length > TORRENT_MAX_SIZE) return false;
    const std::uint32_t candidate_piece_length =
        u32_at(prefix, TORRENT_HEAD_SIZE + PREVIOUS_HASH_FIELD_SIZE);
    if (candidate_piece_length == 0) return false;
    const auto count = piece_count(length, candidate_piece_length);
    if (!count || *count > MAX_PIECES) return false;
    return total_length == with_hash_min + PIECE_ENTRY_SIZE * *count;
}

}  // namespace

std::expected<Torrent, IoError> decode_torrent(std::span<const std::uint8_t> bytes) {
    return decode_torrent(bytes, bytes.size());
}

std::expected<Torrent, IoError> decode_torrent(std::span<const std::uint8_t> prefix,
                                               std::uint64_t total_length) {
    if (total_length < TORRENT_MIN_SIZE) return torrent_error(INVALID_TORRENT_BYTE_COUNT);
    // A caller that kept too little cannot be served; say so rather than guess.
    if (prefix.size() > total_length ||
        (prefix.size() < total_length && prefix.size() <= TORRENT_MAX_SIZE)) {
        return torrent_error(INVALID_TORRENT_BYTE_COUNT);
    }

    ByteCursor cursor(prefix);
    Torrent torrent;
    Info& info = torrent.info;
    info.length = *cursor.u64();
    info.this_block_difficulty = *cursor.u64();
    info.timestamp = *cursor.u32();
    info.nonce = *cursor.u8();
    info.vrf = *cursor.u128();
    info.block_hash = bytes_to_hex(*cursor.take(HASH_FIELD_SIZE));

    if (has_previous_hash(prefix, info.length, total_length)) {
        info.previous_hash = bytes_to_hex(*cursor.take(PREVIOUS_HASH_FIELD_SIZE));
    }

    info.piece_length = *cursor.u32();
    if (info.piece_length == 0) return torrent_error(INVALID_TORRENT_PIECE_LENGTH);
    info.info_hash = bytes_to_hex(*cursor.take(INFO_HASH_SIZE));

    // Counted against the whole record, not just the bytes at hand.
    const std::uint64_t after_info_hash = total_length - cursor.position();
    const std::uint64_t section_bytes = after_info_hash - MINER_SECTION_SIZE;
    if (section_bytes % PIECE_ENTRY_SIZE != 0) {
        return torrent_error(INVALID_TORRENT_PIECE_SECTION_LENGTH);
    }
    const std::uint64_t entries = section_bytes / PIECE_ENTRY_SIZE;

    const auto expected = piece_count(info.length, info.piece_length);
    if (!expected) return torrent_error(INVALID_TORRENT_PIECE_COUNT_OVERFLOW);
    if (*expected > MAX_PIECES) return torrent_error(INVALID_TORRENT_PIECE_COUNT_U8);
    if (entries != *expected) return torrent_error(INVALID_NUMBER_OF_PIECES);

    // From here on the record is at most TORRENT_MAX_SIZE bytes, all at hand.
    info.pieces.reserve(static_cast<std::size_t>(entries));
    for (std::uint64_t k = 1; k <= entries; ++k) {
        const std::uint8_t index = *cursor.u8();
        if (index != k) return torrent_error(INVALID_TORRENT_PIECE_INDEX_ORDER);
        info.pieces.push_back(Piece{index, bytes_to_hex(*cursor.take(PIECE_HASH_SIZE))});
    }

    auto miner = short_miner_address_text(*cursor.take(MINER_SECTION_SIZE));
    if (!miner) return torrent_error(INVALID_TORRENT_MINER_ADDRESS);
    torrent.mined_by = std::move(*miner);
    return torrent;
}

std::string torrent_json_text(const Torrent& torrent) {
    const Info& info = torrent.info;
    Json pieces = Json::array();
    for (const Piece& piece : info.pieces) {
        Json entry = Json::object();
        entry[std::to_string(piece.index)] = piece.hash;
        pieces.push_back(std::move(entry));
    }
    Json info_value = Json::object();
    info_value["length"] = info.length;
    info_value["this_block_difficulty"] = info.this_block_difficulty;
    info_value["timestamp"] = info.timestamp;
    info_value["nonce"] = info.nonce;
    info_value["vrf"] = info.vrf;
    info_value["block_hash"] = info.block_hash;
    info_value["previous_hash"] = info.previous_hash;
    info_value["piece_length"] = info.piece_length;
    info_value["info_hash"] = info.info_hash;
    info_value["pieces"] = std::move(pieces);

    Json document = Json::object();
    document["info"] = std::move(info_value);
    document["mined_by"] = torrent.mined_by;
    // Every text is hex or an address, so replacing invalid UTF-8 never
    // happens; it only keeps the printer from throwing.
    return document.dump(JSON_INDENT, ' ', false, Json::error_handler_t::replace);
}

}  // namespace quorvane

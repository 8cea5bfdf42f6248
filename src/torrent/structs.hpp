#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/io_error.hpp"
#include "common/uint128.hpp"

namespace quorvane {

inline constexpr std::size_t TORRENT_HEAD_SIZE = 69;
inline constexpr std::size_t PREVIOUS_HASH_FIELD_SIZE = 32;
inline constexpr std::size_t PIECE_ENTRY_SIZE = 17;
inline constexpr std::size_t MINER_SECTION_SIZE = 22;
inline constexpr std::size_t MAX_PIECES = 255;
// No previous hash, no pieces.
inline constexpr std::size_t TORRENT_MIN_SIZE = 111;
// With previous hash, 255 pieces: nothing longer can decode.
inline constexpr std::size_t TORRENT_MAX_SIZE =
    TORRENT_MIN_SIZE + PREVIOUS_HASH_FIELD_SIZE + PIECE_ENTRY_SIZE * MAX_PIECES;

inline constexpr std::string_view INVALID_TORRENT_BYTE_COUNT = "Invalid Torrent Byte Count";
inline constexpr std::string_view INVALID_TORRENT_PIECE_LENGTH = "Invalid Torrent piece length";
inline constexpr std::string_view INVALID_TORRENT_PIECE_SECTION_LENGTH =
    "Invalid Torrent piece section length";
inline constexpr std::string_view INVALID_TORRENT_PIECE_COUNT_OVERFLOW =
    "Invalid Torrent piece count overflow";
inline constexpr std::string_view INVALID_TORRENT_PIECE_COUNT_U8 =
    "Invalid Torrent piece count exceeds u8 limit";
inline constexpr std::string_view INVALID_NUMBER_OF_PIECES = "Invalid number of pieces";
inline constexpr std::string_view INVALID_TORRENT_PIECE_INDEX_ORDER =
    "Invalid Torrent piece index order";
inline constexpr std::string_view INVALID_TORRENT_MINER_ADDRESS = "Invalid Torrent miner address";

struct Piece {
    std::uint8_t index = 0;
    std::string hash;  // 32 lowercase hex digits

    friend bool operator==(const Piece&, const Piece&) = default;
};

// Field order is the JSON member order.
struct Info {
    std::uint64_t length = 0;
    std::uint64_t this_block_difficulty = 0;
    std::uint32_t timestamp = 0;
    std::uint8_t nonce = 0;
    uint128 vrf = 0;
    std::string block_hash;
    std::string previous_hash;  // empty when the record has none
    std::uint32_t piece_length = 0;
    std::string info_hash;
    std::vector<Piece> pieces;

    friend bool operator==(const Info&, const Info&) = default;
};

struct Torrent {
    Info info;
    std::string mined_by;

    friend bool operator==(const Torrent&, const Torrent&) = default;
};

// Decodes a whole torrent record; errors are of kind InvalidData.
std::expected<Torrent, IoError> decode_torrent(std::span<const std::uint8_t> bytes);

// Decodes a record of `total_length` bytes of which only the first ones are
// given. The result is the same as for the whole record as long as the prefix
// holds all of it or at least TORRENT_MAX_SIZE + 1 bytes: a longer record
// never decodes, and its error depends only on its head and its length.
std::expected<Torrent, IoError> decode_torrent(std::span<const std::uint8_t> prefix,
                                               std::uint64_t total_length);

// Pretty JSON text, two-space indentation, without a trailing newline.
std::string torrent_json_text(const Torrent& torrent);

// The same document with no white space at all, for one-line output.
std::string torrent_compact_json_text(const Torrent& torrent);

}  // namespace quorvane

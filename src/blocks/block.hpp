#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "common/io_error.hpp"
#include "common/json.hpp"
#include "common/uint128.hpp"

namespace quorvane {

inline constexpr std::size_t BLOCK_HEADER_SIZE = 83;
inline constexpr std::size_t BLOCK_PROOF_SIZE = 666;
inline constexpr std::size_t BLOCK_HEADER_AND_PROOF_SIZE = BLOCK_HEADER_SIZE + BLOCK_PROOF_SIZE;

inline constexpr std::string_view INVALID_BLOCK_BYTE_COUNT = "Invalid Byte Count for Block";
inline constexpr std::string_view INVALID_SHORT_MINER_ADDRESS = "Invalid short miner address";

// The block header without its VRF value. Field order is the JSON member order.
struct UnminedBlock {
    std::uint32_t timestamp = 0;
    std::string miner;
    std::string previous_hash;
    std::uint64_t next_block_difficulty = 0;
    std::uint8_t nonce = 0;

    friend bool operator==(const UnminedBlock&, const UnminedBlock&) = default;
};

struct VrfBlock {
    UnminedBlock unmined_block;
    uint128 vrf = 0;

    friend bool operator==(const VrfBlock&, const VrfBlock&) = default;
};

// Decodes the 83 header bytes; errors are of kind Other.
std::expected<VrfBlock, IoError> decode_block_header(std::span<const std::uint8_t> bytes);

// Formats a 22-byte short miner address, or fails with "Invalid short miner address".
std::expected<std::string, IoError> format_short_miner_address(
    std::span<const std::uint8_t> address);

// The compact JSON text (no white space, members in declared order, vrf
// with all its digits) that the block hash is computed over.
std::string compact_json_text(const VrfBlock& block);

// The record as a JSON value; vrf keeps all its digits.
Json to_json(const VrfBlock& block);

// {"vrf_block": ..., "proof": "..."} pretty-printed with two-space
// indentation, without a trailing newline. The printer's own failure, should
// it ever report one, comes back as an error of kind Other.
std::expected<std::string, IoError> block_document_text(const VrfBlock& block, std::string_view proof_hex);

// Skein-256-256 of the compact text, as 64 lowercase hex digits.
std::string compute_block_hash(const VrfBlock& block);

}  // namespace quorvane

#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

namespace quorvane {

inline constexpr std::string_view INVALID_HASH_LENGTH = "Invalid hash length. Must be 64 characters.";
inline constexpr std::string_view FAILED_TO_CONVERT_TO_U64 = "Failed to convert to u64.";
inline constexpr std::size_t HASH_TEXT_LENGTH = 64;

// Lowercase hex, two digits per byte, high nibble first.
std::string bytes_to_hex(std::span<const std::uint8_t> bytes);
// The same, appended to `out`.
void append_hex(std::string& out, std::span<const std::uint8_t> bytes);

// Reads every fourth character of a 64-character hash text (positions 0, 4,
// ..., 60) as one 16-digit hexadecimal number.
std::expected<std::uint64_t, std::string> hash_to_difficulty(std::string_view hash_text);

}  // namespace quorvane

#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "config/settings_error.hpp"

namespace quorvane {

inline constexpr std::string_view NEGATIVE_COIN_VALUE = "decimal coin value cannot be negative";
inline constexpr std::uint64_t COIN_UNITS_PER_COIN = 100'000'000;

// Decimal unsigned integers: one optional leading "+", ASCII digits only,
// leading zeros allowed, at most `maximum`.
std::expected<std::uint64_t, SettingsError> parse_unsigned(std::string_view text,
                                                           std::uint64_t maximum);
std::expected<std::uint8_t, SettingsError> parse_u8(std::string_view text);
std::expected<std::uint16_t, SettingsError> parse_u16(std::string_view text);

// Exactly "true" or "false".
std::expected<bool, SettingsError> parse_bool(std::string_view text);

// A coin amount such as "0.00000001" in smallest units (10^8 to one coin),
// rounded half away from zero and saturated to the 64-bit range.
std::expected<std::uint64_t, SettingsError> parse_decimal_coin_value(std::string_view text);

}  // namespace quorvane

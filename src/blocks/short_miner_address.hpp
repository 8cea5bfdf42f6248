#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quorvane {

inline constexpr std::size_t MINER_ADDRESS_BYTES = 20;
inline constexpr std::size_t SHORT_MINER_ADDRESS_SIZE = 22;
inline constexpr std::uint8_t MINER_ADDRESS_SEPARATOR = 0x2E;
inline constexpr std::uint8_t MAIN_NETWORK_BYTE = 1;
inline constexpr std::uint8_t TEST_NETWORK_BYTE = 2;

// 20 address bytes, the separator 0x2E and a network byte (1: "VEQ",
// 2: "VETQ") as 40 hex digits, "." and the lower-cased tag. Nothing when the
// bytes are not such an address; each caller reports that in its own words.
std::optional<std::string> short_miner_address_text(std::span<const std::uint8_t> address);

}  // namespace quorvane

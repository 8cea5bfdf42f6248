#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quorvane {

inline constexpr std::size_t SKEIN_256_DIGEST_SIZE = 32;

using Skein256Digest = std::array<std::uint8_t, SKEIN_256_DIGEST_SIZE>;

// Skein-256-256 as published in Skein 1.3: Threefish-256 in UBI chaining, the
// standard configuration (schema "SHA3", version 1, 256 output bits, no tree),
// no key or other optional input.
Skein256Digest skein_256_256(std::span<const std::uint8_t> message);

}  // namespace quorvane

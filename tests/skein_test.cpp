#include "blocks/skein.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/binary_conversions.hpp"

namespace quorvane {
namespace {

std::string skein_hex(const std::vector<std::uint8_t>& message) {
    return bytes_to_hex(skein_256_256(message));
}

std::vector<std::uint8_t> descending(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(0xFF - i);
    return bytes;
}

TEST(Skein256, ReproducesThePublishedKnownAnswers) {
    EXPECT_EQ(skein_hex({0xFF}), "0b98dcd198ea0e50a7a244c444e25c23da30c10fc9a1f270a6637f1f34e67ed2");
    EXPECT_EQ(skein_hex(descending(32)),
              "8d0fa4ef777fd759dfd4044e6f6a5ac3c774aec943dcfc07927b723b5dbf408b");
    EXPECT_EQ(skein_hex(descending(64)),
              "df28e916630d0b44c4a849dc9a02f07a07cb30f732318256b15d865ac4ae162f");
}

TEST(Skein256, EveryBlockBoundaryGivesADistinctDigest) {
    // Lengths around the 32-byte block size exercise padding and the final flag.
    std::vector<std::string> digests;
    for (const std::size_t length : {0u, 1u, 31u, 32u, 33u, 63u, 64u, 65u, 228u}) {
        digests.push_back(skein_hex(std::vector<std::uint8_t>(length, 0)));
    }
    for (std::size_t i = 0; i < digests.size(); ++i) {
        EXPECT_EQ(digests[i].size(), 64u);
        for (std::size_t j = i + 1; j < digests.size(); ++j) EXPECT_NE(digests[i], digests[j]);
    }
}

}  // namespace
}  // namespace quorvane

#include "blocks/skein.hpp"

#include <bit>
#include <cstring>
#include <utility>

namespace quorvane {

namespace {

constexpr std::size_t WORDS = 4;
constexpr std::size_t BLOCK_BYTES = 32;
using Words = std::array<std::uint64_t, WORDS>;

constexpr std::uint64_t KEY_SCHEDULE_PARITY = 0x1BD11BDAA9FC1A22ULL;

// UBI block types, placed in bits 120-125 of the tweak.
constexpr std::uint64_t TYPE_CONFIG = 4;
constexpr std::uint64_t TYPE_MESSAGE = 48;
constexpr std::uint64_t TYPE_OUTPUT = 63;
constexpr std::uint64_t FLAG_FIRST = 1ULL << 62;
constexpr std::uint64_t FLAG_FINAL = 1ULL << 63;

constexpr std::uint64_t rotl(std::uint64_t x, unsigned n) { return (x << n) | (x >> (64 - n)); }

constexpr std::uint64_t load_le64(const std::uint8_t* p) {
    if !consteval {
        if constexpr (std::endian::native == std::endian::little) {
            std::uint64_t value;
            std::memcpy(&value, p, sizeof value);
            return value;
        }
    }
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

// Two rounds of MIX on the pairs (0,1) and (2,3), the word permutation of
// Threefish-256 being folded into which words the second round mixes.
#define SKEIN_TWO_ROUNDS(ra, rb, rc, rd)       \
    v0 += v1; v1 = rotl(v1, ra) ^ v0;          \
    v2 += v3; v3 = rotl(v3, rb) ^ v2;          \
    v0 += v3; v3 = rotl(v3, rc) ^ v0;          \
    v2 += v1; v1 = rotl(v1, rd) ^ v2;

// Threefish-256 encryption of `block` under `key` and `tweak`: 72 rounds,
// a subkey added before every fourth round and after the last. The subkey
// loop is unrolled at compile time so that every key and tweak index is a
// constant.
constexpr Words threefish_256(const Words& key, std::uint64_t tweak0, std::uint64_t tweak1,
                              const Words& block) {
    const std::uint64_t k[5] = {key[0], key[1], key[2], key[3],
                                KEY_SCHEDULE_PARITY ^ key[0] ^ key[1] ^ key[2] ^ key[3]};
    const std::uint64_t t[3] = {tweak0, tweak1, tweak0 ^ tweak1};
    std::uint64_t v0 = block[0], v1 = block[1], v2 = block[2], v3 = block[3];

    const auto inject = [&]<std::uint64_t S>() {
        v0 += k[S % 5];
        v1 += k[(S + 1) % 5] + t[S % 3];
        v2 += k[(S + 2) % 5] + t[(S + 1) % 3];
        v3 += k[(S + 3) % 5] + S;
    };
    const auto eight_rounds = [&]<std::uint64_t S>() {
        inject.template operator()<S>();
        SKEIN_TWO_ROUNDS(14, 16, 52, 57)
        SKEIN_TWO_ROUNDS(23, 40, 5, 37)
        inject.template operator()<S + 1>();
        SKEIN_TWO_ROUNDS(25, 33, 46, 12)
        SKEIN_TWO_ROUNDS(58, 22, 32, 32)
    };
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (eight_rounds.template operator()<2 * I>(), ...);
    }(std::make_index_sequence<9>{});
    inject.template operator()<18>();
    return Words{v0, v1, v2, v3};
}

#undef SKEIN_TWO_ROUNDS

// One UBI step: encrypt the block under the chaining value, then feed the
// block forward.
constexpr Words ubi_block(const Words& chain, const std::uint8_t* bytes, std::uint64_t position,
                          std::uint64_t flags) {
    Words block{};
    for (std::size_t i = 0; i < WORDS; ++i) block[i] = load_le64(bytes + 8 * i);
    Words out = threefish_256(chain, position, flags, block);
    for (std::size_t i = 0; i < WORDS; ++i) out[i] ^= block[i];
    return out;
}

constexpr std::uint64_t type_bits(std::uint64_t type) { return type << 56; }

// The chaining value after the configuration block, the same for every
// message, so it is computed once while compiling.
constexpr Words initial_chaining_value() {
    std::uint8_t config[BLOCK_BYTES] = {};
    config[0] = 'S';
    config[1] = 'H';
    config[2] = 'A';
    config[3] = '3';
    config[4] = 1;  // version 1
    const std::uint64_t output_bits = 8 * SKEIN_256_DIGEST_SIZE;
    for (int i = 0; i < 8; ++i) config[8 + i] = static_cast<std::uint8_t>(output_bits >> (8 * i));
    return ubi_block(Words{}, config, BLOCK_BYTES,
                     type_bits(TYPE_CONFIG) | FLAG_FIRST | FLAG_FINAL);
}

constexpr Words INITIAL_CHAINING_VALUE = initial_chaining_value();

}  // namespace

Skein256Digest skein_256_256(std::span<const std::uint8_t> message) {
    Words chain = INITIAL_CHAINING_VALUE;
    std::uint64_t flags = type_bits(TYPE_MESSAGE) | FLAG_FIRST;
    std::size_t offset = 0;
    // Every block but the last goes through whole; the last is padded with zeros.
    while (message.size() - offset > BLOCK_BYTES) {
        offset += BLOCK_BYTES;
        chain = ubi_block(chain, message.data() + offset - BLOCK_BYTES, offset, flags);
        flags &= ~FLAG_FIRST;
    }
    std::uint8_t last[BLOCK_BYTES] = {};
    const std::size_t tail = message.size() - offset;
    for (std::size_t i = 0; i < tail; ++i) last[i] = message[offset + i];
    chain = ubi_block(chain, last, message.size(), flags | FLAG_FINAL);

    const std::uint8_t counter[BLOCK_BYTES] = {};  // output block 0
    chain = ubi_block(chain, counter, 8, type_bits(TYPE_OUTPUT) | FLAG_FIRST | FLAG_FINAL);

    Skein256Digest digest{};
    for (std::size_t i = 0; i < SKEIN_256_DIGEST_SIZE; ++i) {
        digest[i] = static_cast<std::uint8_t>(chain[i / 8] >> (8 * (i % 8)));
    }
    return digest;
}

}  // namespace quorvane

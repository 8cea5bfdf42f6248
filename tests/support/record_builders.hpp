#pragma once

// Readable builders of the binary records, for tests and for the example node.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "blocks/block.hpp"
#include "common/uint128.hpp"
#include "torrent/structs.hpp"

namespace quorvane::testing {

using Bytes = std::vector<std::uint8_t>;

// 20 address bytes, separator, network byte.
struct MinerAddressFields {
    std::array<std::uint8_t, 20> address{};
    std::uint8_t separator = 0x2E;
    std::uint8_t network = 1;
};

struct BlockHeaderFields {
    std::uint32_t timestamp = 0;
    MinerAddressFields miner;
    std::array<std::uint8_t, 32> previous_hash{};
    std::uint64_t next_block_difficulty = 0;
    std::uint8_t nonce = 0;
    uint128 vrf = 0;
};

struct PieceFields {
    std::uint8_t index = 0;
    std::array<std::uint8_t, 16> hash{};
};

struct TorrentFields {
    std::uint64_t length = 0;
    std::uint64_t this_block_difficulty = 0;
    std::uint32_t timestamp = 0;
    std::uint8_t nonce = 0;
    uint128 vrf = 0;
    std::array<std::uint8_t, 32> block_hash{};
    std::optional<std::array<std::uint8_t, 32>> previous_hash;
    std::uint32_t piece_length = 0;
    std::array<std::uint8_t, 16> info_hash{};
    std::vector<PieceFields> pieces;
    MinerAddressFields miner;
};

// Bytes first, first + 1, ... (wrapping), as the worked examples use.
template <std::size_t N>
std::array<std::uint8_t, N> counting_bytes(std::uint8_t first) {
    std::array<std::uint8_t, N> bytes{};
    for (std::size_t i = 0; i < N; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

Bytes encode_block_header(const BlockHeaderFields& fields);
Bytes encode_torrent(const TorrentFields& fields);

// The same bytes again from decoded records (their texts are hex).
Bytes encode_block_header(const VrfBlock& block);
Bytes encode_torrent(const Torrent& torrent);

// Header: timestamp 1700000000, miner 0102...14.veq, previous hash 00 01 .. 1f,
// difficulty 1000, nonce 7, vrf 42.
BlockHeaderFields worked_example_header();

// 162-byte record: length 1000, piece length 400, three pieces.
TorrentFields worked_example_torrent();

// A block file: header followed by the given proof bytes.
Bytes block_file(const BlockHeaderFields& header, const Bytes& proof);

Bytes zero_proof();

std::string as_text(const Bytes& bytes);

}  // namespace quorvane::testing

#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <string>

#include "blocks/block.hpp"
#include "common/network_paths_and_settings.hpp"

namespace quorvane {

// What one read of a block file gives: the header and the raw proof bytes.
struct BlockContents {
    VrfBlock header;
    std::array<std::uint8_t, BLOCK_PROOF_SIZE> proof{};
};

// The first bytes of a block file, as read: at most 749.
struct RawBlock {
    std::array<std::uint8_t, BLOCK_HEADER_AND_PROOF_SIZE> bytes{};
    std::size_t size = 0;
};

// Opens the block file at `path` once and reads at most 749 bytes; the error
// is the text for a file that cannot be opened or read.
std::expected<RawBlock, std::string> read_block_bytes(const std::string& path, std::uint32_t height);

// Checks and decodes what read_block_bytes gave: a header that does not
// decode before a file too short for its proof.
std::expected<BlockContents, std::string> decode_block_bytes(const RawBlock& raw, std::uint32_t height);

// The block file of a height: "<height>.vetq" in the test network's block directory.
std::string block_file_in(const NetworkPaths& paths, std::uint32_t height);

// The same, loading the settings afresh; the error is the settings failure text.
std::expected<std::string, std::string> block_file_path(std::uint32_t height);

// Reads at most the 83 header bytes of the height's block file and decodes
// them. The error is the text to stop with.
std::expected<VrfBlock, std::string> read_block_header(std::uint32_t height);

// Reads at most 749 bytes of the height's block file and returns the proof
// (bytes 83 to 748) as lowercase hex. The error is the text to stop with.
std::expected<std::string, std::string> read_block_proof(std::uint32_t height);

}  // namespace quorvane

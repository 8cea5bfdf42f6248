#include "records/unpack_block/unpack_header.hpp"

#include <algorithm>
#include <array>

#include "common/binary_conversions.hpp"
#include "common/file_reading.hpp"
#include "common/network_paths_and_settings.hpp"
#include "common/paths.hpp"

namespace quorvane {

std::string block_file_in(const NetworkPaths& paths, std::uint32_t height) {
    return join_path(paths.block_dir, std::to_string(height) + "." + paths.currency_tag);
}

std::expected<std::string, std::string> block_file_path(std::uint32_t height) {
    const auto paths = testnet_network_paths();
    if (!paths) return std::unexpected(settings_failure_text(paths.error()));
    return block_file_in(*paths, height);
}

namespace {

// Opens the block file, reads at most buffer.size() bytes from its start and
// closes it again. `part` names the read in its error text.
std::expected<std::size_t, std::string> read_prefix_at(const std::string& path, std::uint32_t height,
                                                        std::span<std::uint8_t> buffer,
                                                        std::string_view part) {
    auto file = ReadOnlyFile::open(path);
    if (!file) {
        return std::unexpected("Error opening block file for height " + std::to_string(height) +
                               ": " + file.error().diagnostic());
    }
    const auto received = file->read_up_to(buffer);
    if (!received) {
        return std::unexpected("Error reading block " + std::string(part) + " for height " +
                               std::to_string(height) + ": " + received.error().diagnostic());
    }
    return *received;
}

std::expected<std::size_t, std::string> read_block_prefix(std::uint32_t height,
                                                           std::span<std::uint8_t> buffer,
                                                           std::string_view part) {
    const auto path = block_file_path(height);
    if (!path) return std::unexpected(path.error());
    return read_prefix_at(*path, height, buffer, part);
}

std::string parse_failure_text(const IoError& error) { return "Error parsing block: " + error.diagnostic(); }

std::string short_file_text(std::uint32_t height) {
    // The message counts the proof as part of the header, as users know it.
    return "Block " + std::to_string(height) + " does not contain a complete " +
           std::to_string(BLOCK_HEADER_AND_PROOF_SIZE) + "-byte header";
}

}  // namespace

std::expected<VrfBlock, std::string> read_block_header(std::uint32_t height) {
    std::array<std::uint8_t, BLOCK_HEADER_SIZE> buffer{};
    const auto received = read_block_prefix(height, buffer, "header");
    if (!received) return std::unexpected(received.error());

    // A short file reaches the decoder and fails there with the byte count message.
    auto block = decode_block_header(std::span(buffer).first(*received));
    if (!block) return std::unexpected(parse_failure_text(block.error()));
    return std::move(*block);
}

std::expected<std::string, std::string> read_block_proof(std::uint32_t height) {
    std::array<std::uint8_t, BLOCK_HEADER_AND_PROOF_SIZE> buffer{};
    const auto received = read_block_prefix(height, buffer, "proof");
    if (!received) return std::unexpected(received.error());

    if (*received < BLOCK_HEADER_AND_PROOF_SIZE) return std::unexpected(short_file_text(height));
    return bytes_to_hex(std::span(buffer).subspan(BLOCK_HEADER_SIZE, BLOCK_PROOF_SIZE));
}

std::expected<RawBlock, std::string> read_block_bytes(const std::string& path, std::uint32_t height) {
    RawBlock raw;
    const auto received = read_prefix_at(path, height, raw.bytes, "header");
    if (!received) return std::unexpected(received.error());
    raw.size = *received;
    return raw;
}

std::expected<BlockContents, std::string> decode_block_bytes(const RawBlock& raw, std::uint32_t height) {
    const auto buffer = std::span(raw.bytes);
    auto header = decode_block_header(buffer.first(std::min(raw.size, BLOCK_HEADER_SIZE)));
    if (!header) return std::unexpected(parse_failure_text(header.error()));
    if (raw.size < BLOCK_HEADER_AND_PROOF_SIZE) return std::unexpected(short_file_text(height));
    BlockContents contents{std::move(*header), {}};
    std::copy_n(buffer.begin() + BLOCK_HEADER_SIZE, BLOCK_PROOF_SIZE, contents.proof.begin());
    return contents;
}

}  // namespace quorvane

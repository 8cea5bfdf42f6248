#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/io_error.hpp"

namespace quorvane {

// What the reader keeps of a torrent file: all of it when it could be a
// record, otherwise its first TORRENT_MAX_SIZE + 1 bytes and its length.
struct TorrentFileContent {
    std::vector<std::uint8_t> kept;
    std::uint64_t total_length = 0;

    std::span<const std::uint8_t> bytes() const { return kept; }
};

inline constexpr std::string_view TORRENT_FILE_SUFFIX = ".torrent";

// The torrent file of a block: directory, "/", block number text, ".torrent",
// formed as text with nothing normalised.
std::string torrent_file_path(std::string_view torrent_dir, std::string_view block_number);

// A torrent file that is not a regular file (a device, a FIFO) is read to at
// most this many bytes; a longer one is an error, so an endless stream ends.
inline constexpr std::uint64_t TORRENT_STREAM_LIMIT = 64ull << 20;
inline constexpr std::string_view TORRENT_STREAM_TOO_LONG = "torrent file is longer than 64 MiB";

// Reads a torrent file with bounded memory, however long it is.
std::expected<TorrentFileContent, IoError> read_torrent_file(const std::string& path);

}  // namespace quorvane

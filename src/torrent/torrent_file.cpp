#include "torrent/torrent_file.hpp"

#include "common/file_reading.hpp"
#include "torrent/structs.hpp"

namespace quorvane {

std::string torrent_file_path(std::string_view torrent_dir, std::string_view block_number) {
    std::string path(torrent_dir);
    path += '/';
    path += block_number;
    path += TORRENT_FILE_SUFFIX;
    return path;
}

std::expected<TorrentFileContent, IoError> read_torrent_file(const std::string& path) {
    auto file = ReadOnlyFile::open(path);
    if (!file) return std::unexpected(file.error());

    // One byte more than the longest record tells a record from a longer file.
    TorrentFileContent content;
    content.kept.resize(TORRENT_MAX_SIZE + 1);
    const auto got = file->read_up_to(content.kept);
    if (!got) return std::unexpected(got.error());
    content.kept.resize(*got);
    content.total_length = *got;
    if (*got <= TORRENT_MAX_SIZE) return content;

    // Too long to decode: only the length matters now. A regular file's size
    // is known without reading it; anything else is counted, not kept.
    if (const auto size = file->regular_file_size(); size && *size >= content.total_length) {
        content.total_length = *size;
        return content;
    }
    const auto rest = file->count_remaining(TORRENT_STREAM_LIMIT - content.total_length);
    if (!rest) return std::unexpected(rest.error());
    content.total_length += *rest;
    if (content.total_length > TORRENT_STREAM_LIMIT) {
        return std::unexpected(IoError::simple(ErrorKind::InvalidData, std::string(TORRENT_STREAM_TOO_LONG)));
    }
    return content;
}

}  // namespace quorvane

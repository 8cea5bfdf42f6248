#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>

#include "common/io_error.hpp"

namespace quorvane {

// An open, read-only file descriptor, closed when it goes out of scope.
class ReadOnlyFile {
public:
    static std::expected<ReadOnlyFile, IoError> open(const std::string& path);

    ReadOnlyFile(ReadOnlyFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    ReadOnlyFile& operator=(ReadOnlyFile&&) = delete;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    ~ReadOnlyFile();

    int descriptor() const { return fd_; }

    // Fills `buffer` from the current position, repeating short reads, until
    // it is full or the file ends; returns how many bytes arrived. Never asks
    // for more than what is still missing.
    std::expected<std::size_t, IoError> read_up_to(std::span<std::uint8_t> buffer);

    // Reads and discards the rest of the file, returning how many bytes it held.
    std::expected<std::uint64_t, IoError> count_remaining();

    // The size of a regular file as the file system records it, or nothing
    // for other kinds of file.
    std::expected<std::optional<std::uint64_t>, IoError> regular_file_size() const;

private:
    explicit ReadOnlyFile(int fd) : fd_(fd) {}
    int fd_;
};

// Whether the path names something, following links; any failure counts as "no".
bool path_exists(const std::string& path);

// Reads a whole file into text.
std::expected<std::string, IoError> read_whole_file(const std::string& path);

}  // namespace quorvane

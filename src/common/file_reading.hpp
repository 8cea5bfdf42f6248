#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/io_error.hpp"

namespace quorvane {

// A path that holds a NUL byte names no file: the system would see only the
// part before it, so such a path never reaches a system call.
inline constexpr std::string_view NUL_IN_FILE_NAME = "file name contained an unexpected NUL byte";

// The error for such a path, when it holds a NUL byte.
std::optional<IoError> nul_in_file_name(std::string_view path);

// An open, read-only file descriptor, closed when it goes out of scope.
class ReadOnlyFile {
public:
    static std::expected<ReadOnlyFile, IoError> open(const std::string& path);

    ReadOnlyFile(ReadOnlyFile&& other) noexcept : fd_(other.fd_), regular_size_(other.regular_size_) {
        other.fd_ = -1;
    }
    ReadOnlyFile& operator=(ReadOnlyFile&&) = delete;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    ~ReadOnlyFile();

    int descriptor() const { return fd_; }

    // Fills `buffer` from the current position, repeating short reads, until
    // it is full or the file ends; returns how many bytes arrived. Never asks
    // for more than what is still missing.
    std::expected<std::size_t, IoError> read_up_to(std::span<std::uint8_t> buffer);

    // Reads and discards the rest of the file, returning how many bytes it
    // held; stops once more than `limit` bytes have been counted, so an endless
    // stream ends too (the count is then above `limit`).
    std::expected<std::uint64_t, IoError> count_remaining(std::uint64_t limit);

    // The size of a regular file as the file system recorded it when the
    // file was opened, or nothing for other kinds of file.
    std::optional<std::uint64_t> regular_file_size() const { return regular_size_; }

private:
    explicit ReadOnlyFile(int fd) : fd_(fd) {}
    int fd_;
    std::optional<std::uint64_t> regular_size_;
};

// Whether a directory entry of that name exists, of any kind (a dangling link
// counts); only "no such entry" counts as "no".
bool entry_exists(const std::string& path);

// Whether the path names something, following links; any failure counts as "no".
bool path_exists(const std::string& path);

// Reads a whole file into text. A file longer than `limit` bytes (however it
// is fed: device, FIFO, growing file) fails with an InvalidData error that
// carries `too_long_message`, after reading at most `limit` + 1 bytes.
std::expected<std::string, IoError> read_whole_file(const std::string& path, std::size_t limit,
                                                    std::string_view too_long_message);

}  // namespace quorvane

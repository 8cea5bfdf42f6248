#include "common/file_reading.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

namespace quorvane {

std::optional<IoError> nul_in_file_name(std::string_view path) {
    if (path.find('\0') == std::string_view::npos) return std::nullopt;
    return IoError::simple(ErrorKind::InvalidInput, std::string(NUL_IN_FILE_NAME));
}

std::expected<ReadOnlyFile, IoError> ReadOnlyFile::open(const std::string& path) {
    if (auto refused = nul_in_file_name(path)) return std::unexpected(std::move(*refused));
    // Non-blocking only while opening: a FIFO without a writer would otherwise
    // hang the tool; it now reads as empty. Reads then block as usual.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return std::unexpected(IoError::from_os(errno));
    ReadOnlyFile file(fd);
    struct stat status {};
    int stated;
    do {
        stated = ::fstat(fd, &status);
    } while (stated != 0 && errno == EINTR);
    if (stated != 0) return std::unexpected(IoError::from_os(errno));
    if (S_ISREG(status.st_mode)) {
        // Regular files ignore the flag, so it can stay.
        file.regular_size_ = static_cast<std::uint64_t>(status.st_size);
    } else if (!S_ISDIR(status.st_mode)) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
            return std::unexpected(IoError::from_os(errno));
        }
    }
    return file;
}

ReadOnlyFile::~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::expected<std::size_t, IoError> ReadOnlyFile::read_up_to(std::span<std::uint8_t> buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t got = ::read(fd_, buffer.data() + filled, buffer.size() - filled);
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(IoError::from_os(errno));
        }
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
        // A short read that reaches the size the file had when opened is its
        // end: no second call to learn it. (Files of the proc kind show size
        // 0 and hand out their text in parts, so they are read to the end.)
        const bool short_read = filled < buffer.size();
        if (short_read && regular_size_ && *regular_size_ > 0 && filled >= *regular_size_) break;
    }
    return filled;
}

std::expected<std::uint64_t, IoError> ReadOnlyFile::count_remaining(std::uint64_t limit) {
    // Counted in large steps so that a long pipe is drained quickly.
    static std::uint8_t scratch[64 * 1024];
    std::uint64_t total = 0;
    while (total <= limit) {
        const ssize_t got = ::read(fd_, scratch, sizeof scratch);
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(IoError::from_os(errno));
        }
        if (got == 0) return total;
        total += static_cast<std::uint64_t>(got);
    }
    return total;
}

namespace {

// stat or lstat, asked again when a signal interrupts it; 0 or the errno.
int status_of(const std::string& path, bool follow_links) {
    struct stat status {};
    for (;;) {
        const int result = follow_links ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status);
        if (result == 0) return 0;
        if (errno != EINTR) return errno;
    }
}

}  // namespace

bool entry_exists(const std::string& path) {
    return !nul_in_file_name(path) && status_of(path, false) != ENOENT;
}

bool path_exists(const std::string& path) { return !nul_in_file_name(path) && status_of(path, true) == 0; }

std::expected<std::string, IoError> read_whole_file(const std::string& path, std::size_t limit,
                                                    std::string_view too_long_message) {
    auto file = ReadOnlyFile::open(path);
    if (!file) return std::unexpected(file.error());
    const auto too_long = [&] {
        return std::unexpected(IoError::simple(ErrorKind::InvalidData, std::string(too_long_message)));
    };
    // A regular file is read straight into a buffer of its size; one more
    // byte shows whether it grew meanwhile. Anything else, or a file that
    // grew, is read into room for limit + 1 bytes that is never filled in
    // advance, so memory follows what arrives, never the limit.
    const auto size = file->regular_file_size();
    if (size && *size > limit) return too_long();
    std::size_t capacity = size && *size > 0 ? static_cast<std::size_t>(*size) + 1 : limit + 1;
    std::string content;
    std::size_t filled = 0;
    for (;;) {
        std::optional<IoError> failure;
        content.resize_and_overwrite(capacity, [&](char* data, std::size_t room) {
            const auto got = file->read_up_to(
                std::span(reinterpret_cast<std::uint8_t*>(data) + filled, room - filled));
            if (got) {
                filled += *got;
            } else {
                failure = got.error();
            }
            return filled;
        });
        if (failure) return std::unexpected(*failure);
        if (filled < capacity) return content;
        if (filled > limit) return too_long();
        capacity = limit + 1;
    }
}

}  // namespace quorvane

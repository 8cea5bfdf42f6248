#include "common/file_reading.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

namespace quorvane {

std::expected<ReadOnlyFile, IoError> ReadOnlyFile::open(const std::string& path) {
    // Non-blocking only while opening: a FIFO without a writer would otherwise
    // hang the tool; it now reads as empty. Reads then block as usual.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return std::unexpected(IoError::from_os(errno));
    ReadOnlyFile file(fd);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        return std::unexpected(IoError::from_os(errno));
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
    }
    return filled;
}

std::expected<std::uint64_t, IoError> ReadOnlyFile::count_remaining() {
    // Counted in large steps so that a long pipe is drained quickly.
    static std::uint8_t scratch[64 * 1024];
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t got = ::read(fd_, scratch, sizeof scratch);
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(IoError::from_os(errno));
        }
        if (got == 0) return total;
        total += static_cast<std::uint64_t>(got);
    }
}

std::expected<std::optional<std::uint64_t>, IoError> ReadOnlyFile::regular_file_size() const {
    struct stat status {};
    if (::fstat(fd_, &status) != 0) return std::unexpected(IoError::from_os(errno));
    if (!S_ISREG(status.st_mode)) return std::optional<std::uint64_t>{};
    return std::optional<std::uint64_t>{static_cast<std::uint64_t>(status.st_size)};
}

bool path_exists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

std::expected<std::string, IoError> read_whole_file(const std::string& path) {
    auto file = ReadOnlyFile::open(path);
    if (!file) return std::unexpected(file.error());
    // A regular file is read straight into a buffer of its size; one more
    // byte shows whether it grew meanwhile, and the loop then reads the rest.
    const auto size = file->regular_file_size();
    std::size_t capacity = size && *size ? static_cast<std::size_t>(**size) + 1 : 16 * 1024;
    std::string content;
    std::size_t filled = 0;
    for (;;) {
        content.resize(capacity);
        const auto got = file->read_up_to(std::span(reinterpret_cast<std::uint8_t*>(content.data()) + filled,
                                                   capacity - filled));
        if (!got) return std::unexpected(got.error());
        filled += *got;
        if (filled < capacity) {
            content.resize(filled);
            return content;
        }
        capacity *= 2;
    }
}

}  // namespace quorvane

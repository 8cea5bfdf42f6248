#include "common/output.hpp"

#include <cerrno>
#include <unistd.h>

namespace quorvane {

std::string_view stream_name(Stream stream) {
    return stream == Stream::Stdout ? "stdout" : "stderr";
}

std::expected<void, IoError> write_all(Stream stream, std::string_view text) {
    const int fd = stream == Stream::Stdout ? STDOUT_FILENO : STDERR_FILENO;
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(IoError::from_os(errno));
        }
        if (written == 0) return std::unexpected(IoError::bare(ErrorKind::WriteZero));
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

}  // namespace quorvane

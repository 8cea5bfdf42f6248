#include "scan/commands/metrics_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "common/utf8.hpp"

namespace quorvane {

namespace {

std::string directory_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path with every link resolved where it exists, else made absolute and
// normal as written.
std::string resolved(const std::string& path) {
    std::error_code error;
    auto canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
    return error ? std::filesystem::absolute(path).lexically_normal().string() : canonical.string();
}

bool inside(const std::string& path, const std::string& directory) {
    const std::string outer = resolved(directory);
    const std::string inner = resolved(path);
    return inner == outer || inner.starts_with(outer.ends_with('/') ? outer : outer + "/");
}

}  // namespace

MetricsFile::MetricsFile(std::string path)
    : path_(std::move(path)),
      temporary_(directory_of(path_) + "/." + name_of(path_) + "." + std::to_string(::getpid()) + ".tmp") {}

std::expected<void, IoError> MetricsFile::replace(std::string_view text) const {
    int descriptor;
    do {
        descriptor = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) return std::unexpected(IoError::from_os(errno));
    const auto fail = [&](int code) {
        ::close(descriptor);
        ::unlink(temporary_.c_str());
        return std::unexpected(IoError::from_os(code));
    };
    while (!text.empty()) {
        const ssize_t written = ::write(descriptor, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return fail(written < 0 ? errno : EIO);
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    if (::close(descriptor) != 0 && errno != EINTR) {
        const int code = errno;
        ::unlink(temporary_.c_str());
        return std::unexpected(IoError::from_os(code));
    }
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary_.c_str());
        return std::unexpected(IoError::from_os(code));
    }
    return {};
}

std::optional<std::string> metrics_file_refusal(const std::string& path, const StoreLayout& layout) {
    const std::string shown = utf8::to_text_lossy(path);
    if (path.empty() || path.find('\0') != std::string::npos || path.ends_with('/')) {
        return "--metrics-file: " + shown + " names no file";
    }
    for (const RecordKind kind : RECORD_KINDS) {
        if (inside(path, layout.directory(kind))) {
            return "--metrics-file: " + shown + " is inside the store's " + std::string(StoreLayout::noun(kind)) +
                   " directory " + utf8::to_text_lossy(layout.directory(kind));
        }
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return "--metrics-file: " + shown + " is a directory";
    const std::string directory = directory_of(path);
    int refused = 0;
    if (::stat(directory.c_str(), &status) != 0) {
        refused = errno;
    } else if (!S_ISDIR(status.st_mode)) {
        refused = ENOTDIR;
    } else if (::faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        refused = errno;
    }
    if (refused == 0) return std::nullopt;
    return "--metrics-file: cannot write in " + utf8::to_text_lossy(directory) + " (" + os_error_message(refused) + ")";
}

}  // namespace quorvane

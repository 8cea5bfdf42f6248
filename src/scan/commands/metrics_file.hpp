#pragma once

// A run's metrics in a file, for node_exporter's textfile collector. Each
// version is written whole to a new file beside it, then renamed over it:
// a reader never sees half of one, and nothing else is left beside it.

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "common/io_error.hpp"
#include "scan/store/store_layout.hpp"

namespace quorvane {

class MetricsFile {
public:
    explicit MetricsFile(std::string path);

    // Its mode is what the process's umask makes of 0666, as "> file" would
    // give (0644 under umask 022), so that node_exporter can read it.
    std::expected<void, IoError> replace(std::string_view text) const;

    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string temporary_;  // ".NAME.PID.tmp" in the same directory
};

// Why `path` cannot take the metrics file, or nothing: a directory that
// cannot be written, a directory in its place, or a place inside the
// store's record directories, which the tools never write into.
std::optional<std::string> metrics_file_refusal(const std::string& path, const StoreLayout& layout);

}  // namespace quorvane

#include "common/paths.hpp"

namespace quorvane {

bool is_absolute_path(std::string_view path) { return !path.empty() && path.front() == '/'; }

std::string join_path(std::string_view base, std::string_view tail) {
    if (is_absolute_path(tail)) return std::string(tail);
    std::string joined(base);
    if (!joined.empty() && joined.back() != '/') joined += '/';
    joined += tail;
    return joined;
}

namespace {

void strip_trailing_separators(std::string_view& path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
}

// A trailing "." component names the same directory, so it is not a component
// of its own.
void strip_trailing_current_dirs(std::string_view& path) {
    for (;;) {
        strip_trailing_separators(path);
        if (path.size() >= 2 && path.ends_with("/.")) {
            path.remove_suffix(1);
            continue;
        }
        return;
    }
}

}  // namespace

std::optional<std::string> parent_path(std::string_view path) {
    strip_trailing_current_dirs(path);
    if (path.empty() || path == "/") return std::nullopt;
    const auto separator = path.rfind('/');
    if (separator == std::string_view::npos) return std::string();
    std::string_view parent = path.substr(0, separator);
    if (parent.empty()) return std::string("/");
    // Also drops repeated separators between the parent and the last component.
    strip_trailing_current_dirs(parent);
    return std::string(parent);
}

}  // namespace quorvane

#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// Appends `tail` after one separator; none is added when `base` is empty or
// already ends with one, and an absolute `tail` replaces `base`.
std::string join_path(std::string_view base, std::string_view tail);

bool is_absolute_path(std::string_view path);

// The path without its last component: "" for a bare file name, nothing for
// an empty path or a root.
std::optional<std::string> parent_path(std::string_view path);

}  // namespace quorvane

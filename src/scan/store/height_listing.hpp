#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/io_error.hpp"
#include "scan/store/height_set.hpp"

namespace quorvane {

// The height a file name stands for: canonical decimal (no sign, no leading
// zeros, 0 to 4294967295) followed by `suffix`; nothing for any other name.
std::optional<std::uint32_t> height_of_file_name(std::string_view name, std::string_view suffix);

// The heights of the directory's entries named "<height><suffix>", ascending,
// four bytes each. Entries of every kind count (a directory or a dangling
// link named like a record is a record that cannot be read). Heights below
// `lowest` are left out.
std::expected<std::vector<std::uint32_t>, IoError> list_heights(const std::string& directory,
                                                                std::string_view suffix, std::uint64_t lowest = 0);

// The same heights as a set whose memory does not grow with their number
// where they run on without gaps.
std::expected<HeightSet, IoError> list_height_set(const std::string& directory, std::string_view suffix);

// Whether the directory could be listed, without listing it.
std::expected<void, IoError> check_listable(const std::string& directory);

}  // namespace quorvane

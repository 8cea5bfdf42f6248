#include "scan/store/height_listing.hpp"

#include "common/file_reading.hpp"
#include "common/tool_entry.hpp"

#include <dirent.h>

#include <algorithm>
#include <functional>
#include <cerrno>
#include <memory>

namespace quorvane {

std::optional<std::uint32_t> height_of_file_name(std::string_view name, std::string_view suffix) {
    if (!name.ends_with(suffix)) return std::nullopt;
    name.remove_suffix(suffix.size());
    // Canonical only: the block number rules, less the sign and leading zeros.
    if (name.starts_with('+') || (name.size() > 1 && name.front() == '0')) return std::nullopt;
    return parse_block_height(name);
}

namespace {

using OpenedDirectory = std::unique_ptr<DIR, int (*)(DIR*)>;

std::expected<OpenedDirectory, IoError> open_listing(const std::string& directory) {
    if (auto refused = nul_in_file_name(directory)) return std::unexpected(std::move(*refused));
    for (;;) {
        OpenedDirectory listing(::opendir(directory.c_str()), ::closedir);
        if (listing) return listing;
        if (errno != EINTR) return std::unexpected(IoError::from_os(errno));
    }
}

// Hands `take` each height of the directory's records at `lowest` or above, in the directory's order.
std::expected<void, IoError> each_listed_height(const std::string& directory, std::string_view suffix,
                                                std::uint64_t lowest, const std::function<void(std::uint32_t)>& take) {
    auto opened = open_listing(directory);
    if (!opened) return std::unexpected(opened.error());
    const OpenedDirectory listing = std::move(*opened);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(listing.get());
        if (entry == nullptr) {
            // An interrupted read of entries leaves the position where it was.
            if (errno == EINTR) continue;
            if (errno != 0) return std::unexpected(IoError::from_os(errno));
            return {};
        }
        const auto height = height_of_file_name(entry->d_name, suffix);
        if (height && *height >= lowest) take(*height);
    }
}

}  // namespace

std::expected<std::vector<std::uint32_t>, IoError> list_heights(const std::string& directory,
                                                                std::string_view suffix, std::uint64_t lowest) {
    std::vector<std::uint32_t> heights;
    const auto listed = each_listed_height(directory, suffix, lowest, [&](std::uint32_t h) { heights.push_back(h); });
    if (!listed) return std::unexpected(listed.error());
    std::sort(heights.begin(), heights.end());
    heights.shrink_to_fit();
    return heights;
}

std::expected<HeightSet, IoError> list_height_set(const std::string& directory, std::string_view suffix) {
    HeightSet::Builder heights;
    const auto listed = each_listed_height(directory, suffix, 0, [&](std::uint32_t h) { heights.add(h); });
    if (!listed) return std::unexpected(listed.error());
    return std::move(heights).build();
}

std::expected<void, IoError> check_listable(const std::string& directory) {
    auto opened = open_listing(directory);
    if (!opened) return std::unexpected(opened.error());
    return {};
}

}  // namespace quorvane

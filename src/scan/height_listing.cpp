#include "scan/height_listing.hpp"

#include "common/file_reading.hpp"
#include "common/tool_entry.hpp"

#include <dirent.h>

#include <algorithm>
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

using Listing = std::unique_ptr<DIR, int (*)(DIR*)>;

std::expected<Listing, IoError> open_listing(const std::string& directory) {
    if (auto refused = nul_in_file_name(directory)) return std::unexpected(std::move(*refused));
    for (;;) {
        Listing listing(::opendir(directory.c_str()), ::closedir);
        if (listing) return listing;
        if (errno != EINTR) return std::unexpected(IoError::from_os(errno));
    }
}

}  // namespace

std::expected<std::vector<std::uint32_t>, IoError> list_heights(const std::string& directory,
                                                                std::string_view suffix, std::uint64_t lowest) {
    auto opened = open_listing(directory);
    if (!opened) return std::unexpected(opened.error());
    const Listing listing = std::move(*opened);
    std::vector<std::uint32_t> heights;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(listing.get());
        if (entry == nullptr) {
            // An interrupted read of entries leaves the position where it was.
            if (errno == EINTR) continue;
            if (errno != 0) return std::unexpected(IoError::from_os(errno));
            break;
        }
        const auto height = height_of_file_name(entry->d_name, suffix);
        if (height && *height >= lowest) heights.push_back(*height);
    }
    std::sort(heights.begin(), heights.end());
    heights.shrink_to_fit();
    return heights;
}

}  // namespace quorvane

namespace quorvane {

std::expected<void, IoError> check_listable(const std::string& directory) {
    auto opened = open_listing(directory);
    if (!opened) return std::unexpected(opened.error());
    return {};
}

}  // namespace quorvane

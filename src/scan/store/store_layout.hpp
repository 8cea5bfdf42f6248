#pragma once

#include <cstdint>
#include <string>

#include "common/network_paths_and_settings.hpp"

namespace quorvane {

// How the store names a height's records: "<height>.<currency tag>" in the
// block directory, "<height>.torrent" in the torrent directory. Everything
// in chainscan that lists, reads, watches or looks up a record names it
// through this, and the paths are the ones crestview and swarmview read.
class StoreLayout {
public:
    explicit StoreLayout(const NetworkPaths& paths);

    const std::string& block_directory() const { return paths_.block_dir; }
    const std::string& torrent_directory() const { return paths_.torrent_dir; }
    const std::string& block_suffix() const { return block_suffix_; }  // ".vetq"
    const std::string& torrent_suffix() const { return torrent_suffix_; }  // ".torrent"

    // A record's name in its directory.
    std::string block_name(std::uint32_t height) const { return std::to_string(height) + block_suffix_; }
    std::string torrent_name(std::uint32_t height) const { return std::to_string(height) + torrent_suffix_; }
    // Its whole path.
    std::string block_path(std::uint32_t height) const;
    std::string torrent_path(std::uint32_t height) const;

private:
    NetworkPaths paths_;
    std::string block_suffix_;
    std::string torrent_suffix_;
};

}  // namespace quorvane

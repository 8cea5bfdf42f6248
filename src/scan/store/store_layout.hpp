#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/network_paths_and_settings.hpp"
#include "scan/store/record_kind.hpp"

namespace quorvane {

// How the store names a height's records: "<height>.<currency tag>" in the
// block directory, "<height>.torrent" in the torrent directory. Everything
// in chainscan that lists, reads, watches or looks up a record names it
// through this, and the paths are the ones crestview and swarmview read.
class StoreLayout {
public:
    explicit StoreLayout(const NetworkPaths& paths);

    // The directory that holds a kind's records.
    const std::string& directory(RecordKind kind) const;
    // ".vetq", ".torrent".
    const std::string& suffix(RecordKind kind) const;
    // A record's name in its directory.
    std::string name(RecordKind kind, std::uint32_t height) const;
    // Its whole path.
    std::string path(RecordKind kind, std::uint32_t height) const;

    // "block", "torrent": how messages name a kind.
    static std::string_view noun(RecordKind kind);

private:
    NetworkPaths paths_;
    std::string block_suffix_;
    std::string torrent_suffix_;
};

}  // namespace quorvane

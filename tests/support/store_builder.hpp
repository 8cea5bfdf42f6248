#pragma once

// Writes node stores of many heights for the chainscan tests and benchmarks:
// consistent by default (each header names the hash of the one below, each
// torrent record agrees with its block), with chosen problems put in.

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace quorvane::testing {

enum class Fault { BlockMissing, TorrentMissing, BlockInvalid, TorrentInvalid, ChainBroken, TorrentMismatch };

struct StoreShape {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    std::multimap<std::uint32_t, Fault> faults;  // any number per height
    // Heights whose next_block_difficulty is 2^64 - 1 and vrf 2^128 - 1.
    std::set<std::uint32_t> largest_values = {};
    bool with_torrents = true;  // false: block files only
};

// Writes settings.ini, blocks/testnet/<h>.vetq and torrents/testnet/<h>.torrent below `root`.
void write_store(const std::filesystem::path& root, const StoreShape& shape);

// "block_missing" and so on, as chainscan names the problems; throws for another name.
Fault fault_from_name(const std::string& name);

}  // namespace quorvane::testing

#pragma once

// Writes node stores of many heights for the chainscan tests and benchmarks:
// consistent by default (each header names the hash of the one below, each
// torrent record agrees with its block), with chosen problems put in.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>

namespace quorvane::testing {

enum class Fault { BlockMissing, TorrentMissing, BlockInvalid, TorrentInvalid, ChainBroken, TorrentMismatch };

// What a height's records hold where stores differ from one another. By
// default: a block a second from 1700000000, next_block_difficulty 1000 +
// height, a miner of its own per height on the test network, and a torrent
// record of 1000 bytes in pieces of 400.
struct HeightValues {
    std::uint32_t timestamp = 0;
    std::uint64_t next_block_difficulty = 0;
    std::uint8_t miner = 0;    // the first of the address's counting bytes
    std::uint8_t network = 2;  // 1 main, 2 test
    std::uint64_t length = 1000;
    std::uint32_t piece_length = 400;  // pieces follow: length / piece_length, rounded up
    bool torrent_previous_hash = true;  // false: the torrent record's form without one
    std::uint8_t piece_salt = 0;        // changes every piece's hash
};

struct StoreShape {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    std::multimap<std::uint32_t, Fault> faults;  // any number per height
    // Heights whose next_block_difficulty is 2^64 - 1 and vrf 2^128 - 1.
    std::set<std::uint32_t> largest_values = {};
    bool with_torrents = true;  // false: block files only
    // Changes the defaults above, height by height.
    std::function<void(std::uint32_t height, HeightValues& values)> values = {};
};

// Values that look like a running chain, the same for every run: about a
// minute between blocks with now and then a pause or a clock going back,
// difficulty retargeted every 500 heights, thirty miners of whom a few mine
// most blocks, torrent records of many sizes.
void lifelike_values(std::uint32_t height, HeightValues& values);

// Writes settings.ini, blocks/testnet/<h>.vetq and torrents/testnet/<h>.torrent below `root`.
void write_store(const std::filesystem::path& root, const StoreShape& shape);

// "block_missing" and so on, as chainscan names the problems; throws for another name.
Fault fault_from_name(const std::string& name);

}  // namespace quorvane::testing

#include "support/scan_builders.hpp"

namespace quorvane::testing {

ScannedBlock scanned_block() {
    ScannedBlock scanned;
    UnminedBlock& header = scanned.contents.header.unmined_block;
    header.timestamp = 1700000000;
    header.miner = MINER;
    header.previous_hash = HASH_B;
    header.nonce = 7;
    scanned.contents.header.vrf = 42;
    scanned.hash = HASH_A;
    return scanned;
}

Torrent agreeing_torrent() {
    Torrent torrent;
    torrent.info.timestamp = 1700000000;
    torrent.info.nonce = 7;
    torrent.info.vrf = 42;
    torrent.info.block_hash = HASH_A;
    torrent.info.previous_hash = HASH_B;
    torrent.mined_by = MINER;
    return torrent;
}

HeightScan scan_at(std::uint32_t h, bool block_there, bool torrent_there, bool broken) {
    const auto hash_of = [](std::uint64_t height) {
        return std::string(64 - std::to_string(height).size(), '0') + std::to_string(height);
    };
    HeightScan scan;
    scan.height = h;
    scan.block_present = block_there;
    scan.torrent_present = torrent_there;
    ScannedBlock scanned = scanned_block();
    scanned.hash = hash_of(h);
    scanned.contents.header.unmined_block.previous_hash = broken ? HASH_B : hash_of(std::uint64_t{h} - 1);
    Torrent torrent = agreeing_torrent();
    torrent.info.block_hash = scanned.hash;
    torrent.info.previous_hash.clear();
    if (block_there) scan.block = std::move(scanned);
    if (torrent_there) scan.torrent = std::move(torrent);
    return scan;
}

}  // namespace quorvane::testing

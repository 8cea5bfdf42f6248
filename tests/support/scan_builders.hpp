#pragma once

// Decoded records as a scan hands them on, without files: for the tests of
// what checks and sinks make of them.

#include <cstdint>
#include <string>

#include "scan/store/height_scan.hpp"

namespace quorvane::testing {

inline const std::string HASH_A(64, 'a');
inline const std::string HASH_B(64, 'b');
inline const std::string MINER = "0102030405060708090a0b0c0d0e0f1011121314.vetq";

// A block whose hash is HASH_A and previous_hash HASH_B.
ScannedBlock scanned_block();

// The torrent record that agrees with scanned_block().
Torrent agreeing_torrent();

// Height h's records in a consistent chain; `broken`: its previous_hash is
// not the hash of h - 1. `block_there`/`torrent_there`: whether each record
// is there.
HeightScan scan_at(std::uint32_t h, bool block_there = true, bool torrent_there = true, bool broken = false);

}  // namespace quorvane::testing

#pragma once

// What one pass over a range of the store says about the chain: pace,
// difficulty, miners, torrent records. Values are kept exactly (counts per
// distinct value), so every quantile is one of the values seen.

#include <cstdint>
#include <optional>
#include <string>

#include "common/uint128.hpp"
#include "scan/store/height_scan.hpp"
#include "scan/checks/value_counts.hpp"

namespace quorvane {

// What one height added to the series drawn over height.
struct HeightFacts {
    std::optional<std::uint64_t> difficulty;  // next_block_difficulty of a block that decodes
    std::optional<std::int64_t> interval;     // seconds since the block just below, when both decode
    std::optional<std::uint64_t> length;      // of a torrent record that decodes
};

struct ChainStats {
    ChainStats(std::uint32_t first, std::uint32_t last);

    std::uint32_t from = 0;
    std::uint32_t to = 0;
    std::uint64_t blocks = 0;    // block files present
    std::uint64_t torrents = 0;  // torrent records present
    std::uint64_t missing = 0;   // heights of the range without a block file
    std::uint64_t gaps = 0;      // runs of such heights

    std::optional<std::uint32_t> first_timestamp;  // of the lowest block that decodes
    std::optional<std::uint32_t> last_timestamp;   // of the highest
    ValueCounts<std::int64_t> intervals;
    __extension__ __int128 interval_sum = 0;
    std::uint64_t zero_or_negative = 0;

    std::optional<std::uint64_t> first_difficulty;
    std::optional<std::uint64_t> last_difficulty;
    ValueCounts<std::uint64_t> difficulties;
    std::uint64_t difficulty_changes = 0;  // against the block before, across gaps

    ValueCounts<std::string> miners;
    ValueCounts<std::string> networks;  // "VEQ", "VETQ"

    uint128 total_length = 0;
    ValueCounts<std::uint64_t> pieces;  // per record
    ValueCounts<std::uint64_t> piece_lengths;

    // Heights come in ascending order, each once.
    HeightFacts add(const HeightScan& scan);
    // Once, at the end: the heights after the last block added, up to
    // `last`, are missing too.
    void end_at(std::uint32_t last);

    std::optional<double> interval_mean() const;
    // From the first block's timestamp to the last one's (negative when the
    // clock went back).
    std::optional<std::int64_t> span_seconds() const;

private:
    std::uint64_t next_height_;  // just above the last block file seen; `from` before any
    std::optional<std::uint32_t> decoded_below_;  // height of the last block that decoded
};

}  // namespace quorvane

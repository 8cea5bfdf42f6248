#pragma once

// stats' two output forms, and the rows that the report's table shares.

#include <string>
#include <vector>

#include "scan/checks/chain_stats.hpp"
#include "scan/checks/verify_report.hpp"

namespace quorvane {

// The ten miners with most blocks, the five most common piece lengths.
inline constexpr std::size_t TOP_MINERS = 10;
inline constexpr std::size_t TOP_PIECE_LENGTHS = 5;

struct StatsRow {
    std::string section;  // "heights", "time", ...
    std::string label;
    std::string value;
};

// Empty ranges give rows that say "none" rather than no rows.
std::vector<StatsRow> stats_rows(const ChainStats& stats, const VerifySummary& problems);

// Aligned text: each section's name, then its rows indented.
std::string stats_text(const ChainStats& stats, const VerifySummary& problems);
// One pretty JSON object with its newline; null for what the range did not hold.
std::string stats_json(const ChainStats& stats, const VerifySummary& problems);

// "33.33": a share of the blocks in per cent, two decimals.
std::string percent_text(std::uint64_t part, std::uint64_t whole);

}  // namespace quorvane

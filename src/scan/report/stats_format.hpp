#pragma once

// stats' two output forms, and the rows that the report's table shares.

#include <string>
#include <vector>

#include "common/json.hpp"
#include "scan/checks/chain_stats.hpp"
#include "scan/checks/problem_finder.hpp"

namespace quorvane {

// The ten miners with most blocks, the five most common piece lengths.
inline constexpr std::size_t TOP_MINERS = 10;
inline constexpr std::size_t TOP_PIECE_LENGTHS = 5;

// A value of the JSON form, at its place ("/time/interval_seconds/p10").
struct StatsValue {
    std::string pointer;
    Json value;
};

// One row of the text and the report's table, and the JSON values it
// stands for; a row that is not shown adds to the JSON only (an empty list).
struct StatsRow {
    std::string section;  // "heights", "time", ...
    std::string label;
    std::string value;
    std::vector<StatsValue> json;
    bool shown = true;
};

// The one list that the text, the JSON and the report's table are made
// from, in their order. Empty ranges give rows that say "none" rather than
// no rows.
std::vector<StatsRow> stats_rows(const ChainStats& stats, const VerifySummary& problems);

// Aligned text: each section's name, then its rows indented.
std::string stats_text(const ChainStats& stats, const VerifySummary& problems);
// One pretty JSON object with its newline; null for what the range did not hold.
std::string stats_json(const ChainStats& stats, const VerifySummary& problems);

}  // namespace quorvane

#pragma once

#include <string>

#include "scan/checks/chain_series.hpp"
#include "scan/checks/chain_stats.hpp"
#include "scan/checks/problem_finder.hpp"

namespace quorvane {

// One HTML page that needs nothing else: its style sheet and charts are
// inline, it has no script, and its content security policy lets nothing
// be fetched. The same store gives the same bytes.
std::string report_html(const ChainStats& stats, const VerifySummary& problems, const ChainSeries& series);

}  // namespace quorvane

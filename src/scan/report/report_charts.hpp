#pragma once

// The report's charts as inline SVG: no script, no request, the same bytes
// for the same store. Colours come from the page's style sheet, so the
// charts follow its light and dark schemes.

#include <string>

#include "scan/checks/chain_series.hpp"
#include "scan/checks/chain_stats.hpp"

namespace quorvane {

// The width of a chart's plot area, in pixels of its view box: the series
// are reduced to as many columns.
inline constexpr std::uint32_t PLOT_COLUMNS = 800;

// Each returns one <figure> with its title, axes with labels and units, and
// the marks: a path per series, a rect per bar or per run of columns.
std::string difficulty_chart(const ChainSeries& series);
std::string interval_chart(const ChainSeries& series, const ChainStats& stats);
std::string interval_histogram(const ChainStats& stats);
std::string miner_chart(const ChainStats& stats);
std::string length_chart(const ChainSeries& series);
std::string problem_strip(const ChainSeries& series);

}  // namespace quorvane

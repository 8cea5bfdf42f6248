#pragma once

// The values the report draws over height, reduced to at most one column
// per pixel: each column keeps the minimum and maximum of its heights, so a
// spike stays visible however long the range is.

#include <cstdint>
#include <optional>
#include <vector>

#include "scan/checks/chain_stats.hpp"
#include "scan/checks/problem_finder.hpp"

namespace quorvane {

// Problems listed one by one in the report; the rest are counted.
inline constexpr std::size_t LISTED_PROBLEMS = 1000;

// Which column of a chart each height of a range falls in.
struct HeightColumns {
    std::uint32_t from = 0;
    std::uint64_t heights = 0;  // in the range
    std::uint32_t count = 0;    // columns: the heights, at most the columns asked for

    HeightColumns() = default;
    HeightColumns(std::uint32_t from, std::uint32_t to, std::uint32_t most);
    std::uint32_t of(std::uint32_t height) const;
    // The first height of a column.
    std::uint32_t first_height(std::uint32_t column) const;
};

template <class Value>
struct ColumnExtremes {
    Value low{};
    Value high{};
    bool any = false;

    void add(Value value) {
        if (!any || value < low) low = value;
        if (!any || value > high) high = value;
        any = true;
    }
};

struct ChainSeries {
    HeightColumns columns;
    std::vector<ColumnExtremes<std::uint64_t>> difficulty;
    std::vector<ColumnExtremes<std::int64_t>> interval;
    std::vector<ColumnExtremes<std::uint64_t>> length;
    // The codes found in each column.
    std::vector<ProblemCodeSet> problem_codes;
    std::vector<Problem> listed_problems;  // the first LISTED_PROBLEMS
    std::uint64_t unlisted_problems = 0;

    ChainSeries() = default;
    // At most `columns` columns: one per pixel of the charts that draw them.
    ChainSeries(std::uint32_t from, std::uint32_t to, std::uint32_t columns);
    void add(std::uint32_t height, const HeightFacts& facts);
    void add(const Problem& problem);
};

}  // namespace quorvane

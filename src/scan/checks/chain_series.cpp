#include "scan/checks/chain_series.hpp"

#include <algorithm>

namespace quorvane {

HeightColumns::HeightColumns(std::uint32_t from_height, std::uint32_t to, std::uint32_t most)
    : from(from_height),
      heights(std::uint64_t{to} - from_height + 1),
      count(static_cast<std::uint32_t>(std::min<std::uint64_t>(heights, most))) {}

std::uint32_t HeightColumns::of(std::uint32_t height) const {
    // Below 2^32 heights times fewer than 2^32 columns: no overflow in 64 bits.
    return static_cast<std::uint32_t>((std::uint64_t{height} - from) * count / heights);
}

std::uint32_t HeightColumns::first_height(std::uint32_t column) const {
    // The lowest height h with (h - from) * count / heights >= column.
    return static_cast<std::uint32_t>(from + (std::uint64_t{column} * heights + count - 1) / count);
}

ChainSeries::ChainSeries(std::uint32_t from, std::uint32_t to, std::uint32_t most_columns)
    : columns(from, to, most_columns),
      difficulty(columns.count),
      interval(columns.count),
      length(columns.count),
      problem_codes(columns.count) {}

void ChainSeries::add(std::uint32_t height, const HeightFacts& facts) {
    const std::uint32_t column = columns.of(height);
    if (facts.difficulty) difficulty[column].add(*facts.difficulty);
    if (facts.interval) interval[column].add(*facts.interval);
    if (facts.length) length[column].add(*facts.length);
}

void ChainSeries::add(const Problem& problem) {
    const ProblemCodeSet bit = problem_code_bit(problem.code);
    const std::uint32_t last = std::max(problem.first, problem.last);
    for (std::uint32_t column = columns.of(problem.first); column <= columns.of(last); ++column) {
        problem_codes[column] |= bit;
    }
    if (listed_problems.size() < LISTED_PROBLEMS) {
        listed_problems.push_back(problem);
    } else {
        ++unlisted_problems;
    }
}

}  // namespace quorvane

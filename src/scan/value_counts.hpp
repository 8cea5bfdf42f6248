#pragma once

// An exact distribution of integer values: how often each distinct value
// occurs. Block intervals and difficulties repeat a lot, so this stays small;
// at worst it holds one entry per value added.

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace quorvane {

template <class Value>
class ValueCounts {
public:
    void add(const Value& value) {
        ++counts_[value];
        ++total_;
    }

    std::uint64_t total() const { return total_; }
    std::size_t distinct() const { return counts_.size(); }
    const std::map<Value, std::uint64_t>& counts() const { return counts_; }

    std::optional<Value> min() const {
        if (counts_.empty()) return std::nullopt;
        return counts_.begin()->first;
    }
    std::optional<Value> max() const {
        if (counts_.empty()) return std::nullopt;
        return counts_.rbegin()->first;
    }

    // The nearest-rank percentile: the smallest value that at least
    // `percent` per cent of the values are at or below. Always one of the
    // values added, so no digit is lost to averaging.
    std::optional<Value> percentile(unsigned percent) const {
        if (total_ == 0) return std::nullopt;
        const std::uint64_t rank = std::max<std::uint64_t>(1, (total_ * percent + 99) / 100);
        std::uint64_t seen = 0;
        for (const auto& [value, count] : counts_) {
            seen += count;
            if (seen >= rank) return value;
        }
        return counts_.rbegin()->first;
    }

    // The `limit` values seen most often, most first; ties go to the lower value.
    std::vector<std::pair<Value, std::uint64_t>> most_common(std::size_t limit) const {
        std::vector<std::pair<Value, std::uint64_t>> all(counts_.begin(), counts_.end());
        std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
        if (all.size() > limit) all.resize(limit);
        return all;
    }

private:
    std::map<Value, std::uint64_t> counts_;
    std::uint64_t total_ = 0;
};

}  // namespace quorvane

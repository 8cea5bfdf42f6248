#pragma once

// An exact distribution of values: how often each distinct value occurs,
// kept as a sorted array of (value, count) pairs, 16 bytes a distinct
// number. Values are gathered unsorted and folded in by the few thousand,
// which keeps adding cheap however many distinct values there are. Not for
// use from several threads.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

namespace quorvane {

template <class Value>
class ValueCounts {
public:
    void add(const Value& value) {
        pending_.push_back(value);
        ++total_;
        if (pending_.size() >= std::max(MIN_PENDING, counts_.size() / 8)) fold();
    }

    std::uint64_t total() const { return total_; }
    std::size_t distinct() const { return counts().size(); }
    // Ascending by value.
    const std::vector<std::pair<Value, std::uint64_t>>& counts() const {
        fold();
        return counts_;
    }

    std::optional<Value> min() const {
        if (counts().empty()) return std::nullopt;
        return counts_.front().first;
    }
    std::optional<Value> max() const {
        if (counts().empty()) return std::nullopt;
        return counts_.back().first;
    }

    // The nearest-rank percentile: the smallest value that at least
    // `percent` per cent of the values are at or below. Always one of the
    // values added, so no digit is lost to averaging.
    std::optional<Value> percentile(unsigned percent) const {
        if (total_ == 0) return std::nullopt;
        const std::uint64_t rank = std::max<std::uint64_t>(1, (total_ * percent + 99) / 100);
        std::uint64_t seen = 0;
        for (const auto& [value, count] : counts()) {
            seen += count;
            if (seen >= rank) return value;
        }
        return counts_.back().first;
    }

    // The `limit` values seen most often, most first; ties go to the lower value.
    std::vector<std::pair<Value, std::uint64_t>> most_common(std::size_t limit) const {
        std::vector<std::pair<Value, std::uint64_t>> all = counts();
        std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
        if (all.size() > limit) all.resize(limit);
        return all;
    }

private:
    static constexpr std::size_t MIN_PENDING = 4096;

    // Sorts the values gathered since the last fold and merges them into
    // the counts. Folding once an eighth as many have come as are counted
    // keeps the merge's second array small next to the first.
    void fold() const {
        if (pending_.empty()) return;
        std::sort(pending_.begin(), pending_.end());
        std::vector<std::pair<Value, std::uint64_t>> fresh;
        for (const Value& value : pending_) {
            if (fresh.empty() || !(fresh.back().first == value)) {
                fresh.emplace_back(value, 1);
            } else {
                ++fresh.back().second;
            }
        }
        pending_.clear();
        std::vector<std::pair<Value, std::uint64_t>> merged;
        merged.reserve(counts_.size() + fresh.size());
        auto old = counts_.begin();
        for (auto& [value, count] : fresh) {
            while (old != counts_.end() && old->first < value) merged.push_back(std::move(*old++));
            if (old != counts_.end() && old->first == value) count += (old++)->second;
            merged.emplace_back(std::move(value), count);
        }
        std::move(old, counts_.end(), std::back_inserter(merged));
        counts_ = std::move(merged);
    }

    mutable std::vector<std::pair<Value, std::uint64_t>> counts_;
    mutable std::vector<Value> pending_;
    std::uint64_t total_ = 0;
};

}  // namespace quorvane

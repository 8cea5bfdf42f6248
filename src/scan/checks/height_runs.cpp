#include "scan/checks/height_runs.hpp"

namespace quorvane {

void HeightRuns::insert(std::uint32_t first, std::uint32_t last) {
    // Take in the run that reaches `first` (or ends just below it) and every
    // run that starts at or just past `last`.
    auto at = runs_.upper_bound(first);
    if (at != runs_.begin()) {
        const auto below = std::prev(at);
        if (std::uint64_t{below->second} + 1 >= first) {
            first = below->first;
            if (below->second > last) last = below->second;
            at = runs_.erase(below);
        }
    }
    while (at != runs_.end() && std::uint64_t{at->first} <= std::uint64_t{last} + 1) {
        if (at->second > last) last = at->second;
        at = runs_.erase(at);
    }
    runs_.emplace(first, last);
}

void HeightRuns::erase(std::uint32_t height) {
    auto at = runs_.upper_bound(height);
    if (at == runs_.begin()) return;
    --at;
    const auto [first, last] = *at;
    if (height > last) return;
    runs_.erase(at);
    if (first < height) runs_.emplace(first, height - 1);
    if (height < last) runs_.emplace(height + 1, last);
}

bool HeightRuns::contains(std::uint32_t height) const {
    auto at = runs_.upper_bound(height);
    if (at == runs_.begin()) return false;
    return height <= std::prev(at)->second;
}

}  // namespace quorvane

#pragma once

// A set of heights kept as runs of consecutive heights, so that a gap of a
// million heights costs one entry.

#include <cstdint>
#include <map>

namespace quorvane {

class HeightRuns {
public:
    void insert(std::uint32_t first, std::uint32_t last);
    void insert(std::uint32_t height) { insert(height, height); }
    void erase(std::uint32_t height);
    bool contains(std::uint32_t height) const;

private:
    std::map<std::uint32_t, std::uint32_t> runs_;  // first -> last, disjoint and not touching
};

}  // namespace quorvane

#pragma once

#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

namespace quorvane {

// The heights of one block of 65,536 that share their upper 16 bits.
struct HeightBlock {
    std::uint16_t key = 0;
    std::uint32_t count = 0;
    std::vector<std::uint16_t> listed;          // while count <= LIST_LIMIT
    std::unique_ptr<std::uint64_t[]> bits;      // above it, until full
};

// A set of heights whose memory follows how scattered they are, not how many
// there are: the heights are kept in blocks of 65,536, each one a sorted
// list while it holds few (two bytes a height), a bitmap of 8 KiB once it
// holds more, and nothing at all once full. A store of ten million
// consecutive heights takes a few kilobytes.
class HeightSet {
public:
    // Takes heights in any order (a directory lists its entries in no
    // order), then gives the set.
    class Builder {
    public:
        void add(std::uint32_t height);
        HeightSet build() &&;

    private:
        std::vector<HeightBlock> blocks_;  // in the order first met
        std::unique_ptr<std::uint32_t[]> position_of_key_;  // 1 + index into blocks_, 0 for none
    };

    bool empty() const { return blocks_.empty(); }
    std::uint64_t size() const;
    bool contains(std::uint32_t height) const;
    // The lowest height at or above `height`.
    std::optional<std::uint32_t> next_from(std::uint64_t height) const;
    std::optional<std::uint32_t> first() const { return next_from(0); }
    std::optional<std::uint32_t> last() const;

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::uint32_t;
        using difference_type = std::ptrdiff_t;
        using pointer = const std::uint32_t*;
        using reference = std::uint32_t;

        const_iterator() = default;
        std::uint32_t operator*() const { return static_cast<std::uint32_t>(at_); }
        const_iterator& operator++();
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        friend bool operator==(const const_iterator&, const const_iterator&) = default;

    private:
        friend class HeightSet;
        const_iterator(const HeightSet* set, std::uint64_t at) : set_(set), at_(at) {}
        const HeightSet* set_ = nullptr;
        std::uint64_t at_ = END;
    };

    const_iterator begin() const { return {this, at_or_end(next_from(0))}; }
    const_iterator end() const { return {this, END}; }

private:
    static constexpr std::uint64_t END = std::uint64_t{1} << 32;
    // (value_or would narrow END to a height.)
    static std::uint64_t at_or_end(std::optional<std::uint32_t> height) { return height ? *height : END; }
    std::vector<HeightBlock> blocks_;  // by key, none empty
};

}  // namespace quorvane

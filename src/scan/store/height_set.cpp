#include "scan/store/height_set.hpp"

#include <algorithm>
#include <bit>

namespace quorvane {

namespace {

constexpr std::uint32_t BLOCK_HEIGHTS = 1u << 16;
constexpr std::size_t WORDS = BLOCK_HEIGHTS / 64;
// Above this many heights a bitmap (8 KiB) is smaller than the list.
constexpr std::uint32_t LIST_LIMIT = 4096;

std::uint16_t key_of(std::uint64_t height) { return static_cast<std::uint16_t>(height >> 16); }
std::uint16_t low_of(std::uint64_t height) { return static_cast<std::uint16_t>(height & 0xffff); }
std::uint32_t height_of(std::uint16_t key, std::uint32_t low) { return (std::uint32_t{key} << 16) | low; }

bool is_full(const HeightBlock& block) { return block.count == BLOCK_HEIGHTS; }

// The lowest of the block's heights at or above `low`, as its lower 16 bits.
std::optional<std::uint32_t> next_in(const HeightBlock& block, std::uint32_t low) {
    if (is_full(block)) return low;
    if (!block.bits) {
        const auto found = std::lower_bound(block.listed.begin(), block.listed.end(), low);
        if (found == block.listed.end()) return std::nullopt;
        return *found;
    }
    std::size_t word = low / 64;
    std::uint64_t bits = block.bits[word] & (~std::uint64_t{0} << (low % 64));
    while (bits == 0) {
        if (++word == WORDS) return std::nullopt;
        bits = block.bits[word];
    }
    return static_cast<std::uint32_t>(word * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
}

}  // namespace

void HeightSet::Builder::add(std::uint32_t height) {
    const std::uint16_t key = key_of(height);
    // Blocks are kept in the order they are first met, found through a
    // table of every key, and sorted once at the end.
    if (!position_of_key_) position_of_key_ = std::make_unique<std::uint32_t[]>(std::size_t{1} << 16);
    std::uint32_t& position = position_of_key_[key];
    if (position == 0) {
        blocks_.push_back(HeightBlock{key, 0, {}, {}});
        position = static_cast<std::uint32_t>(blocks_.size());
    }
    HeightBlock& block = blocks_[position - 1];
    const std::uint16_t low = low_of(height);
    if (!block.bits) {
        // Kept unsorted while the directory is listed; sorted once, at the end.
        block.listed.push_back(low);
        ++block.count;
        if (block.count <= LIST_LIMIT) return;
        block.bits = std::make_unique<std::uint64_t[]>(WORDS);
        block.count = 0;
        for (const std::uint16_t listed : block.listed) {
            std::uint64_t& word = block.bits[listed / 64];
            const std::uint64_t bit = std::uint64_t{1} << (listed % 64);
            if ((word & bit) == 0) ++block.count;
            word |= bit;
        }
        block.listed = {};
        return;
    }
    std::uint64_t& word = block.bits[low / 64];
    const std::uint64_t bit = std::uint64_t{1} << (low % 64);
    if ((word & bit) == 0) ++block.count;
    word |= bit;
}

HeightSet HeightSet::Builder::build() && {
    position_of_key_.reset();
    std::sort(blocks_.begin(), blocks_.end(), [](const HeightBlock& a, const HeightBlock& b) { return a.key < b.key; });
    for (HeightBlock& block : blocks_) {
        if (block.bits) {
            if (is_full(block)) block.bits.reset();
            continue;
        }
        std::sort(block.listed.begin(), block.listed.end());
        block.listed.erase(std::unique(block.listed.begin(), block.listed.end()), block.listed.end());
        block.listed.shrink_to_fit();
        block.count = static_cast<std::uint32_t>(block.listed.size());
    }
    HeightSet set;
    set.blocks_ = std::move(blocks_);
    set.blocks_.shrink_to_fit();
    return set;
}

std::uint64_t HeightSet::size() const {
    std::uint64_t total = 0;
    for (const HeightBlock& block : blocks_) total += block.count;
    return total;
}

bool HeightSet::contains(std::uint32_t height) const { return next_from(height) == height; }

std::optional<std::uint32_t> HeightSet::next_from(std::uint64_t height) const {
    if (height >= END) return std::nullopt;
    const std::uint16_t key = key_of(height);
    auto at = std::lower_bound(blocks_.begin(), blocks_.end(), key,
                               [](const HeightBlock& block, std::uint16_t k) { return block.key < k; });
    if (at != blocks_.end() && at->key == key) {
        if (const auto low = next_in(*at, low_of(height))) return height_of(key, *low);
        ++at;
    }
    if (at == blocks_.end()) return std::nullopt;
    return height_of(at->key, *next_in(*at, 0));
}

std::optional<std::uint32_t> HeightSet::last() const {
    if (blocks_.empty()) return std::nullopt;
    const HeightBlock& block = blocks_.back();
    if (is_full(block)) return height_of(block.key, BLOCK_HEIGHTS - 1);
    if (!block.bits) return height_of(block.key, block.listed.back());
    for (std::size_t word = WORDS; word-- > 0;) {
        if (block.bits[word] != 0) {
            return height_of(block.key, static_cast<std::uint32_t>(word * 64 + 63 - std::countl_zero(block.bits[word])));
        }
    }
    return std::nullopt;
}

HeightSet::const_iterator& HeightSet::const_iterator::operator++() {
    at_ = at_or_end(set_->next_from(at_ + 1));
    return *this;
}

}  // namespace quorvane

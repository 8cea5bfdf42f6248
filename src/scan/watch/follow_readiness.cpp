#include "scan/watch/follow_readiness.hpp"

#include <algorithm>

namespace quorvane {

namespace {

constexpr std::uint64_t LAST_HEIGHT = UINT32_MAX;

}  // namespace

FollowReadiness::FollowReadiness(std::uint32_t from, std::uint64_t next, std::optional<std::uint32_t> to,
                                 bool torrents)
    : from_(from),
      next_(next), to_(to), torrents_needed_(torrents), finished_(next > LAST_HEIGHT || (to && next > *to)) {}

void FollowReadiness::written(RecordKind kind, std::uint32_t height) {
    if ((kind == RecordKind::Torrent && !torrents_needed_) || height < from_) return;
    if (height < next_) {
        rewritten_.insert(height);
        return;
    }
    if (to_ && height > *to_ && kind == RecordKind::Torrent) return;
    // A block above `to` still tells that the node has moved past it.
    (kind == RecordKind::Block ? blocks_ : torrents_).insert(height);
}

bool FollowReadiness::complete(std::uint32_t height) const {
    return blocks_.contains(height) && (!torrents_needed_ || torrents_.contains(height));
}

ReadyHeights FollowReadiness::take() {
    ReadyHeights ready;
    ready.rewritten.assign(rewritten_.begin(), rewritten_.end());
    rewritten_.clear();
    if (finished_) return ready;

    // Everything below the highest written block is ready; from there on,
    // each height whose records are all written.
    std::uint64_t end = next_;  // one past the last ready height
    if (!blocks_.empty()) end = std::max<std::uint64_t>(end, *blocks_.rbegin());
    while (end <= LAST_HEIGHT && complete(static_cast<std::uint32_t>(end))) ++end;
    const std::uint64_t limit = to_ ? std::uint64_t{*to_} + 1 : LAST_HEIGHT + 1;
    end = std::min(end, limit);
    if (end > next_) {
        ready.first = static_cast<std::uint32_t>(next_);
        ready.last = static_cast<std::uint32_t>(end - 1);
        next_ = end;
        // Past the last height there is nothing left to wait for.
        const auto kept_from = static_cast<std::uint32_t>(std::min(end, LAST_HEIGHT));
        blocks_.erase(blocks_.begin(), end > LAST_HEIGHT ? blocks_.end() : blocks_.lower_bound(kept_from));
        torrents_.erase(torrents_.begin(), end > LAST_HEIGHT ? torrents_.end() : torrents_.lower_bound(kept_from));
    }
    finished_ = next_ >= limit;
    return ready;
}

}  // namespace quorvane

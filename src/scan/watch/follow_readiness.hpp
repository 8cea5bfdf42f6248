#pragma once

// Which heights of a store that a node is writing can be read now. Pure
// state: events go in, ready heights come out; no files, no clock.

#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "scan/store/record_kind.hpp"

namespace quorvane {

// The heights that became ready at once: `first` to `last` (new heights, in
// ascending order, each once) and heights handled before whose records were
// written again.
struct ReadyHeights {
    std::optional<std::uint32_t> first;
    std::uint32_t last = 0;
    std::vector<std::uint32_t> rewritten;  // ascending
};

class FollowReadiness {
public:
    // `from`: the lowest height followed; `next`: the lowest not yet handled;
    // `to`: the last to handle, if any; `torrents`: whether a height waits
    // for its torrent record too.
    FollowReadiness(std::uint32_t from, std::uint64_t next, std::optional<std::uint32_t> to, bool torrents);

    // A record was written (closed after writing, renamed or linked in).
    void written(RecordKind kind, std::uint32_t height);

    // Takes what is ready. A height is ready when its records are written, or
    // when a block file above it is (the node has moved on, so a record still
    // missing stays missing).
    ReadyHeights take();

    // Whether the last height there can be (`to`, or 4294967295) is handled.
    bool finished() const { return finished_; }
    // The lowest height not handled yet.
    std::uint64_t next() const { return next_; }
    // Heights written above the handled ones that wait for their pair.
    std::size_t pending() const { return blocks_.size() + torrents_.size(); }

private:
    bool complete(std::uint32_t height) const;

    std::uint32_t from_;
    std::uint64_t next_;
    std::optional<std::uint32_t> to_;
    bool torrents_needed_;
    bool finished_ = false;
    std::set<std::uint32_t> blocks_;    // written, not handled yet
    std::set<std::uint32_t> torrents_;  // written, not handled yet
    std::set<std::uint32_t> rewritten_;
};

}  // namespace quorvane

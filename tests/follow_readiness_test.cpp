#include "scan/watch/follow_readiness.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorvane {
namespace {

// "b7" a block file of height 7 written, "t7" its torrent record; "?" takes
// what is ready and writes it down as "5-7" (new heights) and "r3" (rewrites).
std::string follow(FollowReadiness& state, const std::vector<std::string>& steps) {
    std::string taken;
    for (const auto& step : steps) {
        if (step == "?") {
            const ReadyHeights ready = state.take();
            taken += "[";
            if (ready.first) taken += std::to_string(*ready.first) + "-" + std::to_string(ready.last);
            for (const auto height : ready.rewritten) taken += " r" + std::to_string(height);
            taken += "]";
            continue;
        }
        const auto kind = step[0] == 'b' ? RecordKind::Block : RecordKind::Torrent;
        state.written(kind, static_cast<std::uint32_t>(std::stoul(step.substr(1))));
    }
    return taken;
}

TEST(FollowReadiness, EventsToReadyHeights) {
    struct Case {
        std::string name;
        std::uint32_t from;
        std::uint64_t next;
        std::optional<std::uint32_t> to;
        bool torrents;
        std::vector<std::string> steps;
        std::string taken;
        bool finished = false;
    };
    const std::vector<Case> cases = {
        {"nothing written", 5, 5, {}, true, {"?"}, "[]"},
        {"a block waits for its torrent record", 5, 5, {}, true, {"b5", "?", "t5", "?"}, "[][5-5]"},
        {"a torrent record first, then its block", 5, 5, {}, true, {"t5", "?", "b5", "?"}, "[][5-5]"},
        {"without torrents a block is enough", 5, 5, {}, false, {"b5", "?", "t6", "?"}, "[5-5][]"},
        {"in order, one at a time", 0, 0, {}, true, {"b0", "t0", "?", "b1", "t1", "?"}, "[0-0][1-1]"},
        {"a higher block makes the ones below ready", 5, 5, {}, true, {"b5", "b6", "?"}, "[5-5]"},
        {"a gap is handled when the node moves past it", 5, 5, {}, true, {"b5", "t5", "b9", "?"}, "[5-8]"},
        {"lower records written after a higher block are rewrites", 5, 5, {}, true,
         {"b7", "t7", "?", "b5", "t5", "b6", "t6", "?"}, "[5-7][ r5 r6]"},
        {"a torrent record alone never moves on", 5, 5, {}, true, {"t9", "?"}, "[]"},
        {"complete heights above a higher block", 5, 5, {}, true, {"b7", "b8", "t8", "?"}, "[5-8]"},
        {"rewrites of handled heights", 5, 5, {}, true, {"b5", "t5", "?", "b5", "t5", "t6", "?"}, "[5-5][ r5]"},
        {"a late record of a height handled as missing", 5, 5, {}, true, {"b7", "?", "b5", "?"}, "[5-6][ r5]"},
        {"below the first height nothing counts", 5, 5, {}, true, {"b4", "t2", "?"}, "[]"},
        {"without torrents their rewrites do not count", 5, 5, {}, false, {"b5", "?", "t5", "?"}, "[5-5][]"},
        {"after a catch-up", 0, 100, {}, true, {"b99", "t100", "b100", "?"}, "[100-100 r99]"},
        {"ends at --to", 5, 5, 7, true, {"b5", "t5", "b6", "t6", "?", "b7", "t7", "?"}, "[5-6][7-7]", true},
        {"a block above --to moves to its end", 5, 5, 7, true, {"b12", "?"}, "[5-7]", true},
        {"--to not reached", 5, 5, 7, true, {"b7", "?"}, "[5-6]"},
        {"--to reached before the catch-up ended", 5, 8, 7, true, {"b8", "?"}, "[]", true},
        {"the last height there can be", 4294967294u, 4294967294u, {}, false, {"b4294967295", "?"},
         "[4294967294-4294967295]", true},
        {"the last height, complete", 4294967295u, 4294967295u, {}, true, {"t4294967295", "b4294967295", "?"},
         "[4294967295-4294967295]", true},
        {"the last height waits for its torrent record", 4294967294u, 4294967294u, {}, true,
         {"b4294967295", "?", "t4294967295", "?"}, "[4294967294-4294967294][4294967295-4294967295]", true},
        {"past the last height", 0, 4294967296u, {}, true, {"b3", "?"}, "[ r3]", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FollowReadiness state(c.from, c.next, c.to, c.torrents);
        EXPECT_EQ(follow(state, c.steps), c.taken);
        EXPECT_EQ(state.finished(), c.finished);
    }
}

TEST(FollowReadiness, KeepsNothingOfHandledHeights) {
    FollowReadiness state(0, 0, {}, true);
    for (std::uint32_t h = 0; h < 100000; ++h) {
        state.written(RecordKind::Block, h);
        state.written(RecordKind::Torrent, h);
        const ReadyHeights ready = state.take();
        ASSERT_TRUE(ready.first && *ready.first == h && ready.last == h);
    }
    EXPECT_EQ(state.pending(), 0u);
    EXPECT_EQ(state.next(), 100000u);
}

}  // namespace
}  // namespace quorvane

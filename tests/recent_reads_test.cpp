#include "scan/watch/recent_reads.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/cli_harness.hpp"

namespace quorvane {
namespace {

constexpr FileTime SECOND = 1'000'000'000;
constexpr FileTime STARTED = 1'700'000'000 * SECOND;  // when a catch-up window was read

struct Records {
    testing::TempDir dir;
    StoreLayout layout;

    Records() : layout(paths()) {
        std::filesystem::create_directories(dir.path() / "blocks");
        std::filesystem::create_directories(dir.path() / "torrents");
    }
    NetworkPaths paths() const {
        NetworkPaths network;
        network.block_dir = dir / "blocks";
        network.torrent_dir = dir / "torrents";
        network.currency_tag = "vetq";
        return network;
    }
    std::string path(RecordKind kind) const { return layout.path(kind, 7); }
    // The record of height 7, `size` bytes, modified at `time`.
    void write(RecordKind kind, std::size_t size, FileTime time) const {
        std::filesystem::resize_file(touch(kind), size);
        set_time(kind, time);
    }
    std::string touch(RecordKind kind) const {
        const std::string file = path(kind);
        if (!std::filesystem::exists(file)) dir.write(std::filesystem::relative(file, dir.path()).string(), "");
        return file;
    }
    void set_time(RecordKind kind, FileTime time) const {
        const timespec times[2] = {{time / SECOND, time % SECOND}, {time / SECOND, time % SECOND}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path(kind).c_str(), times, 0), 0);
    }
};

// A height of a catch-up window: a record modified before the window was
// read was read whole; one modified in the same tick of the coarse clock,
// or later, may not have been.
TEST(RecentReads, WindowReadsTellWritesAfterTheReadByTime) {
    struct Case {
        const char* label;
        std::optional<FileTime> block;    // modification time; nothing: no file
        std::optional<FileTime> torrent;
        bool unchanged;
    };
    const std::vector<Case> cases = {
        {"both before", STARTED - 1, STARTED - SECOND, true},
        {"block in the same tick", STARTED, STARTED - 1, false},
        {"torrent in the same tick", STARTED - 1, STARTED, false},
        {"block after", STARTED + SECOND, STARTED - 1, false},
        {"no torrent record", STARTED - 1, std::nullopt, true},
        {"no records", std::nullopt, std::nullopt, true},
        {"torrent record alone, after", std::nullopt, STARTED + 1, false},
    };
    for (const Case& c : cases) {
        Records records;
        if (c.block) records.write(RecordKind::Block, 749, *c.block);
        if (c.torrent) records.write(RecordKind::Torrent, 100, *c.torrent);
        RecentReads reads(records.layout);
        reads.note_window(5, 9, STARTED);
        EXPECT_EQ(reads.unchanged_since_read(7), c.unchanged) << c.label;
        // A height of no window and not noted was handled long ago.
        EXPECT_FALSE(reads.unchanged_since_read(10)) << c.label;
    }
}

// A height followed one by one: what its records looked like before the
// read, against what they look like now.
TEST(RecentReads, FollowedHeightsTellWritesBySignature) {
    struct Case {
        const char* label;
        std::function<void(const Records&)> after_read;
        bool unchanged;
    };
    const auto torrent = RecordKind::Torrent;
    const std::vector<Case> cases = {
        {"nothing", [](const Records&) {}, true},
        {"the same size and time again", [&](const Records& r) { r.write(torrent, 100, STARTED); }, true},
        {"a later time", [&](const Records& r) { r.set_time(torrent, STARTED + 1); }, false},
        {"grown", [&](const Records& r) { r.write(torrent, 101, STARTED); }, false},
        {"removed", [&](const Records& r) { std::filesystem::remove(r.path(torrent)); }, false},
        {"block written", [](const Records& r) { r.write(RecordKind::Block, 749, STARTED); }, false},
        {"replaced by another file, same size and time",
         [&](const Records& r) {
             r.dir.write("other", std::string(100, 'x'));
             std::filesystem::rename(r.dir / "other", r.path(torrent));
             r.set_time(torrent, STARTED);
         },
         false},
    };
    for (const Case& c : cases) {
        Records records;
        records.write(torrent, 100, STARTED);
        RecentReads reads(records.layout);
        // Signatures win over the window that holds the height.
        reads.note_window(0, 9, STARTED - SECOND);
        reads.note_heights(7, 7);
        c.after_read(records);
        EXPECT_EQ(reads.unchanged_since_read(7), c.unchanged) << c.label;
    }
}

// Only the last heights noted are kept: an older one falls back to the
// windows, and with none, counts as rewritten.
TEST(RecentReads, KeepsTheLastHeightsNoted) {
    Records records;
    RecentReads reads(records.layout);
    reads.note_heights(7, 7);
    EXPECT_TRUE(reads.unchanged_since_read(7));
    reads.note_heights(8, 8 + RecentReads::KEPT - 2);
    EXPECT_TRUE(reads.unchanged_since_read(7));
    reads.note_height(8 + RecentReads::KEPT - 1);
    EXPECT_FALSE(reads.unchanged_since_read(7));
    // A batch larger than kept: its first heights are never looked at.
    reads.note_heights(100'000, 100'000 + RecentReads::KEPT);
    EXPECT_FALSE(reads.unchanged_since_read(100'000));
    EXPECT_TRUE(reads.unchanged_since_read(100'001));
}

}  // namespace
}  // namespace quorvane

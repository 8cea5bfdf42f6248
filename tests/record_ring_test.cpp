#include "scan/store/record_ring.hpp"

#include <gtest/gtest.h>

#include <liburing.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "scan/store/height_scan.hpp"
#include "scan/store/height_listing.hpp"
#include "support/cli_harness.hpp"
#include "support/store_builder.hpp"

namespace quorvane {
namespace {

// What a slot holds after reading, as text that tells every outcome apart.
std::string outcome(const HeightScan& slot) {
    std::string text = std::to_string(slot.height);
    text += slot.block_present ? " block" : " -";
    text += slot.torrent_present ? " torrent" : " -";
    if (slot.raw.block) {
        const auto& block = *slot.raw.block;
        text += ' ';
        if (block) {
            text += std::to_string(block->size);
            text += ':';
            text += std::to_string(block->bytes[block->size > 0 ? block->size - 1 : 0]);
        } else {
            text += block.error();
        }
    }
    if (slot.raw.torrent) {
        const auto& torrent = *slot.raw.torrent;
        text += ' ';
        if (torrent) {
            text += std::to_string(torrent->kept.size());
            text += '/';
            text += std::to_string(torrent->total_length);
        } else {
            text += torrent.error().diagnostic();
        }
    }
    return text;
}

// Whether this kernel gives a process a ring with registered files, asked
// without RecordRing: where it does, the engine must not fall back.
bool kernel_gives_rings() {
    io_uring ring{};
    if (io_uring_queue_init(8, &ring, 0) < 0) return false;
    const bool registered = io_uring_register_files_sparse(&ring, 4) >= 0;
    io_uring_queue_exit(&ring);
    return registered;
}

class RecordRingIn : public ::testing::TestWithParam<DescriptorTable> {};

// Every kind of file a record's name can stand for, read through a ring and
// the plain way, in as many batches in flight as a ring takes, from opened
// directories and by whole paths, with and without the torrent records, by
// listing and by name: the slots come out the same, and the ring read every
// record it could itself.
TEST_P(RecordRingIn, LeavesEachSlotAsThePlainReadsDo) {
    auto opened = RecordRing::open(GetParam());
    if (!opened && kernel_gives_rings()) FAIL() << "the kernel has rings, RecordRing has none: " << opened.error();
    if (!opened) GTEST_SKIP() << "no io_uring here: " << opened.error();
    RecordRing& ring = **opened;
    ASSERT_EQ(ring.table(), GetParam());
    testing::TempDir dir;
    namespace fs = std::filesystem;
    const fs::path blocks = dir.path() / "blocks";
    const fs::path torrents = dir.path() / "torrents";
    fs::create_directories(blocks);
    fs::create_directories(torrents);
    const auto file = [&](const std::string& relative, std::size_t size) {
        std::string bytes(size, 'x');
        if (size > 0) bytes.back() = static_cast<char>('a' + size % 26);
        dir.write(relative, bytes);
    };
    // block, torrent: a record, short, long, missing, a directory, a FIFO, a
    // torrent of the longest size, a dangling link, an empty block.
    const std::vector<std::pair<std::string, std::string>> kinds = {
        {"749", "1000"}, {"100", "0"},      {"800", "4479"}, {"none", "none"}, {"dir", "dir"},
        {"fifo", "fifo"}, {"749", "4478"}, {"link", "111"}, {"0", "5000"},
    };
    for (std::size_t h = 0; h < kinds.size(); ++h) {
        for (const auto& [where, name, kind] : {std::tuple{"blocks/", std::to_string(h) + ".vetq", kinds[h].first},
                                                 std::tuple{"torrents/", std::to_string(h) + ".torrent", kinds[h].second}}) {
            const std::string relative = where + name;
            const fs::path path = dir.path() / relative;
            if (kind == "dir") fs::create_directory(path);
            else if (kind == "fifo") ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
            else if (kind == "link") fs::create_symlink(dir.path() / "nothing", path);
            else if (kind != "none") file(relative, std::stoul(kind));
        }
    }
    NetworkPaths network;
    network.block_dir = blocks.string();
    network.torrent_dir = torrents.string();
    network.currency_tag = "vetq";
    const StoreLayout paths(network);
    const RecordDirectories directories(paths);
    ASSERT_GE(directories.blocks(), 0);
    for (const bool opened_directories : {true, false}) {
        for (const auto& [read_torrent, probe] : {std::pair{true, false}, {false, true}, {true, true}, {false, false}}) {
            const RecordReads reads{&paths, read_torrent, probe, opened_directories ? directories.blocks() : -1,
                                    opened_directories ? directories.torrents() : -1};
            std::vector<HeightScan> plain(kinds.size());
            std::vector<HeightScan> ringed(kinds.size());
            for (std::uint32_t h = 0; h < kinds.size(); ++h) {
                for (auto* slot : {&plain[h], &ringed[h]}) {
                    *slot = HeightScan{};
                    slot->height = h;
                    slot->block_present = slot->torrent_present = true;
                }
                read_height(reads, plain[h]);
            }
            const std::span<HeightScan> all(ringed);
            const std::uint64_t read_before = ring.records_read();
            static_assert(RecordRing::MAX_BATCHES == 4);
            ring.start(all.first(2), reads);
            ring.start(all.subspan(2, 2), reads);
            ring.start(all.subspan(4, 1), reads);
            ring.start(all.subspan(5), reads);
            for (std::size_t batch = 0; batch < RecordRing::MAX_BATCHES; ++batch) ring.finish();
            for (std::size_t h = 0; h < kinds.size(); ++h) {
                EXPECT_EQ(outcome(ringed[h]), outcome(plain[h]))
                    << "torrents " << read_torrent << ", probe " << probe << ", directories " << opened_directories;
            }
            // Blocks of heights 0, 2 (its first 749 bytes) and 6, torrent
            // records of 0, 6 and 7.
            EXPECT_EQ(ring.records_read() - read_before, read_torrent || probe ? 6u : 3u);
        }
    }
    EXPECT_TRUE(ring.working());
}

INSTANTIATE_TEST_SUITE_P(Descriptors, RecordRingIn,
                         ::testing::Values(DescriptorTable::Process, DescriptorTable::Ring),
                         [](const auto& table) { return table.param == DescriptorTable::Process ? "Process" : "Ring"; });

// A scan reads every record through its rings where the kernel has them,
// listed or by name, on one thread or more; the plain reads when asked.
TEST(ScanStore, ReadsThroughRingsWhereTheKernelHasThem) {
    testing::TempDir dir;
    testing::write_store(dir.path(), {0, 40, {}});
    NetworkPaths network;
    network.block_dir = dir / "blocks/testnet";
    network.torrent_dir = dir / "torrents/testnet";
    network.currency_tag = "vetq";
    const StoreLayout layout(network);
    const StoreIndex index{*list_height_set(network.block_dir, ".vetq"), *list_height_set(network.torrent_dir, ".torrent")};
    const bool rings = kernel_gives_rings();
    struct Case {
        const char* label;
        unsigned jobs;
        bool probe;
        ReadEngine engine;
        std::uint64_t through_rings;
    };
    for (const Case& c : {Case{"listed", 1, false, ReadEngine::Auto, rings ? 80u : 0u},
                          Case{"listed, two threads", 2, false, ReadEngine::Auto, rings ? 80u : 0u},
                          Case{"by name", 2, true, ReadEngine::Auto, rings ? 80u : 0u},
                          Case{"plain reads asked for", 2, false, ReadEngine::Threads, 0}}) {
        ScanPlan plan;
        plan.to = 39;
        plan.jobs = c.jobs;
        plan.probe = c.probe;
        plan.read_torrents = true;
        plan.read_engine = c.engine;
        std::uint64_t blocks = 0;
        const ScanTally tally = scan_store(layout, index, plan, [&](const ScannedWindow& window) {
            for (const HeightScan& scan : window.heights) blocks += scan.block && *scan.block;
        });
        EXPECT_EQ(blocks, 40u) << c.label;
        EXPECT_EQ(tally.read_through_rings, c.through_rings) << c.label;
    }
}

}  // namespace
}  // namespace quorvane

#include "scan/store/height_listing.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <optional>
#include <string>
#include <vector>

#include "support/cli_harness.hpp"

namespace quorvane {
namespace {

TEST(HeightOfFileName, OnlyCanonicalDecimalNamesAreHeights) {
    const std::vector<std::pair<std::string, std::optional<std::uint32_t>>> cases = {
        {"7.vetq", 7},
        {"0.vetq", 0},
        {"4294967295.vetq", 4294967295u},
        {"4294967296.vetq", std::nullopt},
        {"99999999999.vetq", std::nullopt},
        {"007.vetq", std::nullopt},
        {"00.vetq", std::nullopt},
        {"+7.vetq", std::nullopt},
        {"-7.vetq", std::nullopt},
        {".vetq", std::nullopt},
        {"7.vetq.bak", std::nullopt},
        {"7.torrent", std::nullopt},
        {"7a.vetq", std::nullopt},
        {" 7.vetq", std::nullopt},
        {"vetq", std::nullopt},
    };
    for (const auto& [name, height] : cases) EXPECT_EQ(height_of_file_name(name, ".vetq"), height) << name;
}

TEST(ListHeights, SortsTheHeightsOfADirectory) {
    testing::TempDir dir;
    for (const char* name : {"10.vetq", "9.vetq", "x.vetq", "09.vetq", "0.vetq", "3.torrent"}) dir.write(name, "");
    std::filesystem::create_directories(dir.path() / "5.vetq");
    const auto heights = list_heights(dir.path().string(), ".vetq");
    ASSERT_TRUE(heights.has_value());
    EXPECT_EQ(*heights, (std::vector<std::uint32_t>{0, 5, 9, 10}));
    EXPECT_TRUE(check_listable(dir.path().string()).has_value());

    const auto missing = list_heights(dir / "missing", ".vetq");
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().kind(), ErrorKind::NotFound);
    EXPECT_FALSE(check_listable(dir / "10.vetq").has_value());
}

// Heights given in a scrambled order (as a directory lists them) come out
// as the same set whatever its shape: lists, bitmaps, full blocks, the ends
// of the range.
TEST(HeightSet, HoldsWhatItWasGivenInAnyShape) {
    const auto run = [](std::uint32_t first, std::uint32_t count, std::uint32_t step = 1) {
        std::vector<std::uint32_t> heights;
        for (std::uint32_t i = 0; i < count; ++i) heights.push_back(first + i * step);
        return heights;
    };
    std::mt19937 random(7);
    std::vector<std::uint32_t> scattered;
    for (int i = 0; i < 50000; ++i) scattered.push_back(static_cast<std::uint32_t>(random()));
    const std::vector<std::pair<std::string, std::vector<std::uint32_t>>> cases = {
        {"empty", {}},
        {"the ends of the range", {0, 4294967295u}},
        {"three full blocks and one more", run(0, 3 * 65536 + 1)},
        {"every other height", run(1, 100000, 2)},
        {"a list at its limit", run(65536, 4096, 3)},
        {"one past the limit", run(65536, 4097, 3)},
        {"a full last block", run(4294901760u, 65536)},
        {"one a block", run(5, 3000, 65536)},
        {"scattered, with repeats", scattered},
    };
    for (const auto& [label, given] : cases) {
        std::vector<std::uint32_t> order = given;
        std::shuffle(order.begin(), order.end(), random);
        if (!order.empty()) order.push_back(order.front());
        HeightSet::Builder builder;
        for (const std::uint32_t h : order) builder.add(h);
        const HeightSet set = std::move(builder).build();
        const std::set<std::uint32_t> expected(given.begin(), given.end());
        EXPECT_TRUE(std::equal(set.begin(), set.end(), expected.begin(), expected.end())) << label;
        EXPECT_EQ(set.size(), expected.size()) << label;
        EXPECT_EQ(set.empty(), expected.empty()) << label;
        EXPECT_EQ(set.last(), expected.empty() ? std::nullopt : std::optional(*expected.rbegin())) << label;
        // Each height, its neighbours and a few anywhere.
        std::vector<std::uint64_t> probes = {0, 65535, 65536, 4294967295u, 4294967296u};
        for (const std::uint32_t h : expected) probes.insert(probes.end(), {h, std::uint64_t{h} + 1, h - 1u});
        for (int i = 0; i < 200; ++i) probes.push_back(random());
        for (const std::uint64_t probe : probes) {
            const auto above = expected.lower_bound(static_cast<std::uint32_t>(std::min<std::uint64_t>(probe, 4294967295u)));
            const bool beyond = probe > 4294967295u || above == expected.end();
            ASSERT_EQ(set.next_from(probe), beyond ? std::nullopt : std::optional(*above)) << label << " " << probe;
            if (probe <= 4294967295u) {
                ASSERT_EQ(set.contains(static_cast<std::uint32_t>(probe)), expected.contains(static_cast<std::uint32_t>(probe)))
                    << label << " " << probe;
            }
        }
    }
}

}  // namespace
}  // namespace quorvane

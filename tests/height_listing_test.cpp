#include "scan/height_listing.hpp"

#include <gtest/gtest.h>

#include <filesystem>
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

}  // namespace
}  // namespace quorvane

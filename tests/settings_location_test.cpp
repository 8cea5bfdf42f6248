#include "config/settings_location.hpp"

#include <gtest/gtest.h>

#include "support/cli_harness.hpp"

namespace quorvane {
namespace {

using testing::TempDir;

TEST(LocateSettingsFile, FollowsTheSearchOrder) {
    TempDir current;
    TempDir beside_executable;
    TempDir empty;
    current.write("settings.ini", "");
    beside_executable.write("settings.ini", "");

    struct Case {
        std::string name;
        ProcessContext context;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"--config wins over the variable",
         {{"tool", "7", "--config", "a.ini"}, "env.ini", current.path(), beside_executable.path()},
         "a.ini"},
        {"the first --config is used",
         {{"tool", "--config", "first.ini", "--config", "second.ini"}, std::nullopt, current.path(), std::nullopt},
         "first.ini"},
        {"--config takes whatever follows",
         {{"tool", "--config", "--config"}, std::nullopt, current.path(), std::nullopt}, "--config"},
        {"element 0 is scanned too", {{"--config", "zero.ini"}, std::nullopt, current.path(), std::nullopt},
         "zero.ini"},
        {"the variable, even when empty", {{"tool", "7"}, "", current.path(), std::nullopt}, ""},
        {"current directory before the executable's",
         {{"tool", "7"}, std::nullopt, current.path(), beside_executable.path()}, current / "settings.ini"},
        {"beside the executable",
         {{"tool", "7"}, std::nullopt, empty.path(), beside_executable.path()},
         beside_executable / "settings.ini"},
        {"neither: the current directory's missing file",
         {{"tool", "7"}, std::nullopt, empty.path(), empty.path()}, empty / "settings.ini"},
    };
    for (const auto& c : cases) {
        const auto located = locate_settings_file(c.context);
        ASSERT_TRUE(located.has_value()) << c.name;
        EXPECT_EQ(*located, c.expected) << c.name;
    }
}

TEST(LocateSettingsFile, ConfigAsLastArgumentHasNoPath) {
    const ProcessContext context{{"tool", "7", "--config"}, "env.ini", std::nullopt, std::nullopt};
    EXPECT_FALSE(locate_settings_file(context).has_value());
}

}  // namespace
}  // namespace quorvane

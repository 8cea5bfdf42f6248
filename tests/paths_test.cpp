#include "common/paths.hpp"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(JoinPath, AddsOneSeparatorOnlyWhereNeeded) {
    struct Case {
        std::string base, tail, joined;
    };
    const std::vector<Case> cases = {
        {"/srv/node/blocks", "testnet", "/srv/node/blocks/testnet"},
        {"/srv/node/blocks/", "testnet", "/srv/node/blocks/testnet"},
        {"", "blocks", "blocks"},
        {"conf", "/abs/blocks", "/abs/blocks"},
        {"a", "", "a/"},
        {"/", "x", "/x"},
    };
    for (const auto& c : cases) EXPECT_EQ(join_path(c.base, c.tail), c.joined) << c.base << " + " << c.tail;
}

TEST(ParentPath, DropsTheLastComponent) {
    struct Case {
        std::string path;
        std::optional<std::string> parent;
    };
    const std::vector<Case> cases = {
        {"conf/node.ini", "conf"},
        {"node.ini", ""},
        {"/etc/node/settings.ini", "/etc/node"},
        {"/settings.ini", "/"},
        {"/", std::nullopt},
        {"", std::nullopt},
        {"a/b/", "a"},
        {"a//b", "a"},
        {"conf//node.ini", "conf"},
        {"/a///b", "/a"},
        {"//settings.ini", "/"},
        {"./settings.ini", "."},
        {"../settings.ini", ".."},
        {"a/b/.", "a"},
    };
    for (const auto& c : cases) EXPECT_EQ(parent_path(c.path), c.parent) << c.path;
}

}  // namespace
}  // namespace quorvane

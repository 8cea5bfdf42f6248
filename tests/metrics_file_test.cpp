#include "scan/commands/metrics_file.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/cli_harness.hpp"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// Where a metrics file may not go: into the store's record directories, by
// any way of naming them, nor anywhere that cannot be written.
TEST(MetricsFile, RefusesPathsInsideTheStoreOrThatCannotBeWritten) {
    testing::TempDir dir;
    fs::create_directories(dir.path() / "blocks/testnet");
    fs::create_directories(dir.path() / "torrents/testnet");
    fs::create_directories(dir.path() / "metrics");
    fs::create_directory_symlink(dir.path() / "blocks/testnet", dir.path() / "linked");
    dir.write("a-file", "");
    NetworkPaths network;
    network.block_dir = dir / "blocks/testnet";
    network.torrent_dir = dir / "torrents/testnet";
    network.currency_tag = "vetq";
    const StoreLayout layout(network);
    struct Case {
        std::string path;
        std::string refusal;  // empty: taken
    };
    const std::vector<Case> cases = {
        {dir / "metrics/chainscan.prom", ""},
        {dir / "chainscan.prom", ""},
        {dir / "blocks/testnet/x.prom", "is inside the store's block directory " + (dir / "blocks/testnet")},
        {dir / "torrents/testnet/../testnet/x.prom", "is inside the store's torrent directory " + (dir / "torrents/testnet")},
        {dir / "linked/x.prom", "is inside the store's block directory"},
        {dir / "blocks/testnet/deeper/x.prom", "is inside the store's block directory"},
        {dir / "metrics", "is a directory"},
        {dir / "metrics/", "names no file"},
        {"", "names no file"},
        {dir / "gone/x.prom", "cannot write in " + (dir / "gone") + " (No such file or directory)"},
        {dir / "a-file/x.prom", "cannot write in " + (dir / "a-file") + " (Not a directory)"},
    };
    for (const Case& c : cases) {
        const auto refusal = metrics_file_refusal(c.path, layout);
        if (c.refusal.empty()) {
            EXPECT_FALSE(refusal) << c.path << ": " << *refusal;
        } else {
            ASSERT_TRUE(refusal) << c.path;
            EXPECT_TRUE(refusal->starts_with("--metrics-file: ")) << *refusal;
            EXPECT_NE(refusal->find(c.refusal), std::string::npos) << *refusal;
        }
    }
}

// Replaced whole, with the mode "> file" would give, and nothing left beside it.
TEST(MetricsFile, ReplacesTheFileWholeWithTheUsualMode) {
    testing::TempDir dir;
    const std::string path = dir / "chainscan.prom";
    const MetricsFile file(path);
    const mode_t old_mask = ::umask(022);
    ASSERT_TRUE(file.replace("first version\n"));
    ASSERT_TRUE(file.replace("second\n"));
    ::umask(old_mask);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "second\n");
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
    std::vector<std::string> beside;
    for (const auto& entry : fs::directory_iterator(dir.path())) beside.push_back(entry.path().filename().string());
    EXPECT_EQ(beside, std::vector<std::string>{"chainscan.prom"});
    // A directory gone: the error, and still nothing left behind.
    fs::remove_all(dir.path());
    EXPECT_FALSE(file.replace("third\n"));
    EXPECT_FALSE(fs::exists(dir.path()));
    fs::create_directories(dir.path());
}

}  // namespace
}  // namespace quorvane

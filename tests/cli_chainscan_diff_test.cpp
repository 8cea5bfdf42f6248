// chainscan diff over pairs of generated stores: a replica that lags, a
// fork, a rewritten record, records missing or unreadable on either side.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/json.hpp"
#include "support/cli_harness.hpp"
#include "support/store_builder.hpp"

namespace quorvane::testing {
namespace {

const std::string CHAINSCAN = CHAINSCAN_BINARY;
namespace fs = std::filesystem;

// The other chain from `height` on: each block a second later, so its hash
// and every link above it differ, and so do its torrent records.
std::function<void(std::uint32_t, HeightValues&)> forked_at(std::uint32_t height) {
    return [height](std::uint32_t h, HeightValues& v) {
        v.timestamp = 1700000000u + h + (h >= height ? 1 : 0);
    };
}

// A record made unreadable: a directory where the file was.
void make_unreadable(const TempDir& store, const std::string& relative) {
    fs::remove(store.path() / relative);
    fs::create_directory(store.path() / relative);
}

TEST(ChainscanDiff, SaysWhereTwoStoresPart) {
    struct Case {
        std::string name;
        StoreShape mine;
        StoreShape theirs;
        std::function<void(const TempDir& mine, const TempDir& theirs)> change;
        std::vector<std::string> arguments;
        std::vector<std::string> differences;  // "record code from-to", in order
        std::string summary;                   // the JSON summary from "same_blocks" on
    };
    const auto none = [](const TempDir&, const TempDir&) {};
    const auto hashes = [](const std::string& line) { return line.find("\"this_hash\"") != std::string::npos; };
    const std::vector<Case> cases = {
        {"identical", {0, 200, {}}, {0, 200, {}}, none, {}, {},
         R"("same_blocks":200,"same_torrents":200,"differences":{"only_this":0,"only_other":0,"differs":0,"unreadable":0},)"
         R"("first_difference":null,"agree_through":199,"fork_height":null})"},
        {"the other lags", {0, 200, {}}, {0, 150, {}}, none, {},
         {"block only_this 150-199", "torrent only_this 150-199"},
         R"("same_blocks":150,"same_torrents":150,"differences":{"only_this":100,"only_other":0,"differs":0,"unreadable":0},)"
         R"("first_difference":150,"agree_through":149,"fork_height":null})"},
        {"a fork, each side a linked chain", {0, 200, {}}, {0, 200, {}, {}, true, forked_at(120)}, none, {},
         {"block differs 120-199 #", "torrent differs 120-199"},
         R"("same_blocks":120,"same_torrents":120,"differences":{"only_this":0,"only_other":0,"differs":160,"unreadable":0},)"
         R"("first_difference":120,"agree_through":119,"fork_height":120})"},
        {"a range inside the fork", {0, 200, {}}, {0, 200, {}, {}, true, forked_at(120)}, none,
         {"--from", "130", "--to", "139"}, {"block differs 130-139 #", "torrent differs 130-139"},
         R"("same_blocks":0,"same_torrents":0,"differences":{"only_this":0,"only_other":0,"differs":20,"unreadable":0},)"
         R"("first_difference":130,"agree_through":null,"fork_height":130})"},
        {"a range across the fork", {0, 200, {}}, {0, 200, {}, {}, true, forked_at(120)}, none,
         {"--from", "100", "--to", "124"}, {"block differs 120-124 #", "torrent differs 120-124"},
         R"("same_blocks":20,"same_torrents":20,"differences":{"only_this":0,"only_other":0,"differs":10,"unreadable":0},)"
         R"("first_difference":120,"agree_through":119,"fork_height":120})"},
        {"one torrent record rewritten", {0, 60, {}},
         {0, 60, {}, {}, true, [](std::uint32_t h, HeightValues& v) { v.length = h == 50 ? 2000 : 1000; }}, none, {},
         {"torrent differs 50-50"},
         R"("same_blocks":60,"same_torrents":59,"differences":{"only_this":0,"only_other":0,"differs":1,"unreadable":0},)"
         R"("first_difference":50,"agree_through":49,"fork_height":null})"},
        {"a block missing on each side", {0, 30, {{10, Fault::BlockMissing}}}, {0, 30, {{20, Fault::BlockMissing}}}, none,
         {}, {"block only_other 10-10", "block only_this 20-20"},
         R"("same_blocks":28,"same_torrents":30,"differences":{"only_this":1,"only_other":1,"differs":0,"unreadable":0},)"
         R"("first_difference":10,"agree_through":9,"fork_height":null})"},
        {"an unreadable record on each side", {0, 30, {}}, {0, 30, {}},
         [](const TempDir& mine, const TempDir& theirs) {
             make_unreadable(mine, "blocks/testnet/5.vetq");
             make_unreadable(theirs, "torrents/testnet/5.torrent");
             make_unreadable(theirs, "torrents/testnet/6.torrent");
         },
         {}, {"block unreadable 5-5", "torrent unreadable 5-6"},
         R"("same_blocks":29,"same_torrents":28,"differences":{"only_this":0,"only_other":0,"differs":0,"unreadable":3},)"
         R"("first_difference":5,"agree_through":4,"fork_height":null})"},
        {"a block that no longer decodes", {0, 30, {}}, {0, 30, {{7, Fault::BlockInvalid}}}, none, {},
         {"block differs 7-7"},
         R"("same_blocks":29,"same_torrents":30,"differences":{"only_this":0,"only_other":0,"differs":1,"unreadable":0},)"
         R"("first_difference":7,"agree_through":6,"fork_height":null})"},
        {"heights neither store holds", {0, 30, {{3, Fault::BlockMissing}, {3, Fault::TorrentMissing}}},
         {0, 30, {{3, Fault::BlockMissing}, {3, Fault::TorrentMissing}}}, none, {}, {},
         R"("same_blocks":29,"same_torrents":29,"differences":{"only_this":0,"only_other":0,"differs":0,"unreadable":0},)"
         R"("first_difference":null,"agree_through":29,"fork_height":null})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir mine;
        TempDir theirs;
        write_store(mine.path(), c.mine);
        write_store(theirs.path(), c.theirs);
        c.change(mine, theirs);
        std::string first_out;
        for (const char* jobs : {"1", "4"}) {
            std::vector<std::string> arguments = {"diff", "--json", "--jobs", jobs, "--against", theirs / "settings.ini",
                                                  "--config", mine / "settings.ini"};
            arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
            const auto result = run_program(CHAINSCAN, arguments);
            EXPECT_EQ(result.err, "");
            EXPECT_EQ(result.status, c.differences.empty() ? 0 : 1);
            auto lines = lines_of(result.out);
            ASSERT_FALSE(lines.empty());
            const std::string summary = lines.back();
            lines.pop_back();
            std::vector<std::string> differences;
            for (const auto& line : lines) {
                const Json value = Json::parse(line);
                differences.push_back(value["record"].get<std::string>() + " " + value["code"].get<std::string>() + " " +
                                      value["from"].dump() + "-" + value["to"].dump() + (hashes(line) ? " #" : ""));
                if (hashes(line)) {
                    EXPECT_NE(value["this_hash"], value["other_hash"]);
                }
            }
            EXPECT_EQ(differences, c.differences);
            EXPECT_NE(summary.find(c.summary), std::string::npos) << summary;
            if (first_out.empty()) first_out = result.out;
            EXPECT_EQ(result.out, first_out) << "--jobs " << jobs;
        }
    }
}

// The text form says the same in a line a run and a summary; settings that
// do not load, in either store, stop the run naming the file.
TEST(ChainscanDiff, TextAndSettingsErrors) {
    TempDir mine;
    TempDir theirs;
    write_store(mine.path(), {0, 10, {}});
    write_store(theirs.path(), {0, 8, {}, {}, true, forked_at(5)});
    const auto text = run_program(CHAINSCAN, {"diff", "--against", theirs / "settings.ini", "--config", mine / "settings.ini"});
    EXPECT_EQ(text.status, 1);
    const auto lines = lines_of(text.out);
    ASSERT_EQ(lines.size(), 5u) << text.out;
    EXPECT_TRUE(lines[0].starts_with("5-7: block differs (this ")) << lines[0];
    EXPECT_EQ(lines[1], "5-7: torrent differs");
    EXPECT_EQ(lines[2], "8-9: block only_this");
    EXPECT_EQ(lines[3], "8-9: torrent only_this");
    EXPECT_EQ(lines[4], "compared heights 0-9 (10 heights): 5 blocks and 5 torrent records the same; 10 differences "
                        "(only_this 4, differs 6); first at 5, the stores agree through 4; the chains part at 5");

    const auto itself = run_program(CHAINSCAN, {"diff", "--against", mine / "settings.ini", "--config", mine / "settings.ini"});
    EXPECT_EQ(itself.status, 0);
    EXPECT_EQ(itself.out, "compared heights 0-9 (10 heights): 10 blocks and 10 torrent records the same; no differences\n");

    const auto empty = run_program(CHAINSCAN, {"diff", "--json", "--from", "50", "--against", theirs / "settings.ini",
                                               "--config", mine / "settings.ini"});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, R"({"type":"summary","from":null,"to":null,"heights":0,"same_blocks":0,"same_torrents":0,)"
                         R"("differences":{"only_this":0,"only_other":0,"differs":0,"unreadable":0},)"
                         R"("first_difference":null,"agree_through":null,"fork_height":null})" "\n");

    struct Failure {
        std::string against;
        std::string config;
        std::string err_start;
    };
    for (const auto& f : std::vector<Failure>{
             {mine / "nothing.ini", mine / "settings.ini",
              "Error: Failed to load the settings of the other store (" + (mine / "nothing.ini") + "): Io(Os { code: 2"},
             {mine.path().string(), mine / "settings.ini",
              "Error: Failed to load the settings of the other store (" + mine.path().string() + "): Io(Os { code: 21"},
             {theirs / "settings.ini", mine / "missing.ini",
              "Error: Failed to load the settings of this store (" + (mine / "missing.ini") + "): Io(Os { code: 2"}}) {
        const auto failed = run_program(CHAINSCAN, {"diff", "--against", f.against, "--config", f.config});
        EXPECT_EQ(failed.status, 2);
        EXPECT_EQ(failed.out, "");
        EXPECT_TRUE(failed.err.starts_with(f.err_start)) << failed.err;
        EXPECT_EQ(lines_of(failed.err).size(), 1u) << failed.err;
    }
}

}  // namespace
}  // namespace quorvane::testing

// chainscan stats and report over generated stores whose pace, difficulty,
// miners and torrent sizes are set height by height.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/json.hpp"
#include "support/cli_harness.hpp"
#include "support/store_builder.hpp"

namespace quorvane::testing {
namespace {

const std::string CHAINSCAN = CHAINSCAN_BINARY;

RunResult run_on(const TempDir& store, std::vector<std::string> arguments) {
    arguments.push_back("--config");
    arguments.push_back(store / "settings.ini");
    return run_program(CHAINSCAN, arguments);
}

// Timestamps from a list, one per height.
std::function<void(std::uint32_t, HeightValues&)> timestamps(std::vector<std::uint32_t> list) {
    return [list](std::uint32_t h, HeightValues& v) { v.timestamp = 1700000000u + list.at(h); };
}

TEST(ChainscanStats, ReportsEachValueOfTheRange) {
    struct Case {
        std::string name;
        StoreShape shape;
        std::vector<std::string> arguments;
        int status;
        std::vector<std::pair<std::string, std::string>> expected;  // JSON pointer, value as JSON
    };
    const std::vector<Case> cases = {
        {"even pace", {0, 10, {}}, {}, 0,
         {{"/heights", R"({"from":0,"to":9,"blocks":10,"torrents":10,"missing":0,"gaps":0})"},
          {"/time/first", R"({"timestamp":1700000000,"utc":"2023-11-14T22:13:20Z"})"},
          {"/time/last/utc", R"("2023-11-14T22:13:29Z")"},
          {"/time/span_seconds", "9"},
          {"/time/interval_seconds",
           R"({"count":9,"mean":1.0,"median":1,"p10":1,"p90":1,"p99":1,"min":1,"max":1,"zero_or_negative":0})"},
          {"/difficulty", R"({"first":1000,"last":1009,"min":1000,"median":1004,"max":1009,"changes":9})"},
          {"/miners/distinct", "10"},
          {"/miners/by_network", R"({"VETQ":10})"},
          {"/torrents", R"({"total_length":10000,"pieces":{"min":3,"median":3,"max":3},)"
                        R"("piece_lengths_distinct":1,"piece_lengths":[{"piece_length":400,"records":10}]})"},
          {"/problems", R"({"total":0,"by_code":{}})"}}},
        {"a pause of ten minutes", {0, 10, {}, {}, true,
                                    [](std::uint32_t h, HeightValues& v) { v.timestamp = 1700000000u + 60 * h + (h >= 5 ? 600 : 0); }},
         {}, 0,
         {{"/time/interval_seconds",
           R"({"count":9,"mean":126.667,"median":60,"p10":60,"p90":660,"p99":660,"min":60,"max":660,"zero_or_negative":0})"},
          {"/time/span_seconds", "1140"}}},
        {"a clock that stands still, then goes back", {0, 4, {}, {}, true, timestamps({0, 10, 10, 5})}, {}, 0,
         {{"/time/interval_seconds/median", "0"},
          {"/time/interval_seconds/min", "-5"},
          {"/time/interval_seconds/zero_or_negative", "2"},
          {"/time/span_seconds", "5"}}},
        {"one dominant miner, one on the main network", {0, 10, {}, {}, true,
                                                         [](std::uint32_t h, HeightValues& v) {
                                                             v.miner = h < 8 ? 1 : 2;
                                                             if (h == 9) v.network = 1;
                                                         }},
         {}, 0,
         {{"/miners/distinct", "3"},
          {"/miners/top/0", R"({"miner":"0102030405060708090a0b0c0d0e0f1011121314.vetq","blocks":8,"share_percent":80.0})"},
          {"/miners/top/1/miner", R"("02030405060708090a0b0c0d0e0f101112131415.veq")"},
          {"/miners/top/2/share_percent", "10.0"},
          {"/miners/by_network", R"({"VEQ":1,"VETQ":9})"}}},
        {"a difficulty step", {0, 10, {}, {}, true,
                               [](std::uint32_t h, HeightValues& v) { v.next_block_difficulty = h < 6 ? 500 : 700; }},
         {}, 0,
         {{"/difficulty", R"({"first":500,"last":700,"min":500,"median":500,"max":700,"changes":1})"}}},
        {"every digit of the largest difficulty", {0, 3, {}, {2}}, {}, 0,
         {{"/difficulty/max", "18446744073709551615"}, {"/difficulty/last", "18446744073709551615"}}},
        {"gaps, a missing torrent record and a broken link",
         {0, 12, {{3, Fault::BlockMissing}, {4, Fault::BlockMissing}, {8, Fault::BlockMissing},
                  {10, Fault::TorrentMissing}, {6, Fault::ChainBroken}}},
         {}, 1,
         {{"/heights", R"({"from":0,"to":11,"blocks":9,"torrents":11,"missing":3,"gaps":2})"},
          // Only between heights that both have a block.
          {"/time/interval_seconds/count", "6"},
          {"/problems", R"({"total":4,"by_code":{"block_missing":2,"torrent_missing":1,"chain_broken":1}})"}}},
        {"a range whose ends are missing", {0, 10, {{2, Fault::BlockMissing}, {7, Fault::BlockMissing}}},
         {"--from", "2", "--to", "7"}, 1,
         {{"/heights", R"({"from":2,"to":7,"blocks":4,"torrents":6,"missing":2,"gaps":2})"},
          {"/time/first/timestamp", "1700000003"},
          {"/difficulty/first", "1003"}}},
        {"torrent records of several sizes", {0, 5, {}, {}, true,
                                              [](std::uint32_t h, HeightValues& v) {
                                                  v.length = 1000 * (h + 1);
                                                  v.piece_length = h % 2 == 0 ? 400 : 1000;
                                              }},
         {}, 0,
         {{"/torrents", R"({"total_length":15000,"pieces":{"min":2,"median":4,"max":13},"piece_lengths_distinct":2,)"
                        R"("piece_lengths":[{"piece_length":400,"records":3},{"piece_length":1000,"records":2}]})"}}},
        {"nothing in the range", {0, 3, {}}, {"--from", "10"}, 0,
         {{"/heights", R"({"from":null,"to":null,"blocks":0,"torrents":0,"missing":0,"gaps":0})"},
          {"/time", R"({"first":null,"last":null,"span_seconds":null,"interval_seconds":{"count":0,"mean":null,)"
                    R"("median":null,"p10":null,"p90":null,"p99":null,"min":null,"max":null,"zero_or_negative":0}})"},
          {"/miners", R"({"distinct":0,"top":[],"by_network":{}})"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir store;
        write_store(store.path(), c.shape);
        auto arguments = c.arguments;
        arguments.insert(arguments.begin(), {"stats", "--json"});
        const auto result = run_on(store, arguments);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(result.err, "");
        const Json stats = Json::parse(result.out);
        for (const auto& [pointer, value] : c.expected) {
            EXPECT_EQ(stats.at(Json::json_pointer(pointer)).dump(), value) << pointer;
        }
        // The text form holds the same values, one aligned column of them.
        arguments.erase(arguments.begin() + 1);
        const auto text = run_on(store, arguments);
        EXPECT_EQ(text.status, c.status);
        std::size_t value_column = 0;
        for (const auto& line : lines_of(text.out)) {
            if (!line.starts_with("  ")) continue;
            const std::size_t column = line.find_first_not_of(' ', line.find("  ", 2));
            if (value_column == 0) value_column = column;
            EXPECT_EQ(column, value_column) << line;
        }
    }
}

TEST(ChainscanStats, TextNamesUnitsAndOnlyTheProblemsFound) {
    TempDir store;
    write_store(store.path(), {0, 4, {{2, Fault::TorrentInvalid}}});
    const auto text = run_on(store, {"stats"});
    EXPECT_EQ(text.status, 1);
    for (const char* line : {"heights\n", "  range                      0 - 3 (4 heights)\n",
                             "  span                       3 s (0d 00:00:03)\n",
                             "  interval min / max         1 / 1 s\n", "  total length               3000 bytes\n",
                             "  torrent_invalid            1\n"}) {
        EXPECT_NE(text.out.find(line), std::string::npos) << line << text.out;
    }
    EXPECT_EQ(text.out.find("chain_broken"), std::string::npos);
}

}  // namespace
}  // namespace quorvane::testing

// chainscan stats and report over generated stores whose pace, difficulty,
// miners and torrent sizes are set height by height.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/json.hpp"
#include "support/cli_harness.hpp"
#include "support/headless_browser.hpp"
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
        {"a pause of ten minutes", {0, 11, {}, {}, true,
                                    [](std::uint32_t h, HeightValues& v) { v.timestamp = 1700000000u + 60 * h + (h >= 5 ? 600 : 0); }},
         {}, 0,
         {{"/time/interval_seconds",
           R"({"count":10,"mean":120.0,"median":60,"p10":60,"p90":60,"p99":660,"min":60,"max":660,"zero_or_negative":0})"},
          {"/time/span_seconds", "1200"}}},
        {"a hundred and one intervals, one long", {0, 102, {}, {}, true,
                                                    [](std::uint32_t h, HeightValues& v) { v.timestamp = 1700000000u + h + (h == 101 ? 99 : 0); }},
         {}, 0,
         {{"/time/interval_seconds/p99", "1"}, {"/time/interval_seconds/max", "100"}}},
        {"a clock that stands still, then goes back", {0, 4, {}, {}, true, timestamps({0, 10, 10, 5})}, {}, 0,
         {{"/time/interval_seconds/median", "0"},
          {"/time/interval_seconds/mean", "1.667"},
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
          {"/difficulty/first", "1003"},
          // The one at the range's end is still open when the last height is taken.
          {"/problems", R"({"total":2,"by_code":{"block_missing":2}})"}}},
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

TEST(ChainscanStats, TextHoldsEveryValueAligned) {
    TempDir store;
    StoreShape shape{0, 5, {{2, Fault::TorrentInvalid}}};
    shape.values = [](std::uint32_t h, HeightValues& v) {
        static constexpr std::uint32_t TIMES[] = {0, 5, 7, 20, 21};
        v.timestamp = 1700000000u + TIMES[h];
        v.length = 400 * (h + 1);  // 1 to 5 pieces
        v.miner = h < 3 ? 1 : 2;
    };
    write_store(store.path(), shape);
    const auto text = run_on(store, {"stats"});
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.out,
              "heights\n"
              "  range                      0 - 4 (5 heights)\n"
              "  blocks                     5\n"
              "  torrent records            5\n"
              "  missing                    0 in 0 gaps\n"
              "time\n"
              "  first block                2023-11-14T22:13:20Z (1700000000)\n"
              "  last block                 2023-11-14T22:13:41Z (1700000021)\n"
              "  span                       21 s (0d 00:00:21)\n"
              "  intervals                  4\n"
              "  interval mean              5.250 s\n"
              "  interval median            2 s\n"
              "  interval p10 / p90 / p99   1 / 13 / 13 s\n"
              "  interval min / max         1 / 13 s\n"
              "  zero or negative           0\n"
              "difficulty\n"
              "  first / last               1000 / 1004\n"
              "  min / median / max         1000 / 1002 / 1004\n"
              "  changes                    4\n"
              "miners\n"
              "  distinct                   2\n"
              "  #1                         0102030405060708090a0b0c0d0e0f1011121314.vetq  3 (60.00%)\n"
              "  #2                         02030405060708090a0b0c0d0e0f101112131415.vetq  2 (40.00%)\n"
              "  network VETQ               5\n"
              "torrents\n"
              "  total length               4800 bytes\n"
              "  pieces min / median / max  1 / 2 / 5\n"
              "  piece lengths              1 distinct\n"
              "  piece length 400           4 records\n"
              "problems\n"
              "  total                      1\n"
              "  torrent_invalid            1\n");
}

// The part of a page between `<figure id="name"` and its end.
std::string figure_of(const std::string& dom, const std::string& name) {
    const auto start = dom.find("<figure id=\"" + name + "\"");
    if (start == std::string::npos) return {};
    return dom.substr(start, dom.find("</figure>", start) - start);
}

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

// The points of a chart's line: one per move or line command.
std::size_t line_points(const std::string& figure) {
    const auto start = figure.find("class=\"series\" d=\"");
    if (start == std::string::npos) return 0;
    const std::string d = figure.substr(start, figure.find("\"/>", start) - start);
    return count_of(d, "M") + count_of(d, "L");
}

TEST(ChainscanReport, RendersOfflineWithEveryChartAndTheProblemTable) {
    if (!browser_available()) GTEST_SKIP() << "chromium is not installed (scripts/install-deps installs it)";
    TempDir store;
    write_store(store.path(),
                {0, 12, {{5, Fault::BlockMissing}, {8, Fault::ChainBroken}, {10, Fault::TorrentMismatch}}});
    const auto report = run_on(store, {"report"});
    ASSERT_EQ(report.status, 1) << report.err;
    EXPECT_EQ(report.err, "");
    TempDir work;
    const BrowserView view = open_in_browser(report.out, work);
    EXPECT_EQ(view.requests, std::vector<std::string>{});
    EXPECT_EQ(view.console, std::vector<std::string>{});
    ASSERT_FALSE(view.dom.empty());

    struct Chart {
        std::string id;
        std::size_t line_points;  // of the line over height
        std::size_t breaks;       // moves: where the line starts again after a gap
        std::size_t rects;
    };
    const std::vector<Chart> charts = {
        {"difficulty", 11, 2, 0},  // every block but the missing one
        {"interval", 9, 2, 0},     // not at 5, nor at 6 whose block below is missing
        {"histogram", 0, 0, 1},    // every interval is one second
        {"miners", 0, 0, 11},      // ten miners and the others
        {"length", 12, 1, 0},      // every torrent record
        {"problem-heights", 0, 0, 3},
    };
    for (const auto& chart : charts) {
        SCOPED_TRACE(chart.id);
        const std::string figure = figure_of(view.dom, chart.id);
        ASSERT_FALSE(figure.empty());
        EXPECT_NE(figure.find("<figcaption>"), std::string::npos);
        EXPECT_NE(figure.find("class=\"label\""), std::string::npos);  // axis labels
        EXPECT_EQ(line_points(figure), chart.line_points);
        if (chart.line_points > 0) {
            EXPECT_EQ(count_of(figure.substr(figure.find("class=\"series\"")), "M"), chart.breaks);
        }
        EXPECT_EQ(count_of(figure, "<rect "), chart.rects);
    }
    EXPECT_NE(figure_of(view.dom, "interval").find("median 1 s"), std::string::npos);
    const std::string strip = figure_of(view.dom, "problem-heights");
    for (const char* mark : {"mark code-0", "mark code-4", "mark code-5"}) EXPECT_EQ(count_of(strip, mark), 1u) << mark;

    const auto problems = view.dom.substr(view.dom.find("<section id=\"problems\""));
    const auto body = problems.substr(0, problems.find("</tbody>"));
    EXPECT_EQ(count_of(body, "<tr>"), 4u);  // the head and three problems
    EXPECT_NE(body.find("<tr><td>5</td><td>block_missing</td><td class=\"message\"></td></tr>"), std::string::npos);
    EXPECT_NE(body.find("<tr><td>10</td><td>torrent_mismatch</td><td class=\"message\">timestamp (block 1700000010, "
                        "torrent 1700000011)</td></tr>"),
              std::string::npos);
    EXPECT_NE(view.dom.find("<a href=\"#problems\">3 problems</a>"), std::string::npos);
    EXPECT_NE(view.dom.find("<section id=\"stats\">"), std::string::npos);

    // Not blank: a page of the same size with nothing on it compresses to
    // a small fraction of this one.
    ASSERT_TRUE(view.screenshot.starts_with("\x89PNG")) << view.screenshot.size();
    TempDir blank_work;
    const BrowserView blank = open_in_browser("<!DOCTYPE html><html><body></body></html>", blank_work);
    EXPECT_GT(view.screenshot.size(), 10 * blank.screenshot.size());
}

// The whole page of a designed store, byte for byte: every fact of the
// header, every label, tick and bar of every chart, every problem. The
// store has every problem code, pauses and a clock that goes back (a
// negative interval, so a zero between negative and positive ticks), many
// miners and torrent records of many sizes. After a change meant to alter
// the page, VIEWERS_UPDATE_GOLDEN=1 writes the new page; look at it in a
// browser before committing it.
TEST(ChainscanReport, WholePageOfADesignedStore) {
    TempDir store;
    StoreShape shape{0, 300, {}};
    shape.values = lifelike_values;
    for (const auto& [height, fault] : std::vector<std::pair<std::uint32_t, Fault>>{
             {5, Fault::BlockMissing}, {80, Fault::ChainBroken}, {100, Fault::TorrentMismatch},
             {120, Fault::TorrentMissing}, {200, Fault::BlockInvalid}, {250, Fault::TorrentInvalid}}) {
        shape.faults.emplace(height, fault);
    }
    write_store(store.path(), shape);
    const auto report = run_on(store, {"report"});
    ASSERT_EQ(report.status, 1) << report.err;
    EXPECT_EQ(report.err, "");
    const std::string golden = std::string(GOLDEN_DIR) + "/report-lifelike-300.html";
    if (std::getenv("VIEWERS_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(golden, std::ios::binary) << report.out;
        GTEST_SKIP() << "wrote " << golden;
    }
    std::ifstream expected_file(golden, std::ios::binary);
    ASSERT_TRUE(expected_file) << golden;
    const std::string expected((std::istreambuf_iterator<char>(expected_file)), std::istreambuf_iterator<char>());
    if (report.out == expected) return;
    // The first line that differs, rather than two pages.
    const auto got = lines_of(report.out);
    const auto want = lines_of(expected);
    for (std::size_t i = 0; i < std::max(got.size(), want.size()); ++i) {
        const std::string a = i < got.size() ? got[i] : "(none)";
        const std::string b = i < want.size() ? want[i] : "(none)";
        if (a == b) continue;
        std::size_t at = 0;
        while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
        const std::size_t from = at > 80 ? at - 80 : 0;
        FAIL() << "line " << i + 1 << ", column " << at + 1 << ":\n  page:   …" << a.substr(from, 200)
               << "\n  golden: …" << b.substr(from, 200);
    }
}

TEST(ChainscanReport, BrowserHarnessSeesWhatAPageFetches) {
    if (!browser_available()) GTEST_SKIP() << "chromium is not installed (scripts/install-deps installs it)";
    // The checks above pass only if a leaking page would fail them.
    TempDir work;
    const BrowserView leaking = open_in_browser(
        "<!DOCTYPE html><html><head><link rel=\"stylesheet\" href=\"https://fonts.googleapis.com/css?family=Inter\">"
        "</head><body><img src=\"http://fonts.example/x.png\"><img src=\"y.png\"></body></html>",
        work);
    const auto fetched = [&](const std::string& line) {
        return std::find(leaking.requests.begin(), leaking.requests.end(), line) != leaking.requests.end();
    };
    EXPECT_TRUE(fetched("GET http://fonts.example/x.png HTTP/1.1"));
    EXPECT_TRUE(fetched("GET /y.png HTTP/1.1"));
    EXPECT_TRUE(fetched("CONNECT fonts.googleapis.com:443 HTTP/1.1"));
    TempDir blocked_work;
    const BrowserView blocked = open_in_browser(
        "<!DOCTYPE html><html><head><meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'\">"
        "</head><body><img src=\"http://fonts.example/x.png\"></body></html>",
        blocked_work);
    EXPECT_EQ(blocked.requests.size(), 0u);
    EXPECT_FALSE(blocked.console.empty());
}

TEST(ChainscanReport, EmptyRangeAndStatusesLikeVerify) {
    TempDir store;
    write_store(store.path(), {0, 3, {}});
    const auto clean = run_on(store, {"report"});
    EXPECT_EQ(clean.status, 0);
    EXPECT_NE(clean.out.find("no problems found"), std::string::npos);
    const auto empty = run_on(store, {"report", "--from", "7"});
    EXPECT_EQ(empty.status, 0);
    EXPECT_NE(empty.out.find("<h1>Chain report: no heights</h1>"), std::string::npos);
    EXPECT_EQ(empty.out.find("<svg"), std::string::npos);
    EXPECT_TRUE(empty.out.ends_with("</html>\n"));
}

}  // namespace
}  // namespace quorvane::testing

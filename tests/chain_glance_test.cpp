// The pieces of stats and report that need no store: exact quantiles, the
// reduction to pixel columns, and the bound on the page's size.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "scan/views/text_forms.hpp"
#include "scan/checks/chain_series.hpp"
#include "scan/checks/chain_stats.hpp"
#include "scan/views/progress_line.hpp"
#include "scan/report/report_charts.hpp"
#include "scan/report/report_html.hpp"
#include "scan/report/stats_format.hpp"
#include "scan/checks/value_counts.hpp"

namespace quorvane {
namespace {

TEST(ValueCounts, PercentilesAreNearestRankValues) {
    struct Case {
        std::vector<std::int64_t> values;
        unsigned percent;
        std::optional<std::int64_t> expected;
    };
    const std::vector<Case> cases = {
        {{}, 50, std::nullopt},
        {{7}, 1, 7},
        {{7}, 99, 7},
        {{1, 2}, 50, 1},  // the lower of two middles, never their mean
        {{1, 2, 3}, 50, 2},
        {{5, -5, 0}, 50, 0},
        {{1, 1, 1, 1, 1, 1, 1, 1, 1, 100}, 90, 1},
        {{1, 1, 1, 1, 1, 1, 1, 1, 1, 100}, 91, 100},
        {{1, 1, 1, 1, 1, 1, 1, 1, 1, 100}, 100, 100},
    };
    for (const auto& c : cases) {
        ValueCounts<std::int64_t> counts;
        for (const auto value : c.values) counts.add(value);
        EXPECT_EQ(counts.percentile(c.percent), c.expected) << c.percent << " of " << c.values.size();
    }
    // Many values, folded in several times, count as one map of them does:
    // some repeat across folds, some come in falling, so that each fold
    // meets values both below and above all of those counted before.
    ValueCounts<std::int64_t> many;
    std::map<std::int64_t, std::uint64_t> expected;
    for (std::int64_t i = 0; i < 30000; ++i) {
        const std::int64_t value = i % 7 == 0 ? 100000 - i : (i * 7919) % 97 - 40;
        many.add(value);
        ++expected[value];
    }
    EXPECT_EQ(many.total(), 30000u);
    using Counts = std::vector<std::pair<std::int64_t, std::uint64_t>>;
    EXPECT_EQ(many.counts(), Counts(expected.begin(), expected.end()));
    ValueCounts<std::string> miners;
    for (const char* miner : {"c", "b", "a", "b", "c", "d"}) miners.add(miner);
    const std::vector<std::pair<std::string, std::uint64_t>> top = {{"b", 2}, {"c", 2}, {"a", 1}};
    EXPECT_EQ(miners.most_common(3), top);
}

TEST(HeightColumns, EachHeightFallsInOneColumnAndEachColumnStartsWhereTheLastEnded) {
    struct Case {
        std::uint32_t from;
        std::uint32_t to;
        std::uint32_t columns;
    };
    const std::vector<Case> cases = {
        {5, 5, 1}, {0, 799, 800}, {0, 800, 800}, {10, 1609, 800}, {1000, 1010, 11}, {0, UINT32_MAX, 800},
        {UINT32_MAX - 1000, UINT32_MAX, 800},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + "-" + std::to_string(c.to));
        const HeightColumns columns(c.from, c.to, PLOT_COLUMNS);
        ASSERT_EQ(columns.count, c.columns);
        EXPECT_EQ(columns.of(c.from), 0u);
        EXPECT_EQ(columns.of(c.to), c.columns - 1);
        EXPECT_EQ(columns.first_height(0), c.from);
        for (std::uint32_t column = 1; column < columns.count; ++column) {
            const std::uint32_t first = columns.first_height(column);
            ASSERT_EQ(columns.of(first), column);
            ASSERT_EQ(columns.of(first - 1), column - 1);
        }
    }
}

TEST(ChainStats, Texts) {
    EXPECT_EQ(html_escaped("<a title=\"x\">&</a>"), "&lt;a title=&quot;x&quot;&gt;&amp;&lt;/a&gt;");
    EXPECT_EQ(utc_text(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(utc_text(UINT32_MAX), "2106-02-07T06:28:15Z");
    EXPECT_EQ(duration_text(0), "0d 00:00:00");
    EXPECT_EQ(duration_text(-90061), "-1d 01:01:01");
    EXPECT_EQ(duration_text(std::int64_t{UINT32_MAX}), "49710d 06:28:15");
}

// The most a store can put into a page: every pixel column spanning the
// widest values, a mark of every kind in every other column, a thousand of
// the longest problems listed and many more counted.
TEST(ReportHtml, StaysUnderTwoMegabytesAndAFewThousandPointsPerChart) {
    ChainStats stats(0, UINT32_MAX);
    stats.first_timestamp = 0;
    stats.last_timestamp = UINT32_MAX;
    for (std::int64_t i = 0; i < 200000; ++i) stats.intervals.add(i * 21474 - 2147483647);
    for (std::uint64_t i = 0; i < 5000; ++i) {
        stats.difficulties.add(UINT64_MAX - i);
        stats.miners.add(std::string(40, static_cast<char>('a' + i % 26)) + std::to_string(i) + ".vetq");
        stats.piece_lengths.add(i);
        stats.pieces.add(i % 256);
    }
    ChainSeries series(0, UINT32_MAX, PLOT_COLUMNS);
    for (std::uint32_t column = 0; column < series.columns.count; ++column) {
        series.difficulty[column].add(0);
        series.difficulty[column].add(UINT64_MAX);
        series.interval[column].add(-std::int64_t{UINT32_MAX});
        series.interval[column].add(std::int64_t{UINT32_MAX});
        series.length[column].add(column);
        series.length[column].add(UINT64_MAX);
    }
    Problem mismatch = Problem::torrent_mismatch(0, {});
    for (int i = 0; i < 9; ++i) {
        mismatch.fields.push_back({"previous_hash", Json(std::string(64, 'a')), Json(std::string(64, '<'))});
    }
    VerifySummary problems;
    problems.from = 0;
    problems.to = UINT32_MAX;
    for (std::uint32_t i = 0; i < PLOT_COLUMNS; i += 2) {
        mismatch.first = mismatch.last = series.columns.first_height(i);
        for (unsigned code = 0; code < PROBLEM_CODE_COUNT; ++code) {
            mismatch.code = static_cast<ProblemCode>(code);
            series.add(mismatch);
            ++problems.problems;
            ++problems.by_code[code];
        }
    }
    const std::string html = report_html(stats, problems, series);
    EXPECT_LT(html.size(), 2u * 1024 * 1024);
    EXPECT_EQ(series.listed_problems.size(), LISTED_PROBLEMS);
    EXPECT_NE(html.find(grouped(problems.problems - LISTED_PROBLEMS) + " more problems"), std::string::npos);
    // One problem past the list is still mentioned.
    ChainSeries few(0, 5000, PLOT_COLUMNS);
    VerifySummary counted;
    counted.from = 0;
    counted.to = 5000;
    for (std::uint32_t h = 0; h <= LISTED_PROBLEMS; ++h) {
        few.add(Problem::chain_broken(h + 1, {}, {}));
        ++counted.problems;
    }
    EXPECT_NE(report_html(stats, counted, few).find(">1 more problem is not listed here (1,001 in all)"),
              std::string::npos);
    // Texts from the store cannot open tags.
    EXPECT_EQ(html.find("<<"), std::string::npos);
    for (std::size_t at = html.find("class=\"series\" d=\""); at != std::string::npos;
         at = html.find("class=\"series\" d=\"", at + 1)) {
        const std::string d = html.substr(at, html.find('"', at + 18) - at);
        EXPECT_LE(std::count(d.begin(), d.end(), 'L') + std::count(d.begin(), d.end(), 'M'), 2 * PLOT_COLUMNS);
    }
}

}  // namespace
}  // namespace quorvane

namespace quorvane {
namespace {

// What the stats forms and the report list, where the CLI stores are too
// small to tell: the ten most common of twelve miners, problem codes joined
// by ", ", and the histogram's note on intervals beyond the bars only when
// there are some.
TEST(StatsForms, ListTheTopMinersJoinTheCodesAndNoteOnlyWhatLiesBeyond) {
    struct Case {
        std::string label;
        std::vector<std::int64_t> intervals;
        std::size_t miners;
        std::vector<std::pair<ProblemCode, std::uint64_t>> problems;
        std::size_t listed_miners;
        std::string codes;  // the report header's text after "problems</a>: "
        bool beyond;        // the histogram says some intervals lie beyond its bars
    };
    const std::vector<Case> cases = {
        {"twelve miners, two codes", {60, 60, 60}, 12, {{ProblemCode::BlockMissing, 1}, {ProblemCode::ChainBroken, 2}},
         10, "block_missing 1, chain_broken 2<", false},
        {"three miners, one code", {}, 3, {{ProblemCode::TorrentMismatch, 3}}, 3, "torrent_mismatch 3<", false},
        {"intervals past both ends", {}, 1, {}, 1, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ChainStats stats(0, 999);
        std::vector<std::int64_t> intervals = c.intervals;
        if (c.beyond) {
            for (std::int64_t i = -50; i <= 250; ++i) intervals.push_back(i);
        }
        for (const std::int64_t interval : intervals) stats.intervals.add(interval);
        for (std::size_t m = 0; m < c.miners; ++m) {
            for (std::size_t times = 0; times <= m; ++times) stats.miners.add("miner" + std::to_string(m));
        }
        VerifySummary summary;
        summary.from = 0;
        summary.to = 999;
        for (const auto& [code, count] : c.problems) {
            summary.by_code[static_cast<std::size_t>(code)] = count;
            summary.problems += count;
        }
        const auto rows = stats_rows(stats, summary);
        const auto miner_rows = std::count_if(rows.begin(), rows.end(), [](const StatsRow& row) {
            return row.section == "miners" && row.label.starts_with("#");
        });
        EXPECT_EQ(static_cast<std::size_t>(miner_rows), c.listed_miners);
        EXPECT_EQ(Json::parse(stats_json(stats, summary))["miners"]["top"].size(), c.listed_miners);
        // The most common first: the last miner added has most blocks.
        const auto top = std::find_if(rows.begin(), rows.end(), [](const StatsRow& row) { return row.label == "#1"; });
        ASSERT_NE(top, rows.end());
        EXPECT_TRUE(top->value.starts_with("miner" + std::to_string(c.miners - 1) + " ")) << top->value;

        const std::string page = report_html(stats, summary, ChainSeries(0, 999, PLOT_COLUMNS));
        const auto links = page.find("problems</a>: ");
        EXPECT_EQ(links == std::string::npos ? "" : page.substr(links + 14, c.codes.size()), c.codes);
        const std::string histogram = interval_histogram(stats);
        EXPECT_EQ(histogram.find("beyond") != std::string::npos, c.beyond) << histogram.substr(histogram.size() - 300);
    }
}

}  // namespace
}  // namespace quorvane

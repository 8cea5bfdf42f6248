// What the sinks write for the heights they are handed, in-process: the SQL
// stream's batches and removals, verify's forms, a failed write.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "scan/commands/height_sink.hpp"
#include "scan/views/sql_stream.hpp"
#include "support/scan_builders.hpp"

namespace quorvane {
namespace {

using testing::scan_at;

// Standard output and error kept in memory; "~" marks where the progress
// line was ended. Every write from the `fail_from`-th on fails.
class CapturedOutput final : public SinkOutput {
public:
    std::string out;
    std::string err;
    std::size_t fail_from = SIZE_MAX;
    std::size_t writes = 0;

    Written write(Stream stream, std::string_view text) override {
        if (++writes >= fail_from) return std::unexpected(WriteFailure{stream, IoError::from_os(28)});
        (stream == Stream::Stdout ? out : err) += text;
        return {};
    }
    void end_progress() override { out += "~"; }
};

// A window of scans as a scan hands them on, each with what the sink's
// worker step makes of it.
struct Window {
    std::vector<HeightScan> heights;
    std::vector<std::string> made;

    Window(const HeightSink& sink, std::vector<HeightScan> scans) : heights(std::move(scans)) {
        ScanPlan plan;
        sink.configure(plan);
        for (HeightScan& scan : heights) made.push_back(plan.in_worker ? plan.in_worker(scan) : std::string());
    }
    ScannedWindow view() { return {heights, made}; }
};

std::vector<HeightScan> heights(std::uint32_t first, std::uint32_t last, const std::vector<std::uint32_t>& left_out = {},
                                const std::vector<std::uint32_t>& unreadable = {}) {
    std::vector<HeightScan> scans;
    for (std::uint32_t h = first; h <= last; ++h) {
        if (std::find(left_out.begin(), left_out.end(), h) != left_out.end()) continue;
        HeightScan scan = scan_at(h);
        if (std::find(unreadable.begin(), unreadable.end(), h) != unreadable.end()) {
            scan.block = std::unexpected(RecordFailure{RecordKind::Block, RecordFailure::Step::Read, "gone " + std::to_string(h)});
        }
        scans.push_back(std::move(scan));
    }
    return scans;
}

// SQLite's stream told as "open", then "[-3..3 +0..2,4..9]" for each batch:
// the heights whose rows it removes, then the heights it writes rows for
// ("5*3": three rows of height 5); the other tables' after the table t's,
// each after its name ("[+0..9 t_torrents: +0..9]").
std::string runs_of(const std::vector<std::uint32_t>& rows) {
    std::string runs;
    const auto repeats = [&](std::size_t i) { return i + 1 < rows.size() && rows[i + 1] == rows[i]; };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (repeats(i)) {
            std::size_t same = 1;
            while (repeats(i)) ++i, ++same;
            runs.append(runs.empty() ? "+" : ",").append(std::to_string(rows[i])).append("*").append(std::to_string(same));
            continue;
        }
        const bool starts = i == 0 || rows[i - 1] + 1 != rows[i] || (i > 1 && rows[i - 2] == rows[i - 1]);
        const bool ends = i + 1 == rows.size() || rows[i] + 1 != rows[i + 1] || repeats(i + 1);
        if (starts) runs.append(runs.empty() ? "+" : ",").append(std::to_string(rows[i]));
        if (ends && !starts) runs.append("..").append(std::to_string(rows[i]));
    }
    return runs;
}

std::string batches_of(const std::string& sql) {
    struct Told {
        std::string name;
        std::string removed;
        std::vector<std::uint32_t> rows;
    };
    std::istringstream lines(sql);
    std::string told;
    std::vector<Told> tables;  // in the order the batch names them
    Told* table = nullptr;
    const auto named = [&](const std::string& name) -> Told& {
        for (Told& t : tables) {
            if (t.name == name) return t;
        }
        return tables.emplace_back(Told{name, {}, {}});
    };
    for (std::string line; std::getline(lines, line);) {
        std::uint32_t from = 0;
        std::uint32_t to = 0;
        char name[64] = {};
        if (line.starts_with("CREATE TABLE IF NOT EXISTS t ")) told += "open";
        if (line == "BEGIN;") told += " [";
        if (std::sscanf(line.c_str(), "DELETE FROM %63[a-z_] WHERE height BETWEEN %u AND %u;", name, &from, &to) == 3) {
            named(name).removed.append(" -").append(std::to_string(from)).append("..").append(std::to_string(to));
        }
        if (std::sscanf(line.c_str(), "INSERT OR REPLACE INTO %63[a-z_] VALUES", name) == 1 ||
            std::sscanf(line.c_str(), "INSERT INTO %63[a-z_] VALUES", name) == 1) {
            table = &named(name);
        }
        if (line.starts_with("(")) table->rows.push_back(static_cast<std::uint32_t>(std::stoul(line.substr(1))));
        if (line == "COMMIT;") {
            std::string batch;
            for (const Told& t : tables) {
                std::string said = t.removed;
                if (!t.rows.empty()) said.append(" ").append(runs_of(t.rows));
                if (said.empty()) continue;
                if (t.name != "t") batch.append(" ").append(t.name).append(":");
                batch += said;
            }
            told += batch.empty() ? "" : batch.substr(1);
            told += "]";
            tables.clear();
        }
    }
    return told;
}

HeightScan with_pieces(HeightScan scan, std::uint8_t count) {
    for (std::uint8_t index = 1; index <= count; ++index) {
        (*scan.torrent)->info.pieces.push_back({index, std::string(32, static_cast<char>('a' + index))});
    }
    return scan;
}

HeightScan unreadable_torrent(HeightScan scan) {
    scan.torrent = std::unexpected(RecordFailure{RecordKind::Torrent, RecordFailure::Step::Read, "gone"});
    return scan;
}

// The SQL stream's batches: a one-shot run writes one when enough rows
// wait and the rest at its end; a followed one writes each covered stretch
// at once; a height read again is a batch of its own.
TEST(SqlSink, BatchesRemoveWhatTheStoreDoesNotHold) {
    struct Case {
        const char* label;
        std::function<std::optional<int>(FollowSink&, CapturedOutput&)> steps;  // the finish's status
        std::string batches;
        std::string errors = {};
        TorrentTables torrents = TorrentTables::Left;
    };
    const auto take = [](FollowSink& sink, std::vector<HeightScan> scans) {
        Window window(sink, std::move(scans));
        EXPECT_TRUE(sink.take(window.view()));
    };
    const auto again = [](FollowSink& sink, HeightScan scan) { EXPECT_TRUE(sink.take_again({std::move(scan), {}, {}})); };
    const std::vector<Case> cases = {
        {"every block", [&](FollowSink& s, CapturedOutput&) { take(s, heights(0, 9)); return *s.finish(9); }, "open [+0..9]"},
        {"a block file missing and one unreadable",
         [&](FollowSink& s, CapturedOutput&) { take(s, heights(0, 9, {3}, {5})); return *s.finish(9); },
         "open [-3..3 -5..5 +0..2,4,6..9]", "5: Error: gone 5\n"},
        {"heights past the last block", [&](FollowSink& s, CapturedOutput&) { take(s, heights(0, 9)); return *s.finish(12); },
         "open [-10..12 +0..9]"},
        {"nothing to take", [&](FollowSink& s, CapturedOutput&) { return *s.finish(std::nullopt); }, "open"},
        {"ten thousand rows make a batch before the end",
         [&](FollowSink& s, CapturedOutput& out) {
             take(s, heights(0, 9'998));
             EXPECT_EQ(batches_of(out.out), "open");
             take(s, heights(9'999, 9'999));
             EXPECT_EQ(batches_of(out.out), "open [+0..9999]");
             take(s, heights(10'000, 10'003, {10'002}));
             return *s.finish(10'003);
         },
         "open [+0..9999] [-10002..10002 +10000..10001,10003]"},
        {"following: what is covered goes out once streaming",
         [&](FollowSink& s, CapturedOutput&) {
             take(s, heights(0, 4));
             EXPECT_TRUE(s.covered(4));
             EXPECT_TRUE(s.stream());
             take(s, heights(5, 6));
             EXPECT_TRUE(s.covered(8));
             HeightScan gone = heights(3, 3, {}, {3})[0];
             again(s, std::move(gone));
             again(s, scan_at(7));
             HeightScan missing = scan_at(8, false);
             again(s, std::move(missing));
             return *s.finish(8);
         },
         "open [+0..4] [-7..8 +5..6] [-3..3] [+7] [-8..8]", "3: Error: gone 3\n"},
        {"torrent records beside the blocks: missing, unreadable, without a block, with many pieces or none",
         [&](FollowSink& s, CapturedOutput&) {
             std::vector<HeightScan> scans = {with_pieces(scan_at(0), 2), with_pieces(scan_at(1, false), 1),
                                              scan_at(2, true, false), unreadable_torrent(scan_at(3)), scan_at(4)};
             take(s, std::move(scans));
             return *s.finish(5);
         },
         "open [-1..1 -5..5 +0,2..4 t_torrents: -2..3 -5..5 +0..1,4 t_torrent_pieces: -0..5 +0*2,1]",
         "3: Error: gone\n", TorrentTables::Included},
        {"following torrent records: late, rewritten with fewer pieces, then unreadable",
         [&](FollowSink& s, CapturedOutput&) {
             take(s, {with_pieces(scan_at(0), 1), scan_at(1, true, false)});
             EXPECT_TRUE(s.covered(1));
             EXPECT_TRUE(s.stream());
             again(s, with_pieces(scan_at(1), 3));
             again(s, with_pieces(scan_at(1), 1));
             again(s, unreadable_torrent(scan_at(1)));
             return *s.finish(1);
         },
         "open [+0..1 t_torrents: -1..1 +0 t_torrent_pieces: -0..1 +0] [+1 t_torrents: +1 t_torrent_pieces: -1..1 +1*3]"
         " [+1 t_torrents: +1 t_torrent_pieces: -1..1 +1] [+1 t_torrents: -1..1 t_torrent_pieces: -1..1]",
         "1: Error: gone\n", TorrentTables::Included},
    };
    for (const Case& c : cases) {
        CapturedOutput output;
        const auto sink = sql_sink(SqlEngine::Sqlite, "t", c.torrents, output, 0);
        ASSERT_TRUE(sink->begin());
        const auto status = c.steps(*sink, output);
        EXPECT_EQ(batches_of(output.out), c.batches) << c.label;
        EXPECT_EQ(output.err, c.errors) << c.label;
        EXPECT_EQ(status, c.errors.empty() ? 0 : 1) << c.label;
    }
}

// verify's forms over heights 0-5 with a broken link at 3, once and
// followed; metrics leave the problem lines out; the progress line ends
// before the summary.
TEST(VerifySink, EachFormWritesItsLinesThenItsSummary) {
    const std::string summary_text =
        "checked heights 0-5: 6 blocks, 6 torrent records, 1 problem (chain_broken 1); verified through 2\n";
    const std::string broken_text = "3: chain_broken: previous_hash " + testing::HASH_B + " is not the hash of block 2 (" +
                                    std::string(63, '0') + "2)\n";
    struct Case {
        VerifyForm form;
        VerifyRun run;
        bool rewrite;  // height 3 is broken by a rewrite after streaming begins, not when first taken
        std::string out;
    };
    const std::vector<Case> cases = {
        {VerifyForm::Text, VerifyRun::Once, false, broken_text + "~" + summary_text},
        {VerifyForm::Text, VerifyRun::Followed, true, broken_text + "~" + summary_text},
        {VerifyForm::JsonLines, VerifyRun::Once, false,
         R"({"type":"problem","code":"chain_broken","height":3,"expected":")" + std::string(63, '0') + R"(2","found":")" +
             testing::HASH_B + "\"}\n~" +
             R"({"type":"summary","from":0,"to":5,"blocks":6,"torrents":6,"problems":1,"by_code":{"chain_broken":1},)"
             R"("verified_through":2,"first_bad_height":3})" "\n"},
    };
    for (const Case& c : cases) {
        CapturedOutput output;
        const auto sink = verify_sink(c.form, c.run, output, {0, 5});
        std::vector<HeightScan> scans = heights(0, 5);
        if (!c.rewrite) scans[3] = scan_at(3, true, true, true);
        Window window(*sink, std::move(scans));
        ASSERT_TRUE(sink->take(window.view()));
        if (c.rewrite) {
            ASSERT_TRUE(sink->stream());
            ASSERT_TRUE(sink->take_again({scan_at(3, true, true, true), scan_at(2), scan_at(4)}));
        }
        EXPECT_EQ(sink->finish(5), 1);
        EXPECT_EQ(output.out, c.out);
    }
    CapturedOutput metrics;
    const auto prometheus = verify_sink(VerifyForm::Prometheus, VerifyRun::Once, metrics, {0, 5});
    std::vector<HeightScan> scans = heights(0, 5);
    scans[3] = scan_at(3, true, true, true);
    Window window(*prometheus, std::move(scans));
    ASSERT_TRUE(prometheus->take(window.view()));
    EXPECT_EQ(prometheus->finish(5), 1);
    EXPECT_TRUE(metrics.out.starts_with("~# HELP chainscan_verify_")) << metrics.out;
    EXPECT_NE(metrics.out.find("chainscan_verify_problems{code=\"chain_broken\"} 1\n"), std::string::npos) << metrics.out;
    // A range that held nothing: the summary alone, and success.
    CapturedOutput empty;
    EXPECT_EQ(verify_sink(VerifyForm::Text, VerifyRun::Once, empty, {0, 0})->finish(std::nullopt), 0);
    EXPECT_EQ(empty.out, "checked no heights: 0 blocks, 0 torrent records, no problems found\n");
}

// The first write that fails is returned, and nothing is written after it.
TEST(Sinks, AFailedWriteIsReturnedAndEndsTheOutput) {
    struct Case {
        const char* label;
        std::function<std::unique_ptr<FollowSink>(SinkOutput&)> make;
        std::size_t fail_from;
        Stream stream;
    };
    const std::vector<Case> cases = {
        {"dump's line", [](SinkOutput& o) { return dump_sink({DumpFormat::JsonLines, false, false}, o, 0); }, 1, Stream::Stdout},
        {"dump's error", [](SinkOutput& o) { return dump_sink({DumpFormat::JsonLines, false, false}, o, 0); }, 2, Stream::Stderr},
        {"a problem line", [](SinkOutput& o) { return verify_sink(VerifyForm::Text, VerifyRun::Once, o, {0, 5}); }, 1,
         Stream::Stdout},
        {"the SQL stream's opening", [](SinkOutput& o) { return sql_sink(SqlEngine::Sqlite, "t", TorrentTables::Left, o, 0); }, 1, Stream::Stdout},
    };
    for (const Case& c : cases) {
        CapturedOutput output;
        output.fail_from = c.fail_from;
        const auto sink = c.make(output);
        Written written = sink->begin();
        if (written) {
            std::vector<HeightScan> scans = heights(0, 5, {}, {4});
            scans[3] = scan_at(3, true, true, true);
            Window window(*sink, std::move(scans));
            written = sink->take(window.view());
        }
        ASSERT_FALSE(written) << c.label;
        EXPECT_EQ(written.error().stream, c.stream) << c.label;
        EXPECT_EQ(output.writes, c.fail_from) << c.label;
    }
}

}  // namespace
}  // namespace quorvane

// chainscan on generated stores: what verify finds and where, what dump
// prints against the one-block tools, ranges, threads and exit statuses.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/json.hpp"
#include "scan/store/record_ring.hpp"
#include "support/cli_harness.hpp"
#include "support/record_builders.hpp"
#include "support/store_builder.hpp"

namespace quorvane::testing {
namespace {

const std::string CHAINSCAN = CHAINSCAN_BINARY;
const std::string CRESTVIEW = CRESTVIEW_BINARY;
const std::string SWARMVIEW = SWARMVIEW_BINARY;

struct Store {
    TempDir dir;
    explicit Store(const StoreShape& shape) { write_store(dir.path(), shape); }
    std::string settings() const { return dir / "settings.ini"; }
    RunResult run(std::vector<std::string> arguments, RunOptions options = {}) const {
        arguments.push_back("--config");
        arguments.push_back(settings());
        return run_program(CHAINSCAN, arguments, options);
    }
};

// "code@height" (or "code@from-to") for each problem line of a --json run.
std::vector<std::string> problems_of(const std::string& json_lines) {
    std::vector<std::string> found;
    for (const auto& line : lines_of(json_lines)) {
        const Json value = Json::parse(line);
        if (value["type"] != "problem") continue;
        std::string where = value.contains("height") ? value["height"].dump()
                                                     : value["from"].dump() + "-" + value["to"].dump();
        found.push_back(value["code"].get<std::string>() + "@" + where);
    }
    return found;
}

Json summary_of(const std::string& json_lines) { return Json::parse(lines_of(json_lines).back()); }

// Standard error less the line a run asked to read through io_uring gives
// where this machine has none (a container's seccomp profile, an old kernel).
std::string without_ring_refusal(const std::string& err) {
    static const bool ring_here = RecordRing::open().has_value();
    const std::string refusal = "Warning: io_uring cannot be used (";
    if (ring_here || !err.starts_with(refusal)) return err;
    return err.substr(err.find('\n') + 1);
}

TEST(ChainscanVerify, FindsEachProblemAtItsHeightAndNothingElse) {
    struct Case {
        Fault fault;
        std::vector<std::string> problems;  // from a store of heights 0-11 with the fault at 6
        std::string text_line;              // the problem's text line, up to its values
    };
    const std::vector<Case> cases = {
        {Fault::BlockMissing, {"block_missing@6-6"}, "6: block_missing"},
        {Fault::TorrentMissing, {"torrent_missing@6-6"}, "6: torrent_missing"},
        {Fault::BlockInvalid, {"block_invalid@6"},
         R"(6: block_invalid: Error parsing block: Custom { kind: Other, error: "Invalid short miner address" })"},
        {Fault::TorrentInvalid, {"torrent_invalid@6"},
         "6: torrent_invalid: Failed to parse torrent: Invalid Torrent Byte Count"},
        {Fault::ChainBroken, {"chain_broken@6"}, "6: chain_broken: previous_hash "},
        {Fault::TorrentMismatch, {"torrent_mismatch@6"},
         "6: torrent_mismatch: timestamp (block 1700000006, torrent 1700000007)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text_line);
        const Store store({0, 12, {{6, c.fault}}});
        const auto json = store.run({"verify", "--json"});
        EXPECT_EQ(json.status, 1);
        EXPECT_EQ(json.err, "");
        EXPECT_EQ(problems_of(json.out), c.problems);
        const Json summary = summary_of(json.out);
        EXPECT_EQ(summary["problems"], 1);
        EXPECT_EQ(summary["verified_through"], 5);
        EXPECT_EQ(summary["first_bad_height"], 6);

        const auto text = store.run({"verify"});
        EXPECT_EQ(text.status, 1);
        const auto lines = lines_of(text.out);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_TRUE(lines[0].starts_with(c.text_line)) << lines[0];
        EXPECT_TRUE(lines[1].ends_with("1 problem (" + c.problems[0].substr(0, c.problems[0].find('@')) +
                                       " 1); verified through 5"))
            << lines[1];
    }
}

TEST(ChainscanVerify, ChainBreakNamesBothHashes) {
    const Store store({0, 4, {{2, Fault::ChainBroken}}});
    const auto dump = store.run({"dump", "--no-proof"});
    const std::string hash_of_1 = Json::parse(lines_of(dump.out)[1])["hash_value"];
    const std::string previous_of_2 = Json::parse(lines_of(dump.out)[2])["vrf_block"]["unmined_block"]["previous_hash"];
    const auto text = store.run({"verify"});
    EXPECT_EQ(lines_of(text.out)[0],
              "2: chain_broken: previous_hash " + previous_of_2 + " is not the hash of block 1 (" + hash_of_1 + ")");
    const Json problem = Json::parse(lines_of(store.run({"verify", "--json"}).out)[0]);
    EXPECT_EQ(problem["expected"], hash_of_1);
    EXPECT_EQ(problem["found"], previous_of_2);
}

TEST(ChainscanVerify, MergesRangesAndOrdersByFirstHeightThenCode) {
    struct Case {
        std::string name;
        std::multimap<std::uint32_t, Fault> faults;
        std::vector<std::string> arguments;
        std::vector<std::string> problems;
    };
    const std::vector<Case> cases = {
        {"a run of missing blocks is one problem",
         {{3, Fault::BlockMissing}, {4, Fault::BlockMissing}, {5, Fault::BlockMissing}},
         {},
         {"block_missing@3-5"}},
        {"a range opened earlier comes first",
         {{3, Fault::BlockMissing}, {4, Fault::TorrentMissing}, {5, Fault::BlockMissing}},
         {},
         {"block_missing@3-3", "torrent_missing@4-4", "block_missing@5-5"}},
        {"problems inside a range wait for it",
         {{3, Fault::TorrentMissing}, {4, Fault::TorrentMissing},
          {5, Fault::TorrentMissing}, {6, Fault::TorrentMismatch}, {7, Fault::BlockInvalid}},
         {},
         {"torrent_missing@3-5", "torrent_mismatch@6", "block_invalid@7"}},
        {"a problem inside an open range of missing torrents waits for it",
         {{3, Fault::TorrentMissing}, {4, Fault::TorrentMissing}, {4, Fault::BlockInvalid}, {5, Fault::TorrentMissing}},
         {},
         {"torrent_missing@3-5", "block_invalid@4"}},
        {"a problem inside an open range of missing blocks waits for it",
         {{3, Fault::BlockMissing}, {4, Fault::BlockMissing}, {4, Fault::TorrentInvalid}, {5, Fault::BlockMissing}},
         {},
         {"block_missing@3-5", "torrent_invalid@4"}},
        {"a block that does not decode breaks no chain",
         {{4, Fault::BlockInvalid}},
         {},
         {"block_invalid@4"}},
        {"--from cuts a range",
         {{3, Fault::BlockMissing}, {4, Fault::BlockMissing}, {5, Fault::BlockMissing}},
         {"--from", "4"},
         {"block_missing@4-5"}},
        {"--to cuts a range",
         {{3, Fault::BlockMissing}, {4, Fault::BlockMissing}, {5, Fault::BlockMissing}},
         {"--to", "4"},
         {"block_missing@3-4"}},
        {"heights past the store are missing records, merged",
         {},
         {"--from", "8", "--to", "1000000"},
         {"block_missing@10-1000000", "torrent_missing@10-1000000"}},
        {"the chain is checked only within the range",
         {{5, Fault::ChainBroken}},
         {"--from", "5"},
         {}},
        {"the lowest height is checked against nothing below",
         {{0, Fault::ChainBroken}},
         {},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Store store({0, 10, c.faults});
        std::vector<std::string> arguments = {"verify", "--json"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const auto result = store.run(arguments);
        EXPECT_EQ(problems_of(result.out), c.problems);
        EXPECT_EQ(result.status, c.problems.empty() ? 0 : 1);
    }
}

TEST(ChainscanVerify, SummariesAndDefaultRanges) {
    struct Case {
        std::string name;
        std::uint32_t first;
        std::uint32_t count;
        std::optional<std::pair<std::uint32_t, Fault>> fault;
        std::vector<std::string> arguments;
        int status;
        std::string last_line;
    };
    const std::vector<Case> cases = {
        {"clean store", 5, 5, {}, {}, 0, "checked heights 5-9: 5 blocks, 5 torrent records, no problems found"},
        {"--from inside", 5, 5, {}, {"--from", "7"}, 0,
         "checked heights 7-9: 3 blocks, 3 torrent records, no problems found"},
        {"default --from above the given --to checks nothing", 5, 5, {}, {"--to", "3"}, 0,
         "checked no heights: 0 blocks, 0 torrent records, no problems found"},
        {"given --from above the default --to checks nothing", 5, 5, {}, {"--from", "+0012"}, 0,
         "checked no heights: 0 blocks, 0 torrent records, no problems found"},
        {"empty store", 0, 0, {}, {}, 0, "checked no heights: 0 blocks, 0 torrent records, no problems found"},
        {"empty store, one end given", 0, 0, {}, {"--from", "3"}, 0,
         "checked no heights: 0 blocks, 0 torrent records, no problems found"},
        {"a problem at the first height", 5, 5, std::pair{5u, Fault::TorrentMismatch}, {}, 1,
         "checked heights 5-9: 5 blocks, 5 torrent records, 1 problem (torrent_mismatch 1); no height verified"},
        {"the range is the union of both directories", 5, 5, std::pair{9u, Fault::BlockMissing}, {}, 1,
         "checked heights 5-9: 4 blocks, 5 torrent records, 1 problem (block_missing 1); verified through 8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StoreShape shape{c.first, c.count, {}};
        if (c.fault) shape.faults.insert(*c.fault);
        const Store store(shape);
        std::vector<std::string> arguments = {"verify"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const auto result = store.run(arguments);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(lines_of(result.out).back(), c.last_line);
        EXPECT_EQ(result.err, "");
    }
}

TEST(ChainscanVerify, JsonSummaryCountsByCodeInTableOrder) {
    const Store store({0, 10, {{2, Fault::TorrentMismatch}, {3, Fault::BlockMissing}, {7, Fault::TorrentMismatch}}});
    const auto result = store.run({"verify", "--json"});
    EXPECT_EQ(lines_of(result.out).back(),
              R"({"type":"summary","from":0,"to":9,"blocks":9,"torrents":10,"problems":3,)"
              R"("by_code":{"block_missing":1,"torrent_mismatch":2},"verified_through":1,"first_bad_height":2})");
    const Json mismatch = Json::parse(lines_of(result.out)[0]);
    EXPECT_EQ(mismatch.dump(), R"({"type":"problem","code":"torrent_mismatch","height":2,"fields":)"
                               R"([{"field":"timestamp","block":1700000002,"torrent":1700000003}]})");
}

// Each dump line holds the values that crestview and swarmview print for its height.
TEST(ChainscanDump, LinesEqualWhatTheOneBlockToolsPrint) {
    const Store store({0, 4, {{2, Fault::TorrentMissing}}});
    const auto dump = store.run({"dump", "--torrents"});
    EXPECT_EQ(dump.status, 0);
    EXPECT_EQ(dump.err, "");
    const auto lines = lines_of(dump.out);
    ASSERT_EQ(lines.size(), 4u);
    for (std::uint32_t h = 0; h < 4; ++h) {
        SCOPED_TRACE(h);
        const Json line = Json::parse(lines[h]);
        const auto crestview = lines_of(run_program(CRESTVIEW, {std::to_string(h), "--config", store.settings()}).out);
        ASSERT_GE(crestview.size(), 3u);
        std::string document;
        for (std::size_t i = 2; i < crestview.size(); ++i) document += crestview[i] + "\n";
        const Json block = Json::parse(document);
        EXPECT_EQ(line["height"], h);
        EXPECT_EQ("difficulty: " + line["difficulty"].dump(), crestview[0]);
        EXPECT_EQ("hash_value: " + line["hash_value"].get<std::string>(), crestview[1]);
        EXPECT_EQ(line["vrf_block"], block["vrf_block"]);
        EXPECT_EQ(line["proof"], block["proof"]);
        const auto swarmview = run_program(SWARMVIEW, {std::to_string(h), "--config", store.settings()});
        if (h == 2) {
            EXPECT_TRUE(line["torrent"].is_null());
        } else {
            EXPECT_EQ(line["torrent"], Json::parse(swarmview.out));
        }
    }
    // Member order, as documented.
    EXPECT_TRUE(lines[0].starts_with(R"({"height":0,"difficulty":)"));
    EXPECT_NE(lines[0].find(R"(,"hash_value":")"), std::string::npos);
    EXPECT_NE(lines[0].find(R"(","vrf_block":{"unmined_block":{"timestamp":)"), std::string::npos);
    EXPECT_NE(lines[0].find(R"(,"proof":")"), std::string::npos);
    EXPECT_TRUE(lines[2].ends_with(R"(,"torrent":null})"));
}

TEST(ChainscanDump, FormatsAndFailures) {
    const Store store({0, 6,
                       {{1, Fault::BlockInvalid}, {2, Fault::TorrentInvalid}, {3, Fault::BlockMissing},
                        {5, Fault::TorrentInvalid}}});
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::size_t lines;
        std::string first_line_start;
        std::string err;
    };
    // Each line names the height whose record could not be read.
    const std::string bad_block =
        R"(1: Error: Error parsing block: Custom { kind: Other, error: "Invalid short miner address" })" "\n";
    const std::vector<Case> cases = {
        {{"dump"}, 1, 4, R"({"height":0,)", bad_block},
        {{"dump", "--no-proof", "--from", "4"}, 0, 2, R"({"height":4,)", ""},
        {{"dump", "--torrents", "--from", "2", "--to", "2"}, 1, 1, R"({"height":2,)",
         "2: Failed to parse torrent: Invalid Torrent Byte Count\n"},
        // A torrent record without its block (3) does not hide the later ones.
        {{"dump", "--torrents", "--no-proof"}, 1, 4, R"({"height":0,)",
         bad_block + "2: Failed to parse torrent: Invalid Torrent Byte Count\n"
                     "5: Failed to parse torrent: Invalid Torrent Byte Count\n"},
        {{"dump", "--format", "sql", "--for", "sqlite"}, 1, 21, ".timeout 60000\nCREATE TABLE IF NOT EXISTS blocks (",
         bad_block},
        {{"dump", "--format", "csv", "--to", "0"}, 0, 2,
         "height,hash_value,difficulty,timestamp,miner,previous_hash,next_block_difficulty,nonce,vrf", ""},
        {{"dump", "--format", "csv", "--from", "9"}, 0, 1, "height,hash_value", ""},
        // A table of torrent records: those beside a missing (3) and an unreadable (1) block too, whose failure is not its own.
        {{"dump", "--format", "csv", "--csv-table", "torrents"}, 1, 5,
         "height,length,this_block_difficulty,timestamp,nonce,vrf,block_hash,previous_hash,piece_length,info_hash,"
         "mined_by,piece_count\n0,1000,1000,",
         "2: Failed to parse torrent: Invalid Torrent Byte Count\n5: Failed to parse torrent: Invalid Torrent Byte Count\n"},
        {{"dump", "--format", "csv", "--csv-table", "torrent_pieces", "--from", "3", "--to", "3"}, 0, 4,
         "height,piece_index,hash\n3,1,101112131415161718191a1b1c1d1e1f\n3,2,", ""},
        {{"dump", "--format", "sql", "--for", "sqlite", "--torrents"}, 1, 62, ".timeout 60000\nCREATE TABLE IF NOT EXISTS blocks (",
         bad_block + "2: Failed to parse torrent: Invalid Torrent Byte Count\n"
                     "5: Failed to parse torrent: Invalid Torrent Byte Count\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        const auto result = store.run(c.arguments);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(lines_of(result.out).size(), c.lines);
        EXPECT_TRUE(result.out.starts_with(c.first_line_start)) << result.out.substr(0, 80);
        EXPECT_EQ(result.err, c.err);
        if (std::find(c.arguments.begin(), c.arguments.end(), "--no-proof") != c.arguments.end()) {
            EXPECT_EQ(result.out.find("proof"), std::string::npos);
        }
    }
    const auto csv = lines_of(store.run({"dump", "--format", "csv", "--to", "0"}).out);
    const auto json = Json::parse(lines_of(store.run({"dump", "--to", "0"}).out)[0]);
    const auto& header = json["vrf_block"]["unmined_block"];
    EXPECT_EQ(csv[1], "0," + json["hash_value"].get<std::string>() + "," + json["difficulty"].dump() + "," +
                          header["timestamp"].dump() + "," + header["miner"].get<std::string>() + "," +
                          header["previous_hash"].get<std::string>() + "," + header["next_block_difficulty"].dump() +
                          "," + header["nonce"].dump() + "," + json["vrf_block"]["vrf"].dump());
}

TEST(Chainscan, OutputIsTheSameForAnyNumberOfJobs) {
    // More heights than one window of work, with problems spread over them.
    StoreShape shape{0, 2600, {}};
    for (std::uint32_t h = 7; h < shape.count; h += 97) shape.faults.emplace(h, static_cast<Fault>(h % 6));
    const Store store(shape);
    for (const auto& command : std::vector<std::vector<std::string>>{
             {"verify"}, {"verify", "--json"}, {"dump", "--torrents", "--no-proof"}, {"dump", "--format", "csv"},
             {"dump", "--format", "csv", "--csv-table", "torrent_pieces"}, {"dump", "--format", "sql", "--for", "postgresql", "--torrents"},
             {"stats"}, {"stats", "--json"}, {"report"}}) {
        SCOPED_TRACE(command.back());
        auto one = command;
        one.insert(one.end(), {"--jobs", "1"});
        auto four = command;
        four.insert(four.end(), {"--jobs", "4"});
        // Both ends given: the files are looked up by name, not listed.
        auto named = command;
        named.insert(named.end(), {"--from", "0", "--to", "2599", "--jobs", "3"});
        // As on a store read from the disk: many threads read, two decode.
        auto in_flight = command;
        in_flight.insert(in_flight.end(), {"--jobs", "2", "--read-threads", "in-flight", "--read-engine", "threads"});
        // Each way of reading alone, over the listing and by name.
        auto ring = command;
        ring.insert(ring.end(), {"--jobs", "2", "--read-engine", "io_uring"});
        auto ring_named = named;
        ring_named.insert(ring_named.end(), {"--read-engine", "io_uring"});
        auto plain = command;
        plain.insert(plain.end(), {"--jobs", "2", "--read-engine", "threads"});
        const auto a = store.run(one);
        EXPECT_EQ(a.status, 1);
        EXPECT_GT(a.out.size(), 1000u);
        for (const auto& other : {store.run(four), store.run(named), store.run(in_flight), store.run(ring),
                                  store.run(ring_named), store.run(plain)}) {
            EXPECT_EQ(a.status, other.status);
            EXPECT_EQ(a.out, other.out);
            EXPECT_EQ(without_ring_refusal(other.err), a.err);
        }
    }
}

TEST(Chainscan, UsageAndFatalErrorsExitWithTwo) {
    const Store store({0, 3, {}});
    RunOptions in_store;
    in_store.working_directory = store.dir.path();
    struct Case {
        std::vector<std::string> arguments;
        std::string err_start;
    };
    const std::vector<Case> cases = {
        {{}, "Error: A subcommand is required"},
        {{"scan"}, "Error: "},
        {{"verify", "--bogus"}, "Error: "},
        {{"verify", "--from", "x"}, "Error: --from: x is not a block height"},
        {{"verify", "--to", "4294967296"}, "Error: --to: 4294967296 is not a block height"},
        {{"verify", "--from", "-1"}, "Error: "},
        {{"verify", "--from", "5", "--to", "4"}, "Error: --from 5 is above --to 4"},
        {{"verify", "--jobs", "0"}, "Error: "},
        {{"verify", "--jobs", "257"}, "Error: "},
        {{"dump", "--format", "xml"}, "Error: "},
        {{"dump", "--format", "csv", "--torrents"}, "Error: --torrents cannot be used with --format csv"},
        {{"dump", "--format", "sql"}, "Error: --format sql needs --for duckdb, postgresql or sqlite"},
        {{"dump", "--for", "sqlite"}, "Error: --for needs --format sql"},
        {{"dump", "--csv-table", "torrents"}, "Error: --csv-table needs --format csv"},
        {{"dump", "--format", "sql", "--for", "sqlite", "--csv-table", "blocks"}, "Error: --csv-table needs --format csv"},
        {{"dump", "--format", "csv", "--csv-table", "pieces"}, "Error: --csv-table: pieces not in"},
        {{"verify", "--csv-table", "torrents"}, "Error: "},
        // The torrent tables are named after --table, and must fit too.
        {{"dump", "--format", "sql", "--for", "sqlite", "--torrents", "--table", std::string(49, 'b')},
         "Error: --table: " + std::string(49, 'b') + " is too long to name the torrent tables after it"},
        {{"schema", "--for", "duckdb", "--torrents", "--table", std::string(63, 'b')}, "Error: --table: bbbb"},
        {{"dump", "--format", "sql", "--for", "mysql"}, "Error: --for: mysql not in"},
        {{"dump", "--format", "sql", "--for", "sqlite", "--table", "b;x"}, "Error: --table: b;x is not"},
        {{"verify", "--json", "--config"}, "Error: "},
        {{"verify", "--json", "--prometheus"}, "Error: "},
        {{"dump", "--follow", "--from", "5", "--to", "4"}, "Error: --from 5 is above --to 4"},
        {{"verify", "--follow", "--from", "4294967296"}, "Error: --from: 4294967296 is not a block height"},
        {{"stats", "--follow"}, "Error: "},
        {{"report", "--json"}, "Error: "},
        {{"stats", "--from", "5", "--to", "4"}, "Error: --from 5 is above --to 4"},
        {{"schema"}, "Error: --for is required"},
        {{"diff"}, "Error: --against is required"},
        {{"diff", "--against", "other.ini", "--from", "5", "--to", "4"}, "Error: --from 5 is above --to 4"},
        {{"diff", "--against", "other.ini", "--prometheus"}, "Error: "},
        {{"diff", "--against"}, "Error: "},
        {{"schema", "--for", "mysql"}, "Error: "},
        // The table name goes into SQL text as it stands.
        {{"schema", "--for", "sqlite", "--table", "1blocks"}, "Error: --table: 1blocks is not a plain SQL name"},
        {{"schema", "--for", "sqlite", "--table", "b;DROP TABLE x"}, "Error: --table: b;DROP TABLE x is not"},
        {{"schema", "--for", "sqlite", "--table", "bl\xc3\xb6" "cke"}, "Error: --table: bl\xc3\xb6" "cke is not"},
        {{"schema", "--for", "sqlite", "--table", ""}, "Error: --table:  is not"},
        {{"schema", "--for", "sqlite", "--table", std::string(64, 'b')}, "Error: --table: bbbb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.empty() ? "" : c.arguments.back());
        const auto result = run_program(CHAINSCAN, c.arguments, in_store);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(result.err.starts_with(c.err_start)) << result.err;
        EXPECT_TRUE(result.err.ends_with("(see 'chainscan --help')\n")) << result.err;
        EXPECT_EQ(lines_of(result.err).size(), 1u) << result.err;
    }

    // The edges of what a table name may hold, at the longest it may be.
    EXPECT_EQ(run_program(CHAINSCAN, {"schema", "--for", "sqlite", "--table", "azAZ_09" + std::string(56, 'b')}).status, 0);
    EXPECT_EQ(run_program(CHAINSCAN, {"schema", "--for", "sqlite", "--torrents", "--table", std::string(48, 'b')}).status, 0);

    const auto help = run_program(CHAINSCAN, {"verify", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--json"), std::string::npos);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    for (const char* command : {"dump", "verify", "stats", "report", "diff"}) {
        const auto command_help = run_program(CHAINSCAN, {command, "--help"});
        EXPECT_EQ(command_help.status, 0);
        EXPECT_NE(command_help.out.find(std::string("Example: chainscan ") + command), std::string::npos);
        EXPECT_NE(command_help.out.find(std::string("(default: the lowest in ") +
                                        (command == std::string("diff") ? "either store)" : "the store)")),
                  std::string::npos);
    }
    EXPECT_EQ(run_program(CHAINSCAN, {"--version"}).out, "chainscan " VIEWERS_VERSION "\n");

    TempDir empty;
    RunOptions in_empty;
    in_empty.working_directory = empty.path();
    const auto no_settings = run_program(CHAINSCAN, {"verify"}, in_empty);
    EXPECT_EQ(no_settings.status, 2);
    EXPECT_TRUE(no_settings.err.starts_with("Error: Failed to load settings: Io(Os { code: 2, kind: NotFound"))
        << no_settings.err;

    RunOptions to_full;
    to_full.stdout_path = "/dev/full";
    const auto full = store.run({"verify"}, to_full);
    EXPECT_EQ(full.status, 2);
    EXPECT_TRUE(full.err.starts_with("Error: failed printing to stdout: ")) << full.err;

    // A metrics file the tools must not or cannot write: refused before anything is read.
    for (const auto& [command, path] : {std::pair{"verify", store.dir / "blocks/testnet/m.prom"},
                                        std::pair{"dump", store.dir / "nowhere/m.prom"}}) {
        const auto refused = store.run({command, "--follow", "--metrics-file", path});
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.out, "");
        EXPECT_TRUE(refused.err.starts_with("Error: --metrics-file: ")) << refused.err;
        EXPECT_EQ(lines_of(refused.err).size(), 1u) << refused.err;
        EXPECT_FALSE(std::filesystem::exists(path));
    }

    std::filesystem::remove_all(store.dir / "torrents/testnet");
    store.dir.write("torrents/testnet", "not a directory");
    const auto unlisted = store.run({"verify"});
    EXPECT_EQ(unlisted.status, 2);
    EXPECT_EQ(unlisted.out, "");
    EXPECT_EQ(unlisted.err, "Error: Failed to list the torrent directory " + (store.dir / "torrents/testnet") +
                                R"(: Os { code: 20, kind: NotADirectory, message: "Not a directory" })" "\n");
}

TEST(Chainscan, StoreWithDirectoriesLinksUnreadableFilesAndOtherNames) {
    const Store store({0, 6, {}});
    const auto blocks = store.dir.path() / "blocks/testnet";
    namespace fs = std::filesystem;
    // Names that are no heights are never read.
    for (const char* name : {"007.vetq", "+5.vetq", "abc.vetq", "5.vetq.bak", "4294967296.vetq", "-1.vetq", ".vetq"}) {
        fs::create_directories(blocks / name);
    }
    fs::remove(blocks / "1.vetq");
    fs::create_directories(blocks / "1.vetq");
    fs::rename(blocks / "2.vetq", store.dir.path() / "elsewhere-2");
    fs::create_symlink(store.dir.path() / "elsewhere-2", blocks / "2.vetq");
    fs::remove(blocks / "3.vetq");
    fs::create_symlink(store.dir.path() / "nothing", blocks / "3.vetq");
    ::chmod((blocks / "4.vetq").c_str(), 0);

    RunOptions options;
    std::string program = CHAINSCAN;
    if (running_as_root()) {
        options.unprivileged = true;
        program = open_node_to_others(CHAINSCAN, store.dir);
    }
    for (const auto& range : std::vector<std::vector<std::string>>{{}, {"--from", "0", "--to", "5"}}) {
    std::vector<std::string> arguments = {"verify", "--config", store.settings(), "--jobs", "2"};
    arguments.insert(arguments.end(), range.begin(), range.end());
    const auto result = run_program(program, arguments, options);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(lines_of(result.out),
              (std::vector<std::string>{
                  R"(1: block_invalid: Error reading block header for height 1: Os { code: 21, kind: IsADirectory, message: "Is a directory" })",
                  R"(3: block_invalid: Error opening block file for height 3: Os { code: 2, kind: NotFound, message: "No such file or directory" })",
                  R"(4: block_invalid: Error opening block file for height 4: Os { code: 13, kind: PermissionDenied, message: "Permission denied" })",
                  "checked heights 0-5: 6 blocks, 6 torrent records, 3 problems (block_invalid 3); verified through 0",
              }));
    }
}

// What the plain reads make of each odd file (a FIFO, a file that shrank,
// one longer than a record, an empty one, a directory), the rings make too.
TEST(Chainscan, ReadEnginesAgreeOnEveryKindOfRecordFile) {
    const Store store({0, 10, {}});
    namespace fs = std::filesystem;
    const auto blocks = store.dir.path() / "blocks/testnet";
    const auto torrents = store.dir.path() / "torrents/testnet";
    fs::remove(blocks / "2.vetq");
    ASSERT_EQ(::mkfifo((blocks / "2.vetq").c_str(), 0644), 0);
    fs::resize_file(blocks / "3.vetq", 100);
    fs::resize_file(blocks / "4.vetq", 800);
    fs::remove(torrents / "5.torrent");
    ASSERT_EQ(::mkfifo((torrents / "5.torrent").c_str(), 0644), 0);
    fs::resize_file(torrents / "6.torrent", 0);
    fs::resize_file(torrents / "7.torrent", 5000);
    fs::remove(torrents / "8.torrent");
    fs::create_directory(torrents / "8.torrent");
    fs::resize_file(blocks / "9.vetq", 748);
    for (const auto& command : std::vector<std::vector<std::string>>{
             {"verify"}, {"dump", "--torrents"}, {"dump", "--torrents", "--from", "0", "--to", "9"}, {"stats", "--json"}}) {
        SCOPED_TRACE(command.back());
        const auto with = [&](std::vector<std::string> engine) {
            engine.insert(engine.begin(), command.begin(), command.end());
            return store.run(engine);
        };
        const auto plain = with({"--read-engine", "threads", "--jobs", "1"});
        EXPECT_EQ(plain.status, 1);
        EXPECT_FALSE(plain.out.empty());
        for (const auto& other : {with({"--read-engine", "io_uring", "--jobs", "1"}),
                                  with({"--read-engine", "io_uring", "--jobs", "2"}), with({"--jobs", "2"})}) {
            EXPECT_EQ(other.status, plain.status);
            EXPECT_EQ(other.out, plain.out);
            EXPECT_EQ(without_ring_refusal(other.err), plain.err);
        }
        // A ring whose io-wq worker limit cannot be raised (a kernel before
        // 5.15, a seccomp profile) still reads the records, as before.
#ifdef VIEWERS_STATIC_TOOLS
        // Sanitized builds (not static) cannot run under ptrace.
        if (!std::filesystem::exists("/usr/bin/strace") || !RecordRing::open()) continue;
        std::vector<std::string> traced = {"-f", "-qq", "-o", store.dir / "limit.log", "-e",
                                           "trace=io_uring_register,io_uring_enter", "-e",
                                           "inject=io_uring_register:error=EINVAL:when=1", CHAINSCAN};
        traced.insert(traced.end(), command.begin(), command.end());
        traced.insert(traced.end(), {"--read-engine", "io_uring", "--jobs", "1", "--config", store.settings()});
        const auto limited = run_program("/usr/bin/strace", traced);
        EXPECT_EQ(limited.status, plain.status);
        EXPECT_EQ(limited.out, plain.out);
        EXPECT_EQ(limited.err, plain.err);
        std::ifstream log_file(store.dir / "limit.log");
        const std::string log((std::istreambuf_iterator<char>(log_file)), std::istreambuf_iterator<char>());
        EXPECT_NE(log.find("IORING_REGISTER_IOWQ_MAX_WORKERS"), std::string::npos) << log;
        EXPECT_NE(log.find("(INJECTED)"), std::string::npos) << log;
        EXPECT_NE(log.find("io_uring_enter("), std::string::npos) << "the ring was given up:\n" << log;
#endif
    }
    // Rings within a descriptor limit that leaves room in the descriptor
    // table for none, one or some of them: the others use registered slots,
    // and no read runs out of descriptors (batches in flight hold theirs
    // while the plain reads take what a ring did not read).
    const Store longer({0, 70, {}});
    const auto plain = longer.run({"verify", "--read-engine", "threads", "--jobs", "1"});
    for (const auto& [limit, jobs] : {std::pair{"--nofile=24", "1"}, {"--nofile=400", "4"}, {"--nofile=600", "4"}}) {
        const auto within = run_program("/usr/bin/prlimit", {limit, CHAINSCAN, "verify", "--jobs", jobs, "--config",
                                                             longer.settings()});
        EXPECT_EQ(within.status, plain.status) << limit;
        EXPECT_EQ(within.out, plain.out) << limit;
        EXPECT_EQ(without_ring_refusal(within.err), plain.err) << limit;
    }
}

}  // namespace
}  // namespace quorvane::testing

// chainscan where users plug it in: a shell pipe whose reader stops early,
// the databases its CSV is loaded into, Prometheus, and a limit on threads.

#include <gtest/gtest.h>

#include <unistd.h>

#include <signal.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <filesystem>
#include <sstream>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/cli_harness.hpp"
#include "support/store_builder.hpp"

namespace quorvane::testing {
namespace {

const std::string CHAINSCAN = CHAINSCAN_BINARY;
const std::string BASH = "/bin/bash";

std::string quoted(const std::string& text) { return "'" + text + "'"; }

TEST(ChainscanPipe, ReaderThatStopsEarlyEndsTheRunQuietlyAsSigpipe) {
    // Each run writes far more than a pipe holds, so the reader is gone
    // before the writer is done, whatever the timing.
    StoreShape shape{0, 1200, {}};
    for (std::uint32_t h = 1; h < shape.count; ++h) shape.faults.emplace(h, Fault::ChainBroken);
    StoreShape unreadable{0, 1200, {}};
    for (std::uint32_t h = 0; h < unreadable.count; ++h) unreadable.faults.emplace(h, Fault::BlockInvalid);
    TempDir broken_chain;
    write_store(broken_chain.path(), shape);
    TempDir bad_blocks;
    write_store(bad_blocks.path(), unreadable);
    const std::string chain = quoted(CHAINSCAN) + " ";
    const std::string config = " --config " + quoted(broken_chain / "settings.ini");
    struct Case {
        std::string pipeline;  // prints chainscan's status last, after the reader's lines
        std::size_t reader_lines;
    };
    const std::vector<Case> cases = {
        {chain + "dump --no-proof" + config + " | head -3", 3},
        {chain + "dump --format csv --jobs 1" + config + " | head -1", 1},
        {chain + "verify" + config + " | head -2", 2},
        {chain + "verify --json --jobs 3" + config + " | head -1", 1},
        // Standard error as the pipe: the error lines of unreadable blocks.
        {chain + "dump --no-proof --config " + quoted(bad_blocks / "settings.ini") + " 2>&1 >/dev/null | head -2", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pipeline);
        const auto result = run_program(BASH, {"-c", c.pipeline + "; echo \"${PIPESTATUS[0]}\""});
        const auto lines = lines_of(result.out);
        ASSERT_EQ(lines.size(), c.reader_lines + 1) << result.out;
        EXPECT_EQ(lines.back(), "141");
        EXPECT_EQ(result.err, "");
    }
    // Any other write failure is still reported.
    const auto full = run_program(BASH, {"-c", chain + "dump --no-proof" + config + " > /dev/full"});
    EXPECT_EQ(full.status, 2);
    EXPECT_EQ(full.err, "Error: failed printing to stdout: No space left on device\n");
}

// The JSON Lines member's text exactly as written: JSON readers turn numbers
// above 2^64 into doubles, and every digit is what is compared here.
std::string raw_member(const std::string& line, const std::string& key) {
    const std::string opening = "\"" + key + "\":";
    auto start = line.find(opening);
    if (start == std::string::npos) return "<no " + key + ">";
    start += opening.size();
    if (line[start] == '"') return line.substr(start + 1, line.find('"', start + 1) - start - 1);
    return line.substr(start, line.find_first_of(",}", start) - start);
}

// Every CSV column of every block, as the JSON Lines dump gives it, one
// comma-separated row per block in height order.
std::string rows_from_json_lines(const std::string& dump) {
    static const std::vector<std::string> columns = {"height",        "hash_value", "difficulty",
                                                     "timestamp",     "miner",      "previous_hash",
                                                     "next_block_difficulty", "nonce", "vrf"};
    std::string rows;
    for (const auto& line : lines_of(dump)) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (i > 0) rows += ',';
            rows += raw_member(line, columns[i]);
        }
        rows += '\n';
    }
    return rows;
}

const std::string SELECT_ALL =
    "SELECT height, hash_value, difficulty, timestamp, miner, previous_hash, next_block_difficulty, nonce, vrf "
    "FROM chain ORDER BY height;";

const std::string BLOCKS_ALL = std::string(SELECT_ALL).replace(SELECT_ALL.find("FROM chain"), 10, "FROM blocks");
const std::string TORRENTS_ALL =
    "SELECT height, length, this_block_difficulty, timestamp, nonce, vrf, block_hash, COALESCE(previous_hash, 'NULL'), "
    "piece_length, info_hash, mined_by, piece_count FROM torrents ORDER BY height;";
const std::string PIECES_ALL = "SELECT height, piece_index, hash FROM torrent_pieces ORDER BY height, piece_index;";
const std::string DROP_ALL =
    "DROP TABLE IF EXISTS blocks;\nDROP TABLE IF EXISTS torrents;\nDROP TABLE IF EXISTS torrent_pieces;\n";

// JSON text without the white space between its tokens.
std::string compact_json(const std::string& json) {
    std::string compact;
    bool in_string = false;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (in_string && c == '\\') {
            compact.append(json, i++, 2);
            continue;
        }
        if (c == '"') in_string = !in_string;
        if (in_string || !std::isspace(static_cast<unsigned char>(c))) compact += c;
    }
    return compact;
}

// The rows the torrent tables hold for a store, from what swarmview prints
// for each height of the range ("NULL" for an empty previous hash).
struct TorrentRows {
    std::string torrents;
    std::string pieces;
};

TorrentRows torrent_rows_from_swarmview(const TempDir& store, std::uint32_t first, std::uint32_t last) {
    RunOptions in_store;
    in_store.working_directory = store.path();
    TorrentRows rows;
    for (std::uint32_t h = first; h <= last; ++h) {
        const auto shown = run_program(SWARMVIEW_BINARY, {std::to_string(h)}, in_store);
        if (shown.status != 0) continue;
        const std::string json = compact_json(shown.out);
        std::string row = std::to_string(h);
        for (const char* key : {"length", "this_block_difficulty", "timestamp", "nonce", "vrf", "block_hash",
                                "previous_hash", "piece_length", "info_hash", "mined_by"}) {
            const std::string value = raw_member(json, key);
            row += "," + (value.empty() ? std::string("NULL") : value);
        }
        std::size_t count = 0;
        const std::size_t list = json.find("\"pieces\":[");
        for (std::size_t at = json.find("{\"", list); at != std::string::npos && at < json.find(']', list);
             at = json.find("{\"", at + 1)) {
            const std::size_t quote = json.find('"', at + 2);
            rows.pieces += std::to_string(h) + "," + json.substr(at + 2, quote - at - 2) + "," +
                           json.substr(quote + 3, json.find('"', quote + 3) - quote - 3) + "\n";
            ++count;
        }
        rows.torrents += row + "," + std::to_string(count) + "\n";
    }
    return rows;
}

// Heights 0-9 with torrent records of every kind: the form without a
// previous hash (2), no pieces (3), 255 pieces (4), the largest difficulty
// and vrf (5), beside a missing block (6) and an unreadable one (7); a
// torrent record missing (8) and one unreadable (9). `changed`: then 4 is
// rewritten with two pieces, 5 with other piece hashes, 0 truncated and 1
// deleted.
StoreShape torrent_store(bool changed) {
    StoreShape shape{0, 10,
                     {{6, Fault::BlockMissing}, {7, Fault::BlockInvalid}, {8, Fault::TorrentMissing}, {9, Fault::TorrentInvalid}},
                     {5}};
    if (changed) shape.faults.insert({{0, Fault::TorrentInvalid}, {1, Fault::TorrentMissing}});
    shape.values = [changed](std::uint32_t height, HeightValues& values) {
        if (height == 2) values.torrent_previous_hash = false;
        if (height == 3) values.length = 0;
        if (height == 4) values.length = changed ? 800 : 255 * 400;
        if (height == 5 && changed) values.piece_salt = 1;
    };
    return shape;
}

// A store whose values reach each column type's top, its CSV in blocks.csv,
// and the rows that a loaded table must give back.
struct LoadedStore {
    TempDir dir;
    std::string expected_rows;

    LoadedStore() {
        write_store(dir.path(), {5, 6, {{7, Fault::BlockMissing}}, {6, 9}});
        const std::string config = dir / "settings.ini";
        const auto csv = run_program(CHAINSCAN, {"dump", "--format", "csv", "--config", config});
        dir.write("blocks.csv", csv.out);
        dir.write("schema-sqlite.sql", run_program(CHAINSCAN, {"schema", "--for", "sqlite", "--table", "chain"}).out);
        dir.write("schema-postgresql.sql",
                  run_program(CHAINSCAN, {"schema", "--for", "postgresql", "--table", "chain"}).out);
        expected_rows = rows_from_json_lines(run_program(CHAINSCAN, {"dump", "--no-proof", "--config", config}).out);
    }
};

TEST(ChainscanSchema, SqliteKeepsEveryDigit) {
    const std::string sqlite = "/usr/bin/sqlite3";
    if (!std::filesystem::exists(sqlite)) GTEST_SKIP() << "sqlite3 is not installed";
    const LoadedStore store;
    ASSERT_NE(store.expected_rows.find(",18446744073709551615,"), std::string::npos);
    ASSERT_NE(store.expected_rows.find(",340282366920938463463374607431768211455\n"), std::string::npos);
    RunOptions in_store;
    in_store.working_directory = store.dir.path();
    const auto loaded = run_program(sqlite, {"-bail", "-batch", "chain.db", ".read schema-sqlite.sql"}, in_store);
    ASSERT_EQ(loaded.status, 0) << loaded.err;
    EXPECT_EQ(loaded.err, "");
    const auto read = run_program(sqlite, {"-batch", "-csv", "chain.db", SELECT_ALL}, in_store);
    EXPECT_EQ(read.err, "");
    EXPECT_EQ(read.out, store.expected_rows);
    // Heights are integers, and the primary key refuses a second row.
    const auto types = run_program(sqlite, {"-batch", "chain.db", "SELECT DISTINCT typeof(height) FROM chain;"}, in_store);
    EXPECT_EQ(types.out, "integer\n");
    const auto again = run_program(sqlite, {"-batch", "chain.db", ".import --csv --skip 1 blocks.csv chain"}, in_store);
    EXPECT_NE(again.err.find("UNIQUE constraint failed: chain.height"), std::string::npos) << again.err;
}

// A throwaway PostgreSQL 15 cluster on a Unix socket in a temporary
// directory, run as nobody when the tests run as root; stopped at the end.
class ThrowawayPostgres {
public:
    static constexpr const char* BIN = "/usr/lib/postgresql/15/bin/";

    explicit ThrowawayPostgres(const TempDir& dir) : dir_(dir) {
        if (!std::filesystem::exists(std::string(BIN) + "initdb")) {
            why_not_ = "PostgreSQL 15 is not installed";
            return;
        }
        if (running_as_root() && ::chown(dir.path().c_str(), 65534, 65534) != 0) {
            why_not_ = "cannot hand the cluster directory to nobody";
            return;
        }
        as_owner_.unprivileged = true;
        as_owner_.environment["LC_ALL"] = "C.UTF-8";
        const auto made = run_program(std::string(BIN) + "initdb",
                                      {"-D", dir / "data", "-U", "postgres", "-A", "trust", "-E", "UTF8", "--no-sync"},
                                      as_owner_);
        if (made.status != 0) {
            why_not_ = "initdb failed: " + made.err;
            return;
        }
        std::filesystem::create_directory(dir.path() / "socket");
        if (running_as_root() && ::chown((dir / "socket").c_str(), 65534, 65534) != 0) {
            why_not_ = "cannot hand the socket directory to nobody";
            return;
        }
        const auto started = run_program(
            std::string(BIN) + "pg_ctl",
            {"-D", dir / "data", "-l", dir / "server.log", "-w", "-t", "60", "-o",
             "-c listen_addresses='' -c unix_socket_directories=" + (dir / "socket") + " -c fsync=off", "start"},
            as_owner_);
        if (started.status != 0) {
            why_not_ = "pg_ctl start failed: " + started.out + started.err;
            return;
        }
        running_ = true;
    }

    ~ThrowawayPostgres() {
        if (running_) run_program(std::string(BIN) + "pg_ctl", {"-D", dir_ / "data", "-m", "immediate", "stop"}, as_owner_);
    }
    ThrowawayPostgres(const ThrowawayPostgres&) = delete;
    ThrowawayPostgres& operator=(const ThrowawayPostgres&) = delete;

    const std::string& why_not() const { return why_not_; }

    RunResult psql(std::vector<std::string> arguments, RunOptions options) const {
        options.unprivileged = true;
        arguments.insert(arguments.begin(), {"-X", "-v", "ON_ERROR_STOP=1", "-h", dir_ / "socket", "-U", "postgres",
                                             "-d", "postgres"});
        return run_program(std::string(BIN) + "psql", arguments, options);
    }

private:
    const TempDir& dir_;
    RunOptions as_owner_;
    std::string why_not_;
    bool running_ = false;
};

TEST(ChainscanSchema, PostgresqlKeepsEveryDigit) {
    const LoadedStore store;
    const TempDir cluster_dir;
    const ThrowawayPostgres postgres(cluster_dir);
    if (!postgres.why_not().empty()) GTEST_SKIP() << "no PostgreSQL to load into: " << postgres.why_not();
    open_node_to_others(CHAINSCAN, store.dir);
    RunOptions in_store;
    in_store.working_directory = store.dir.path();
    const auto loaded = postgres.psql({"-q", "-f", "schema-postgresql.sql"}, in_store);
    ASSERT_EQ(loaded.status, 0) << loaded.err;
    EXPECT_EQ(loaded.err, "");
    const auto read = postgres.psql({"-A", "-t", "-F", ",", "-c", SELECT_ALL}, in_store);
    EXPECT_EQ(read.err, "");
    EXPECT_EQ(read.out, store.expected_rows);
}

// A run that follows a store while it is extended, rewritten, broken and a
// gap in it filled late, ended by SIGINT: its whole SQL stream, and the rows
// that a load of the final store's CSV gives.
struct FollowedStream {
    std::string sql;
    std::string expected_rows;
};

FollowedStream follow_into_sql(const std::string& engine, const std::string& row_of_7) {
    TempDir old_store;
    TempDir final_store;
    TempDir live;
    write_store(old_store.path(), {0, 5, {}});
    write_store(final_store.path(), {0, 9, {{3, Fault::BlockInvalid}}, {2}});
    write_store(live.path(), {0, 0, {}});
    const auto put = [&](const TempDir& from, std::uint32_t height) {
        const std::string name = "blocks/testnet/" + std::to_string(height) + ".vetq";
        std::filesystem::copy_file(from / name, live / name, std::filesystem::copy_options::overwrite_existing);
    };
    for (std::uint32_t h = 0; h < 5; ++h) put(old_store, h);
    BackgroundRun run(CHAINSCAN, {"dump", "--format", "sql", "--for", engine, "--table", "chain", "--follow",
                                  "--config", live / "settings.ini"});
    struct Step {
        std::vector<std::uint32_t> heights;  // written from the final store
        std::string then;                    // what the stream then holds
    };
    const std::vector<Step> steps = {{{}, "COMMIT;"},
                                     {{5, 6, 8}, "BETWEEN 7 AND 7;"},                           // a gap
                                     {{2}, "340282366920938463463374607431768211455"},            // a rewrite
                                     {{3}, "BETWEEN 3 AND 3;"},                                   // now unreadable
                                     {{7}, row_of_7}};                                            // the gap filled
    for (const auto& step : steps) {
        for (const auto height : step.heights) put(final_store, height);
        EXPECT_TRUE(run.wait_for_out(step.then)) << step.then << "\n" << run.out() << run.err();
    }
    run.signal(SIGINT);
    const RunResult result = run.finish();
    EXPECT_EQ(result.status, 1);  // block 3 could not be read
    EXPECT_EQ(result.err, "3: Error: Error parsing block: Custom { kind: Other, error: \"Invalid short miner address\" }\n");
    EXPECT_TRUE(result.out.ends_with("COMMIT;\n"));
    return {result.out, rows_from_json_lines(
                            run_program(CHAINSCAN, {"dump", "--no-proof", "--config", live / "settings.ini"}).out)};
}

// The same with the torrent tables: a torrent record written late, rewritten
// with fewer pieces and made unreadable while the run follows.
struct FollowedTables {
    std::string sql;
    std::string blocks;
    TorrentRows torrents;
};

FollowedTables follow_torrents_into_sql(const std::string& engine) {
    TempDir early;
    TempDir late;
    TempDir live;
    write_store(early.path(), {0, 6, {}});
    StoreShape changed{0, 6, {{3, Fault::TorrentInvalid}}};
    changed.values = [](std::uint32_t height, HeightValues& values) {
        if (height == 2) values.length = 300;
    };
    write_store(late.path(), changed);
    write_store(live.path(), {0, 0, {}});
    const auto put = [&](const TempDir& from, const std::string& name) {
        std::filesystem::copy_file(from / name, live / name, std::filesystem::copy_options::overwrite_existing);
    };
    const auto block = [](std::uint32_t h) { return "blocks/testnet/" + std::to_string(h) + ".vetq"; };
    const auto torrent = [](std::uint32_t h) { return "torrents/testnet/" + std::to_string(h) + ".torrent"; };
    for (std::uint32_t h = 0; h < 4; ++h) {
        put(early, block(h));
        put(early, torrent(h));
    }
    // A batch of one height that replaces its pieces.
    const auto pieces_replaced = [&](std::uint32_t h) {
        const std::string height = std::to_string(h);
        return engine == "postgresql" ? "torrent_pieces AS kept WHERE kept.height BETWEEN " + height + " AND " + height + " "
                                      : "torrent_pieces WHERE height BETWEEN " + height + " AND " + height + ";";
    };
    BackgroundRun run(CHAINSCAN, {"dump", "--format", "sql", "--for", engine, "--torrents", "--follow", "--config",
                                  live / "settings.ini"});
    struct Step {
        std::vector<std::pair<const TempDir*, std::string>> files;
        std::string then;
    };
    const std::vector<Step> steps = {
        {{}, "COMMIT;"},
        {{{&early, block(4)}, {&early, block(5)}, {&early, torrent(5)}}, "DELETE FROM torrents WHERE height BETWEEN 4 AND 4;"},
        {{{&early, torrent(4)}}, pieces_replaced(4)},  // late
        {{{&late, torrent(2)}}, pieces_replaced(2)},   // fewer pieces
        {{{&late, torrent(3)}}, "DELETE FROM torrents WHERE height BETWEEN 3 AND 3;"},            // unreadable
    };
    for (const auto& step : steps) {
        for (const auto& [from, name] : step.files) put(*from, name);
        EXPECT_TRUE(run.wait_for_out(step.then)) << step.then << "\n" << run.out() << run.err();
    }
    run.signal(SIGINT);
    const RunResult result = run.finish();
    EXPECT_EQ(result.status, 1);  // torrent record 3 could not be read
    EXPECT_EQ(result.err, "3: Failed to parse torrent: Invalid Torrent Byte Count\n");
    EXPECT_TRUE(result.out.ends_with("COMMIT;\n"));
    return {result.out,
            rows_from_json_lines(run_program(CHAINSCAN, {"dump", "--no-proof", "--config", live / "settings.ini"}).out),
            torrent_rows_from_swarmview(live, 0, 5)};
}

TEST(ChainscanSqlStream, KeepsATableAsTheCsvLoadWouldHaveIt) {
    const LoadedStore store;
    const TempDir first_torrents;
    const TempDir changed_torrents;
    write_store(first_torrents.path(), torrent_store(false));
    write_store(changed_torrents.path(), torrent_store(true));
    const TempDir cluster_dir;
    const ThrowawayPostgres postgres(cluster_dir);
    open_node_to_others(CHAINSCAN, store.dir);
    open_node_to_others(CHAINSCAN, first_torrents);
    open_node_to_others(CHAINSCAN, changed_torrents);
    RunOptions in_store;
    in_store.working_directory = store.dir.path();
    const std::string sqlite = "/usr/bin/sqlite3";
    const std::string duckdb_node = "/opt/viewers-test-tools/duckdb/node_modules/@duckdb/node-api";
    struct Engine {
        std::string name;
        std::string why_not;  // empty: the client is there
        std::function<RunResult(const std::string& file)> load;
        std::function<std::string(const std::string& query)> rows;
        std::string row_of_7;  // how the stream starts that row
    };
    const std::string duckdb_script = "const {DuckDBInstance} = require('" + duckdb_node + "');\n"
        "(async () => { const db = await DuckDBInstance.create(process.argv[2]); const c = await db.connect();\n"
        "  if (process.argv[3]) { await c.run(require('fs').readFileSync(process.argv[3], 'utf8')); return; }\n"
        "  const r = await c.runAndReadAll(process.argv[4]);\n"
        "  for (const row of r.getRows()) console.log(row.map(String).join(','));\n"
        "})().catch(e => { console.error(e.message); process.exit(1); });\n";
    store.dir.write("duckdb.js", duckdb_script);
    const std::vector<Engine> engines = {
        {"sqlite", std::filesystem::exists(sqlite) ? "" : "sqlite3 is not installed",
         [&](const std::string& file) { return run_program(BASH, {"-c", "sqlite3 -bail chain.db < " + file}, in_store); },
         [&](const std::string& query) { return run_program(sqlite, {"-batch", "-csv", "chain.db", query}, in_store).out; },
         "(7,'"},
        {"postgresql", postgres.why_not(),
         [&](const std::string& file) { return postgres.psql({"-q", "-f", file}, in_store); },
         [&](const std::string& query) { return postgres.psql({"-A", "-t", "-F", ",", "-c", query}, in_store).out; },
         "\n7\t"},
        {"duckdb", std::filesystem::exists(duckdb_node) ? "" : "@duckdb/node-api is not installed (scripts/install-deps)",
         [&](const std::string& file) { return run_program("/usr/bin/node", {"duckdb.js", "chain.duckdb", file}, in_store); },
         [&](const std::string& query) {
             return run_program("/usr/bin/node", {"duckdb.js", "chain.duckdb", "", query}, in_store).out;
         },
         "(7,'"},
    };
    for (const auto& engine : engines) {
        SCOPED_TRACE(engine.name);
        if (!engine.why_not.empty()) {
            std::cout << "[  SKIPPED ] " << engine.name << ": " << engine.why_not << "\n";
            continue;
        }
        const auto stream = run_program(CHAINSCAN, {"dump", "--format", "sql", "--for", engine.name, "--table",
                                                    "chain", "--config", store.dir / "settings.ini"});
        ASSERT_EQ(stream.status, 0) << stream.err;
        store.dir.write("stream.sql", stream.out);
        // Once into a new table, then again over the same heights: the same rows.
        for (const char* run : {"fresh", "again"}) {
            SCOPED_TRACE(run);
            const auto loaded = engine.load("stream.sql");
            ASSERT_EQ(loaded.status, 0) << loaded.err;
            EXPECT_EQ(loaded.out + loaded.err, "");
            EXPECT_EQ(engine.rows(SELECT_ALL), store.expected_rows);
        }
        const FollowedStream followed = follow_into_sql(engine.name, engine.row_of_7);
        store.dir.write("followed.sql", "DROP TABLE chain;\n" + followed.sql);
        const auto loaded = engine.load("followed.sql");
        ASSERT_EQ(loaded.status, 0) << loaded.err;
        EXPECT_EQ(engine.rows(SELECT_ALL), followed.expected_rows);

        // The torrent tables beside blocks: loaded once, again, then over
        // the store as changed since; the CSV recipe gives the same rows.
        const auto tables_are = [&](const TempDir& of, const std::string& when) {
            SCOPED_TRACE(when);
            const TorrentRows expected = torrent_rows_from_swarmview(of, 0, 9);
            ASSERT_EQ(lines_of(expected.torrents).size(), &of == &first_torrents ? 8u : 6u) << expected.torrents;
            EXPECT_EQ(engine.rows(BLOCKS_ALL), rows_from_json_lines(run_program(
                                                   CHAINSCAN, {"dump", "--no-proof", "--config", of / "settings.ini"}).out));
            EXPECT_EQ(engine.rows(TORRENTS_ALL), expected.torrents);
            EXPECT_EQ(engine.rows(PIECES_ALL), expected.pieces);
        };
        store.dir.write("drop.sql", DROP_ALL);
        ASSERT_EQ(engine.load("drop.sql").status, 0);
        for (const auto& [of, when] : {std::pair{&first_torrents, "fresh"}, std::pair{&first_torrents, "again"},
                                       std::pair{&changed_torrents, "changed"}}) {
            const auto torrents = run_program(CHAINSCAN, {"dump", "--format", "sql", "--for", engine.name, "--torrents",
                                                          "--config", *of / "settings.ini"});
            EXPECT_EQ(torrents.status, 1) << torrents.err;  // the unreadable records
            store.dir.write("torrents.sql", torrents.out);
            const auto loaded_torrents = engine.load("torrents.sql");
            ASSERT_EQ(loaded_torrents.status, 0) << loaded_torrents.err;
            tables_are(*of, when);
        }
        for (const char* table : {"blocks", "torrents", "torrent_pieces"}) {
            const auto csv = run_program(CHAINSCAN, {"dump", "--format", "csv", "--csv-table", table, "--config",
                                                     changed_torrents / "settings.ini"});
            store.dir.write(std::string(table) + ".csv", csv.out);
        }
        store.dir.write("schema.sql", DROP_ALL + run_program(CHAINSCAN, {"schema", "--for", engine.name, "--torrents"}).out);
        const auto recipe = engine.load("schema.sql");
        ASSERT_EQ(recipe.status, 0) << recipe.err;
        tables_are(changed_torrents, "the CSV recipe");

        const FollowedTables tables = follow_torrents_into_sql(engine.name);
        store.dir.write("followed.sql", DROP_ALL + tables.sql);
        ASSERT_EQ(engine.load("followed.sql").status, 0);
        EXPECT_EQ(engine.rows(BLOCKS_ALL), tables.blocks);
        EXPECT_EQ(engine.rows(TORRENTS_ALL), tables.torrents.torrents);
        EXPECT_EQ(engine.rows(PIECES_ALL), tables.torrents.pieces);
    }
}

TEST(ChainscanPrometheus, MetricsPassPromtoolAndCarryTheSummary) {
    const std::string promtool = "/opt/viewers-test-tools/prometheus/usr/bin/promtool";
    struct Case {
        StoreShape shape;
        std::vector<std::string> arguments;
        int status;
        std::vector<std::string> samples;  // lines that must be present
    };
    const std::vector<Case> cases = {
        {{0, 10, {}}, {}, 0,
         {"chainscan_verify_heights_checked 10", "chainscan_verify_blocks 10", "chainscan_verify_from_height 0",
          "chainscan_verify_to_height 9", "chainscan_verify_problems{code=\"chain_broken\"} 0",
          "chainscan_verify_verified_through_height 9", "chainscan_verify_first_bad_height NaN"}},
        {{3, 10, {{5, Fault::ChainBroken}, {6, Fault::TorrentMissing}, {9, Fault::TorrentMissing}}}, {}, 1,
         {"chainscan_verify_torrents 8", "chainscan_verify_problems{code=\"torrent_missing\"} 2",
          "chainscan_verify_problems{code=\"chain_broken\"} 1", "chainscan_verify_problems{code=\"block_missing\"} 0",
          "chainscan_verify_verified_through_height 4", "chainscan_verify_first_bad_height 5"}},
        {{3, 10, {{3, Fault::BlockInvalid}}}, {"--from", "3", "--to", "3"}, 1,
         {"chainscan_verify_heights_checked 1", "chainscan_verify_verified_through_height NaN",
          "chainscan_verify_first_bad_height 3"}},
        // Nothing checked: no range to name.
        {{0, 0, {}}, {}, 0,
         {"chainscan_verify_heights_checked 0", "chainscan_verify_from_height NaN", "chainscan_verify_to_height NaN"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.samples.back());
        TempDir dir;
        write_store(dir.path(), c.shape);
        std::vector<std::string> arguments = {"verify", "--prometheus", "--config", dir / "settings.ini"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const auto result = run_program(CHAINSCAN, arguments);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err, "");
        const auto lines = lines_of(result.out);
        for (const auto& sample : c.samples) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), sample), lines.end()) << sample << "\n" << result.out;
        }
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const auto& l) { return l.starts_with("# TYPE"); }), 10);
        // The metrics files of verify and dump: verify's the same samples and
        // the time of the update.
        dir.write("metrics.prom", result.out);
        for (const auto& command : std::vector<std::vector<std::string>>{{"verify"}, {"dump", "--format", "csv"}}) {
            std::vector<std::string> with_file = command;
            with_file.insert(with_file.end(), {"--metrics-file", dir / (command[0] + ".prom"), "--config", dir / "settings.ini"});
            with_file.insert(with_file.end(), c.arguments.begin(), c.arguments.end());
            const auto run = run_program(CHAINSCAN, with_file);
            if (command[0] == "verify") {
                EXPECT_EQ(run.status, c.status);
            }
            std::ifstream file(dir / (command[0] + ".prom"));
            const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            const auto file_lines = lines_of(text);
            for (const auto& sample : command[0] == "verify" ? c.samples : std::vector<std::string>{}) {
                EXPECT_NE(std::find(file_lines.begin(), file_lines.end(), sample), file_lines.end()) << sample << "\n" << text;
            }
            EXPECT_NE(text.find(command[0] == "verify" ? "\nchainscan_verify_last_update_timestamp_seconds "
                                                       : "\nchainscan_dump_last_update_timestamp_seconds "),
                      std::string::npos);
        }
        if (!std::filesystem::exists(promtool)) continue;
        for (const char* file : {"metrics.prom", "verify.prom", "dump.prom"}) {
            const auto checked = run_program(BASH, {"-c", quoted(promtool) + " check metrics < " + quoted(dir / file)});
            EXPECT_EQ(checked.status, 0) << file << checked.out << checked.err;
            EXPECT_EQ(checked.out + checked.err, "") << file;
        }
    }
    if (!std::filesystem::exists(promtool)) GTEST_SKIP() << "promtool is not unpacked (scripts/install-deps)";
}

TEST(ChainscanLimits, GoesOnWithTheThreadsThatStart) {
#ifdef VIEWERS_SANITIZED
    GTEST_SKIP() << "sanitizer runtimes start threads of their own and report failing to; the release build runs this";
#endif
    const std::string prlimit = "/usr/bin/prlimit";
    if (!std::filesystem::exists(prlimit)) GTEST_SKIP() << "prlimit is not installed";
    StoreShape shape{0, 3000, {{1500, Fault::TorrentMismatch}}};
    TempDir dir;
    write_store(dir.path(), shape);
    const std::string tool = open_node_to_others(CHAINSCAN, dir);
    RunOptions nobody;
    nobody.unprivileged = true;  // root's own processes are not limited
    const std::vector<std::string> verify = {"verify", "--json", "--jobs", "4", "--config", dir / "settings.ini"};
    const auto free_run = run_program(tool, verify, nobody);
    ASSERT_EQ(free_run.status, 1) << free_run.err;
    // The limit counts every process of the user, so only a few more can start.
    for (const char* limit : {"--nproc=1", "--nproc=2"}) {
        SCOPED_TRACE(limit);
        std::vector<std::string> arguments = {limit, tool};
        arguments.insert(arguments.end(), verify.begin(), verify.end());
        const auto limited = run_program(prlimit, arguments, nobody);
        EXPECT_EQ(limited.status, 1);
        EXPECT_EQ(limited.out, free_run.out);
        EXPECT_TRUE(limited.err.starts_with("Warning: only ")) << limited.err;
        EXPECT_NE(limited.err.find(" of 4 threads could be started (Resource temporarily unavailable); going on with "),
                  std::string::npos) << limited.err;
        EXPECT_EQ(lines_of(limited.err).size(), 1u);
    }
}

}  // namespace
}  // namespace quorvane::testing

// The output forms that the CLI tests see only whole: the SQL schemas, the
// Prometheus metrics, the dump's error lines.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "records/unpack_block/unpack_header.hpp"
#include "scan/views/store_tables.hpp"
#include "scan/views/dump_lines.hpp"
#include "scan/views/sql_schema.hpp"
#include "scan/report/verify_metrics.hpp"
#include "support/record_builders.hpp"

namespace quorvane {
namespace {

// Each engine types every column of the table as its range of values needs;
// SQLite's note names exactly the numbers it keeps as text.
TEST(SqlSchema, EveryColumnTypedForItsEngine) {
    struct Case {
        SqlEngine engine;
        std::vector<std::string> columns;  // "name type", in order
        std::string load;                  // the schema's last line starts so
        std::vector<std::string> torrent_columns;
        std::string pieces;  // the last table, whole
    };
    const std::vector<Case> cases = {
        {SqlEngine::DuckDb,
         {"height UINTEGER PRIMARY KEY", "hash_value VARCHAR", "difficulty UBIGINT", "timestamp UINTEGER", "miner VARCHAR",
          "previous_hash VARCHAR", "next_block_difficulty UBIGINT", "nonce UTINYINT", "vrf UHUGEINT"},
         "COPY t FROM 'blocks.csv' (HEADER);",
         {"height UINTEGER PRIMARY KEY", "length UBIGINT", "this_block_difficulty UBIGINT", "timestamp UINTEGER",
          "nonce UTINYINT", "vrf UHUGEINT", "block_hash VARCHAR", "previous_hash VARCHAR", "piece_length UINTEGER",
          "info_hash VARCHAR", "mined_by VARCHAR", "piece_count UTINYINT"},
         "CREATE TABLE t_torrent_pieces (\n    height UINTEGER,\n    piece_index UTINYINT,\n    hash VARCHAR,\n"
         "    PRIMARY KEY (height, piece_index)\n);\nCOPY t_torrent_pieces FROM 'torrent_pieces.csv' (HEADER);\n"},
        {SqlEngine::PostgreSql,
         {"height bigint PRIMARY KEY", "hash_value text", "difficulty numeric(20,0)", "timestamp bigint", "miner text",
          "previous_hash text", "next_block_difficulty numeric(20,0)", "nonce smallint", "vrf numeric(39,0)"},
         "\\copy t FROM 'blocks.csv' WITH (FORMAT csv, HEADER)",
         {"height bigint PRIMARY KEY", "length numeric(20,0)", "this_block_difficulty numeric(20,0)", "timestamp bigint",
          "nonce smallint", "vrf numeric(39,0)", "block_hash text", "previous_hash text", "piece_length bigint",
          "info_hash text", "mined_by text", "piece_count smallint"},
         "CREATE TABLE t_torrent_pieces (\n    height bigint,\n    piece_index smallint,\n    hash text,\n"
         "    PRIMARY KEY (height, piece_index)\n);\n\\copy t_torrent_pieces FROM 'torrent_pieces.csv' WITH (FORMAT csv, HEADER)\n"},
        {SqlEngine::Sqlite,
         {"height INTEGER PRIMARY KEY", "hash_value TEXT", "difficulty TEXT", "timestamp INTEGER", "miner TEXT",
          "previous_hash TEXT", "next_block_difficulty TEXT", "nonce INTEGER", "vrf TEXT"},
         ".import --csv --skip 1 blocks.csv t",
         {"height INTEGER PRIMARY KEY", "length TEXT", "this_block_difficulty TEXT", "timestamp INTEGER", "nonce INTEGER",
          "vrf TEXT", "block_hash TEXT", "previous_hash TEXT", "piece_length INTEGER", "info_hash TEXT", "mined_by TEXT",
          "piece_count INTEGER"},
         "CREATE TABLE t_torrent_pieces (\n    height INTEGER,\n    piece_index INTEGER,\n    hash TEXT,\n"
         "    PRIMARY KEY (height, piece_index)\n);\n.import --csv --skip 1 torrent_pieces.csv t_torrent_pieces\n"},
    };
    for (const auto& c : cases) {
        const std::string schema = sql_schema(c.engine, "t", TorrentTables::Left);
        std::string expected = "CREATE TABLE t (\n";
        for (std::size_t i = 0; i < c.columns.size(); ++i) {
            expected += "    " + c.columns[i] + (i + 1 < c.columns.size() ? ",\n" : "\n");
        }
        expected += ");\n" + c.load + "\n";
        const std::string note =
            c.engine == SqlEngine::Sqlite
                ? "-- SQLite integers stop at 2^63-1, so difficulty, next_block_difficulty and vrf\n"
                  "-- (up to 2^64-1 and 2^128-1) are kept as TEXT holding every decimal digit.\n"
                  "-- Compare or sort them as numbers with ORDER BY length(vrf), vrf.\n"
                : "";
        EXPECT_EQ(schema, note + expected);
        EXPECT_EQ(create_table(c.engine, table_shape(StoreTable::Blocks), "t", TableExists::Kept).substr(0, 30),
                  "CREATE TABLE IF NOT EXISTS t (");

        // With the torrent tables: blocks as above, then torrents, then the pieces.
        const std::string all = sql_schema(c.engine, "t", TorrentTables::Included);
        EXPECT_TRUE(all.starts_with(schema + "\n")) << all;
        std::string torrents = "CREATE TABLE t_torrents (\n";
        for (std::size_t i = 0; i < c.torrent_columns.size(); ++i) {
            torrents += "    " + c.torrent_columns[i] + (i + 1 < c.torrent_columns.size() ? ",\n" : "\n");
        }
        EXPECT_NE(all.find(torrents + ");\n"), std::string::npos) << all;
        EXPECT_TRUE(all.ends_with("\n" + c.pieces)) << all;
    }
    // SQLite's .import cannot load NULL; the note for the torrents' wide numbers.
    const std::string sqlite = sql_schema(SqlEngine::Sqlite, "blocks", TorrentTables::Included);
    EXPECT_NE(sqlite.find(".import --csv --skip 1 torrents.csv torrents\n"
                          "-- An empty previous_hash in the CSV file stands for NULL.\n"
                          "UPDATE torrents SET previous_hash = NULL WHERE previous_hash = '';\n"),
              std::string::npos) << sqlite;
    EXPECT_NE(sqlite.find("so length, this_block_difficulty and vrf\n"), std::string::npos) << sqlite;
    EXPECT_EQ(table_name(StoreTable::TorrentPieces, "blocks"), "torrent_pieces");
}

// Each sample of a summary, NaN for heights that do not exist, every code.
TEST(VerifyMetrics, EverySampleOfASummary) {
    VerifySummary found;
    found.from = 5;
    found.to = 9;
    found.blocks = 4;
    found.torrents = 3;
    found.problems = 3;
    found.by_code[static_cast<std::size_t>(ProblemCode::BlockMissing)] = 1;
    found.by_code[static_cast<std::size_t>(ProblemCode::TorrentMismatch)] = 2;
    found.verified_through = 6;
    found.first_bad_height = 7;
    const std::vector<std::pair<VerifySummary, std::vector<std::string>>> cases = {
        {VerifySummary{},
         {"heights_checked 0", "blocks 0", "from_height NaN", "to_height NaN", "problems{code=\"chain_broken\"} 0",
          "verified_through_height NaN", "first_bad_height NaN"}},
        {found,
         {"heights_checked 5", "blocks 4", "torrents 3", "from_height 5", "to_height 9",
          "problems{code=\"block_missing\"} 1", "problems{code=\"torrent_missing\"} 0",
          "problems{code=\"torrent_mismatch\"} 2", "verified_through_height 6", "first_bad_height 7"}},
    };
    const auto finished = std::chrono::system_clock::time_point(std::chrono::seconds(1700000000));
    for (const auto& [summary, samples] : cases) {
        const std::string text = verify_metrics(summary, std::chrono::duration<double>(1.25), finished);
        for (const std::string& sample : samples) {
            EXPECT_NE(text.find("\nchainscan_verify_" + sample + "\n"), std::string::npos) << sample << "\n" << text;
        }
        EXPECT_NE(text.find("\nchainscan_verify_duration_seconds 1.250000\n"), std::string::npos);
        EXPECT_NE(text.find("\nchainscan_verify_last_run_timestamp_seconds 1700000000.000000\n"), std::string::npos);
        EXPECT_EQ(text.find("# TYPE chainscan_verify_problems gauge\n"), text.rfind("# TYPE chainscan_verify_problems"));
    }
}

// A height's lines: none on standard output without a block that decodes;
// each record's failure on standard error after the height.
TEST(DumpLines, ALineOnlyForABlockThatDecodes) {
    const auto bytes = testing::block_file(testing::worked_example_header(), testing::zero_proof());
    RawBlock raw;
    std::copy(bytes.begin(), bytes.end(), raw.bytes.begin());
    raw.size = bytes.size();
    const auto contents = decode_block_bytes(raw, 7);
    ASSERT_TRUE(contents.has_value());
    HeightScan good;
    good.height = 7;
    good.block = ScannedBlock{*contents, std::string(64, 'a')};
    HeightScan bad;
    bad.height = 8;
    bad.block = std::unexpected(RecordFailure{RecordKind::Block, RecordFailure::Step::Read, "gone"});
    bad.torrent = std::unexpected(RecordFailure{RecordKind::Torrent, RecordFailure::Step::Decode, "short"});
    struct Case {
        const HeightScan& scan;
        DumpShape shape;
        std::string line_start;
        std::string line_end;
        std::string errors;
    };
    const std::vector<Case> cases = {
        {good, {}, "{\"height\":7,\"difficulty\":", "0000\"}\n", ""},
        {good, {DumpFormat::JsonLines, false, true}, "{\"height\":7,", "42},\"torrent\":null}\n", ""},
        {good, {DumpFormat::Csv, true, false}, "7,aaaa", ",7,42\n", ""},
        {bad, {}, "", "", "8: Error: gone\n8: Failed to parse torrent: short\n"},
    };
    for (const auto& c : cases) {
        const std::string line = dump_line(c.scan, c.shape);
        EXPECT_TRUE(line.starts_with(c.line_start)) << line;
        EXPECT_TRUE(line.ends_with(c.line_end)) << line;
        EXPECT_EQ(line.find("proof") != std::string::npos,
                  !line.empty() && c.shape.proof && c.shape.format == DumpFormat::JsonLines);
        EXPECT_EQ(dump_errors(c.scan), c.errors);
    }
}

}  // namespace
}  // namespace quorvane

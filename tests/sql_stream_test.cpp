#include "scan/views/sql_stream.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvane {
namespace {

TEST(SqlLiterals, AnyBytesStayOneValue) {
    struct Case {
        std::string text;
        std::string literal;  // in a VALUES row
        std::string copied;   // in a COPY text row
    };
    const std::vector<Case> cases = {
        {"abc.veq", "'abc.veq'", "abc.veq"},
        {"it's ''x''", "'it''s ''''x'''''", "it's ''x''"},
        {"back\\slash", "'back\\slash'", "back\\\\slash"},
        {"tab\tline\nreturn\r", "'tab\tline\nreturn\r'", "tab\\tline\\nreturn\\r"},
        {"caf\xC3\xA9", "'caf\xC3\xA9'", "caf\xC3\xA9"},
        {std::string("nul\0x", 5), "'nul\xEF\xBF\xBDx'", "nul\xEF\xBF\xBDx"},
        {"bad \xFF byte", "'bad \xEF\xBF\xBD byte'", "bad \xEF\xBF\xBD byte"},
        {"", "''", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sql_text_literal(c.text), c.literal) << c.text;
        EXPECT_EQ(copy_text_field(c.text), c.copied) << c.text;
    }
}

TEST(SqlStream, RowsAndBatchesPerEngine) {
    ScannedBlock block;
    UnminedBlock& header = block.contents.header.unmined_block;
    header.timestamp = 1700000000;
    header.miner = "o'k\\";
    header.previous_hash = "p";
    header.next_block_difficulty = UINT64_MAX;
    header.nonce = 255;
    block.contents.header.vrf = ~uint128{0};
    block.hash = std::string(64, 'f');
    // The form without a previous hash, at the top of every range.
    Torrent torrent;
    torrent.info.length = UINT64_MAX;
    torrent.info.this_block_difficulty = UINT64_MAX;
    torrent.info.timestamp = UINT32_MAX;
    torrent.info.nonce = 255;
    torrent.info.vrf = ~uint128{0};
    torrent.info.block_hash = "b";
    torrent.info.piece_length = UINT32_MAX;
    torrent.info.info_hash = "i";
    torrent.info.pieces = {{1, "h1"}, {255, "h255"}};
    torrent.mined_by = "m";
    const std::string hash = block.hash;
    const std::string difficulty = "18446744073709551615";
    const std::string vrf = "340282366920938463463374607431768211455";
    struct Case {
        SqlEngine engine;
        std::string row;
        std::string batch_start;  // of heights 3-9 with rows at 5 and 6, after the two deletes
        std::string batch_end;
        std::string opening;  // up to the table
        std::string torrent_row;
        std::string pieces;  // the pieces table's part of the batch of heights 3-9, whole
    };
    const std::vector<Case> cases = {
        {SqlEngine::Sqlite,
         "(5,'" + hash + "','" + difficulty + "',1700000000,'o''k\\','p','" + difficulty + "',255,'" + vrf + "')",
         "INSERT OR REPLACE INTO t VALUES\n(5,",
         "),\n(6,", ".timeout 60000\n",
         "(5,'" + difficulty + "','" + difficulty + "',4294967295,255,'" + vrf + "','b',NULL,4294967295,'i','m',2)",
         "DELETE FROM t_torrent_pieces WHERE height BETWEEN 3 AND 9;\nINSERT INTO t_torrent_pieces VALUES\n"
         "(5,1,'h1'),\n(5,255,'h255'),\n(6,1,'h1'),\n(6,255,'h255');\n"},
        {SqlEngine::DuckDb,
         "(5,'" + hash + "'," + difficulty + ",1700000000,'o''k\\','p'," + difficulty + ",255,'" + vrf + "'::UHUGEINT)",
         "INSERT OR REPLACE INTO t VALUES\n(5,",
         "),\n(6,", "",
         "(5," + difficulty + "," + difficulty + ",4294967295,255,'" + vrf + "'::UHUGEINT,'b',NULL,4294967295,'i','m',2)",
         "DELETE FROM t_torrent_pieces WHERE height BETWEEN 3 AND 9;\nINSERT INTO t_torrent_pieces VALUES\n"
         "(5,1,'h1'),\n(5,255,'h255'),\n(6,1,'h1'),\n(6,255,'h255');\n"},
        {SqlEngine::PostgreSql,
         "5\t" + hash + "\t" + difficulty + "\t1700000000\to'k\\\\\tp\t" + difficulty + "\t255\t" + vrf + "\n",
         "COPY pg_temp.chainscan_load (height, hash_value, difficulty, timestamp, miner, previous_hash, "
         "next_block_difficulty, nonce, vrf) FROM STDIN;\n5\t",
         "\n6\t", "SET client_min_messages = warning;\n",
         "5\t" + difficulty + "\t" + difficulty + "\t4294967295\t255\t" + vrf + "\tb\t\\N\t4294967295\ti\tm\t2\n",
         "COPY pg_temp.chainscan_load_torrent_pieces (height, piece_index, hash) FROM STDIN;\n"
         "5\t1\th1\n5\t255\th255\n6\t1\th1\n6\t255\th255\n\\.\n"
         "DELETE FROM t_torrent_pieces AS kept WHERE kept.height BETWEEN 3 AND 9 AND NOT EXISTS (SELECT 1 FROM "
         "pg_temp.chainscan_load_torrent_pieces AS new WHERE new.height = kept.height AND new.piece_index = kept.piece_index"
         " AND new.hash IS NOT DISTINCT FROM kept.hash);\n"
         "INSERT INTO t_torrent_pieces SELECT * FROM pg_temp.chainscan_load_torrent_pieces AS new WHERE NOT EXISTS "
         "(SELECT 1 FROM t_torrent_pieces AS kept WHERE new.height = kept.height AND new.piece_index = kept.piece_index);\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.engine));
        const SqlStream stream(c.engine, "t", TorrentTables::Left);
        EXPECT_TRUE(stream.opening().starts_with(c.opening + "CREATE TABLE IF NOT EXISTS t (\n")) << stream.opening();
        const std::vector<HeightRows> rows = {stream.rows({5, &block, &torrent}), stream.rows({6, &block})};
        EXPECT_EQ(rows_in(rows[0].packed), 1u);
        const std::string sql = stream.batch(3, 9, rows);
        EXPECT_TRUE(sql.starts_with("BEGIN;\nDELETE FROM t WHERE height BETWEEN 3 AND 4;\n"
                                    "DELETE FROM t WHERE height BETWEEN 7 AND 9;\n" + c.batch_start)) << sql;
        EXPECT_NE(sql.find(c.row), std::string::npos) << sql;
        EXPECT_NE(sql.find(c.batch_end), std::string::npos) << sql;
        EXPECT_TRUE(sql.ends_with(";\nCOMMIT;\n")) << sql;
        // A batch without rows only removes; the last height there can be is one.
        EXPECT_EQ(stream.batch(4294967290u, 4294967295u, {}),
                  "BEGIN;\nDELETE FROM t WHERE height BETWEEN 4294967290 AND 4294967295;\nCOMMIT;\n");
        EXPECT_EQ(stream.batch(5, 5, std::span(rows).first(1)).find("DELETE"), std::string::npos);

        // The torrent tables beside: a row of each record, a row of each piece.
        const SqlStream all(c.engine, "t", TorrentTables::Included);
        EXPECT_NE(all.opening().find("CREATE TABLE IF NOT EXISTS t_torrent_pieces (\n"), std::string::npos);
        const std::vector<HeightRows> both = {all.rows({5, &block, &torrent}), all.rows({6, nullptr, &torrent}),
                                              all.rows({7, &block})};
        EXPECT_EQ(rows_in(both[0].packed), 4u);
        const std::string with_torrents = all.batch(3, 9, both);
        EXPECT_NE(with_torrents.find(c.torrent_row), std::string::npos) << with_torrents;
        EXPECT_NE(with_torrents.find("DELETE FROM t_torrents WHERE height BETWEEN 3 AND 4;\n"
                                     "DELETE FROM t_torrents WHERE height BETWEEN 7 AND 9;\n"),
                  std::string::npos) << with_torrents;
        EXPECT_TRUE(with_torrents.ends_with(c.pieces + "COMMIT;\n")) << with_torrents;
    }
}

}  // namespace
}  // namespace quorvane

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
    const std::string hash = block.hash;
    const std::string difficulty = "18446744073709551615";
    const std::string vrf = "340282366920938463463374607431768211455";
    struct Case {
        SqlEngine engine;
        std::string row;
        std::string batch_start;  // of heights 3-9 with rows at 5 and 6, after the two deletes
        std::string batch_end;
        std::string opening;  // up to the table
    };
    const std::vector<Case> cases = {
        {SqlEngine::Sqlite,
         "(5,'" + hash + "','" + difficulty + "',1700000000,'o''k\\','p','" + difficulty + "',255,'" + vrf + "')",
         "INSERT OR REPLACE INTO t VALUES\n(5,",
         "),\n(6,", ".timeout 60000\n"},
        {SqlEngine::DuckDb,
         "(5,'" + hash + "'," + difficulty + ",1700000000,'o''k\\','p'," + difficulty + ",255,'" + vrf + "'::UHUGEINT)",
         "INSERT OR REPLACE INTO t VALUES\n(5,",
         "),\n(6,", ""},
        {SqlEngine::PostgreSql,
         "5\t" + hash + "\t" + difficulty + "\t1700000000\to'k\\\\\tp\t" + difficulty + "\t255\t" + vrf + "\n",
         "COPY pg_temp.chainscan_load (height, hash_value, difficulty, timestamp, miner, previous_hash, "
         "next_block_difficulty, nonce, vrf) FROM STDIN;\n5\t",
         "\n6\t", "SET client_min_messages = warning;\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.engine));
        const SqlStream stream(c.engine, "t");
        EXPECT_TRUE(stream.opening().starts_with(c.opening + "CREATE TABLE IF NOT EXISTS t (\n")) << stream.opening();
        EXPECT_EQ(stream.row({5, block}).text, c.row);
        const std::vector<SqlRow> rows = {stream.row({5, block}), stream.row({6, block})};
        const std::string sql = stream.batch(3, 9, rows);
        EXPECT_TRUE(sql.starts_with("BEGIN;\nDELETE FROM t WHERE height BETWEEN 3 AND 4;\n"
                                    "DELETE FROM t WHERE height BETWEEN 7 AND 9;\n" + c.batch_start)) << sql;
        EXPECT_NE(sql.find(c.batch_end), std::string::npos) << sql;
        EXPECT_TRUE(sql.ends_with(";\nCOMMIT;\n")) << sql;
        // A batch without rows only removes; the last height there can be is one.
        EXPECT_EQ(stream.batch(4294967290u, 4294967295u, {}),
                  "BEGIN;\nDELETE FROM t WHERE height BETWEEN 4294967290 AND 4294967295;\nCOMMIT;\n");
        EXPECT_EQ(stream.batch(5, 5, std::span(rows).first(1)).find("DELETE"), std::string::npos);
    }
}

}  // namespace
}  // namespace quorvane

#include "scan/verify_report.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace quorvane {
namespace {

const std::string HASH_A(64, 'a');
const std::string HASH_B(64, 'b');
const std::string MINER = "0102030405060708090a0b0c0d0e0f1011121314.vetq";

ScannedBlock block() {
    ScannedBlock scanned;
    UnminedBlock& header = scanned.contents.header.unmined_block;
    header.timestamp = 1700000000;
    header.miner = MINER;
    header.previous_hash = HASH_B;
    header.nonce = 7;
    scanned.contents.header.vrf = 42;
    scanned.hash = HASH_A;
    return scanned;
}

// The torrent record that agrees with block().
Torrent agreeing_torrent() {
    Torrent torrent;
    torrent.info.timestamp = 1700000000;
    torrent.info.nonce = 7;
    torrent.info.vrf = 42;
    torrent.info.block_hash = HASH_A;
    torrent.info.previous_hash = HASH_B;
    torrent.mined_by = MINER;
    return torrent;
}

TEST(TorrentDifferences, ListsEveryFieldThatDiffers) {
    struct Case {
        std::string name;
        std::function<void(Torrent&)> edit;
        std::string text;  // the fields as the text report shows them
    };
    const std::vector<Case> cases = {
        {"agreeing", [](Torrent&) {}, ""},
        {"block_hash", [](Torrent& t) { t.info.block_hash = HASH_B; },
         "block_hash (block " + HASH_A + ", torrent " + HASH_B + ")"},
        {"timestamp", [](Torrent& t) { t.info.timestamp += 1; }, "timestamp (block 1700000000, torrent 1700000001)"},
        {"nonce", [](Torrent& t) { t.info.nonce = 8; }, "nonce (block 7, torrent 8)"},
        {"vrf", [](Torrent& t) { t.info.vrf = uint128{1} << 100; },
         "vrf (block 42, torrent 1267650600228229401496703205376)"},
        {"mined_by", [](Torrent& t) { t.mined_by = "x.veq"; }, "mined_by (block " + MINER + ", torrent x.veq)"},
        {"previous_hash", [](Torrent& t) { t.info.previous_hash = HASH_A; },
         "previous_hash (block " + HASH_B + ", torrent " + HASH_A + ")"},
        {"no previous hash in the record", [](Torrent& t) { t.info.previous_hash.clear(); }, ""},
        {"two fields, in order", [](Torrent& t) { t.info.nonce = 9; t.info.timestamp = 1; },
         "timestamp (block 1700000000, torrent 1), nonce (block 7, torrent 9)"},
    };
    for (const auto& c : cases) {
        Torrent torrent = agreeing_torrent();
        c.edit(torrent);
        const auto differences = torrent_differences(block(), torrent);
        Problem problem{ProblemCode::TorrentMismatch, 5, 5, {}, {}, {}, differences};
        const std::string expected = c.text.empty() ? "" : "5: torrent_mismatch: " + c.text;
        EXPECT_EQ(differences.empty() ? "" : problem_text(problem), expected) << c.name;
    }
}

TEST(ProblemJson, NumbersStayNumbersAndTextsTexts) {
    Torrent torrent = agreeing_torrent();
    torrent.info.vrf = uint128{1} << 100;
    torrent.mined_by = "x.veq";
    const Problem problem{ProblemCode::TorrentMismatch, 5, 5, {}, {}, {}, torrent_differences(block(), torrent)};
    EXPECT_EQ(problem_json(problem),
              R"({"type":"problem","code":"torrent_mismatch","height":5,"fields":[)"
              R"({"field":"vrf","block":42,"torrent":1267650600228229401496703205376},)"
              R"({"field":"mined_by","block":")" + MINER + R"(","torrent":"x.veq"}]})");
    const Problem broken{ProblemCode::ChainBroken, 8, 8, {}, HASH_A, HASH_B, {}};
    EXPECT_EQ(problem_json(broken), R"({"type":"problem","code":"chain_broken","height":8,"expected":")" + HASH_A +
                                        R"(","found":")" + HASH_B + R"("})");
    EXPECT_EQ(problem_text(broken),
              "8: chain_broken: previous_hash " + HASH_B + " is not the hash of block 7 (" + HASH_A + ")");
    const Problem missing{ProblemCode::TorrentMissing, 3, 3, {}, {}, {}, {}};
    EXPECT_EQ(problem_text(missing), "3: torrent_missing");
    EXPECT_EQ(problem_json(missing), R"({"type":"problem","code":"torrent_missing","from":3,"to":3})");
    const Problem invalid{ProblemCode::BlockInvalid, 9, 9, "bad \"x\" \xFF", {}, {}, {}};
    EXPECT_EQ(problem_json(invalid),
              R"({"type":"problem","code":"block_invalid","height":9,"message":"bad \"x\" )" "\xEF\xBF\xBD" R"("})");
}

}  // namespace
}  // namespace quorvane

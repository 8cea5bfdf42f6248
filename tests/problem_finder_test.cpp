#include "scan/checks/problem_finder.hpp"
#include "scan/report/problem_lines.hpp"
#include "scan/checks/store_comparison.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/scan_builders.hpp"

namespace quorvane {
namespace {

using testing::agreeing_torrent;
using testing::HASH_A;
using testing::HASH_B;
using testing::MINER;
using testing::scan_at;

ScannedBlock block() { return testing::scanned_block(); }

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
        const Problem problem = Problem::torrent_mismatch(5, differences);
        const std::string expected = c.text.empty() ? "" : "5: torrent_mismatch: " + c.text;
        EXPECT_EQ(differences.empty() ? "" : problem_text(problem), expected) << c.name;
    }
}

TEST(ProblemJson, NumbersStayNumbersAndTextsTexts) {
    Torrent torrent = agreeing_torrent();
    torrent.info.vrf = uint128{1} << 100;
    torrent.mined_by = "x.veq";
    const Problem problem = Problem::torrent_mismatch(5, torrent_differences(block(), torrent));
    EXPECT_EQ(problem_json(problem),
              R"({"type":"problem","code":"torrent_mismatch","height":5,"fields":[)"
              R"({"field":"vrf","block":42,"torrent":1267650600228229401496703205376},)"
              R"({"field":"mined_by","block":")" + MINER + R"(","torrent":"x.veq"}]})");
    const Problem broken = Problem::chain_broken(8, HASH_A, HASH_B);
    EXPECT_EQ(problem_json(broken), R"({"type":"problem","code":"chain_broken","height":8,"expected":")" + HASH_A +
                                        R"(","found":")" + HASH_B + R"("})");
    EXPECT_EQ(problem_text(broken),
              "8: chain_broken: previous_hash " + HASH_B + " is not the hash of block 7 (" + HASH_A + ")");
    const Problem missing = Problem::missing(ProblemCode::TorrentMissing, 3, 3);
    EXPECT_EQ(problem_text(missing), "3: torrent_missing");
    EXPECT_EQ(problem_json(missing), R"({"type":"problem","code":"torrent_missing","from":3,"to":3})");
    const Problem invalid = Problem::invalid(9, {RecordKind::Block, RecordFailure::Step::Decode, "bad \"x\" \xFF"});
    EXPECT_EQ(problem_json(invalid),
              R"({"type":"problem","code":"block_invalid","height":9,"message":"bad \"x\" )" "\xEF\xBF\xBD" R"("})");
}

// "+7" takes height 7, "~7" takes it again as a rewrite (with its
// neighbours as they are); a suffix "!" breaks its link below, "-b" and
// "-t" leave its block or torrent record out; "stream" starts following.
TEST(ProblemFinder, FollowedRunSummarisesEverythingItReported) {
    struct Case {
        std::string name;
        std::vector<std::string> steps;
        std::string lines;  // the problems, one "|" each, then the summary
    };
    std::vector<std::string> ten;
    for (int h = 0; h < 10; ++h) ten.push_back(std::string("+").append(std::to_string(h)));
    const auto after = [&](std::vector<std::string> more) {
        std::vector<std::string> steps = ten;
        steps.push_back("stream");
        steps.insert(steps.end(), more.begin(), more.end());
        return steps;
    };
    const std::vector<Case> cases = {
        {"a high problem, then a lower one", after({"~6!", "~3!"}),
         "6: chain_broken|3: chain_broken|checked heights 0-9: 10 blocks, 10 torrent records, 2 problems "
         "(chain_broken 2); verified through 2"},
        {"a low problem, then a higher one", after({"~3!", "~6!"}),
         "3: chain_broken|6: chain_broken|checked heights 0-9: 10 blocks, 10 torrent records, 2 problems "
         "(chain_broken 2); verified through 2"},
        {"a rewrite that repairs a bad height takes nothing back", after({"~3!", "~3"}),
         "3: chain_broken|checked heights 0-9: 10 blocks, 10 torrent records, 1 problem (chain_broken 1); "
         "verified through 2"},
        {"a late block is counted once", {"+0", "+1-b", "+2", "stream", "~1", "~1"},
         "1: block_missing|checked heights 0-2: 3 blocks, 3 torrent records, 1 problem (block_missing 1); "
         "verified through 0"},
        {"a record that went away is counted out", after({"~0-t"}),
         "0: torrent_missing|checked heights 0-9: 10 blocks, 9 torrent records, 1 problem (torrent_missing 1); "
         "no height verified"},
        {"late records at both ends of a run of absent ones", {"+0", "+1-t", "+2-t", "+3-t", "~2", "~1", "~3", "+4"},
         "1: torrent_missing|checked heights 0-4: 5 blocks, 5 torrent records, 1 problem (torrent_missing 1); "
         "verified through 0"},
        {"a late record splits the open range", {"+0", "stream", "+1-t", "+2-t", "+3-t", "~2", "+4"},
         "1: torrent_missing|3: torrent_missing|checked heights 0-4: 5 blocks, 3 torrent records, "
         "2 problems (torrent_missing 2); verified through 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProblemFinder report(0, 9);
        report.keep_absent_heights();
        // The heights and codes are under test here; the details have their own tables.
        std::string lines;
        report.observe([&](const Problem& p) { lines += problem_heights(p) + ": " + std::string(problem_code_name(p.code)) + "|"; });
        std::uint32_t next = 0;
        for (const auto& step : c.steps) {
            if (step == "stream") {
                report.stream();
                continue;
            }
            const std::uint32_t h = static_cast<std::uint32_t>(std::stoul(step.substr(1)));
            const HeightScan scan = scan_at(h, !step.ends_with("-b"), !step.ends_with("-t"), step.ends_with("!"));
            if (step[0] == '+') {
                report.add(scan);
                next = h + 1;
            } else {
                const HeightScan above = scan_at(h + 1);
                report.recheck(scan_at(h - 1), scan, h + 1 < next ? &above : nullptr);
            }
        }
        report.end_at(next - 1);
        report.finish();
        lines += summary_text(report.summary());
        lines.pop_back();
        EXPECT_EQ(lines, c.lines);
    }
}

// Runs of differences come out by their first height, a block's before a
// torrent record's, each once it has ended and no open run starts before it.
TEST(StoreComparison, RunsInOrderOfTheirFirstHeight) {
    struct Case {
        std::string name;
        std::vector<std::string> heights;  // "h:bt", a letter per record: s same, t only this, o only other, d differs, u unreadable, n neither
        std::string runs;                  // as released, "|" after each take, "=" before the last ones
    };
    const std::vector<Case> cases = {
        {"a torrent run inside a block run", {"1:ds", "2:dd", "3:dd", "4:ds", "5:ss"}, "||||block differs 1-4,torrent differs 2-3|=|"},
        {"a torrent run that starts first", {"1:st", "2:tt", "3:ts", "4:ss"}, "||torrent only_this 1-2|block only_this 2-3|=|"},
        {"a height neither holds ends a run", {"1:os", "3:os", "4:ss"}, "|block only_other 1-1|block only_other 3-3|=|"},
        {"runs left open at the end", {"1:ss", "2:uo"}, "||=block unreadable 2-2,torrent only_other 2-2|"},
        {"in neither is no difference", {"1:nn", "2:nn"}, "||=|"},
    };
    const auto agreement = [](char letter) {
        switch (letter) {
            case 't': return Agreement::OnlyThis;
            case 'o': return Agreement::OnlyOther;
            case 'd': return Agreement::Differs;
            case 'u': return Agreement::Unreadable;
            case 'n': return Agreement::InNeither;
            default: return Agreement::Same;
        }
    };
    for (const auto& c : cases) {
        StoreComparison comparison(1, 5);
        std::string runs;
        const auto add_runs = [&](const std::vector<DifferenceRun>& released) {
            for (std::size_t i = 0; i < released.size(); ++i) {
                const auto& run = released[i];
                runs += (i > 0 ? "," : "") + std::string(StoreLayout::noun(run.record)) + " " +
                        std::string(difference_name(run.code)) + " " + std::to_string(run.from) + "-" + std::to_string(run.to);
            }
        };
        for (const auto& step : c.heights) {
            const auto height = static_cast<std::uint32_t>(std::stoul(step));
            const std::string letters = step.substr(step.find(':') + 1);
            comparison.add(height, agreement(letters[0]), agreement(letters[1]), std::nullopt);
            add_runs(comparison.take_runs());
            runs += "|";
        }
        runs += "=";
        add_runs(comparison.finish());
        runs += "|";
        EXPECT_EQ(runs, c.runs) << c.name;
    }
}

}  // namespace
}  // namespace quorvane

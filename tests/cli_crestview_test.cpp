#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/cli_harness.hpp"
#include "support/record_builders.hpp"
#include "support/worked_examples.hpp"

namespace quorvane::testing {
namespace {

const std::string CRESTVIEW = CRESTVIEW_BINARY;

const std::string WORKED_EXAMPLE_OUTPUT =
    "difficulty: 580780308832607816\n"
    "hash_value: 0d4282790a3bfe0a568b8aa895e8ddc12e880d7985ac20f25b6de9944f188746\n" +
    worked_example_block_document(std::string(1332, '0')) + "\n";

const std::string INVALID_NUMBER =
    "Error: The provided block number must be a valid unsigned 32-bit integer.\n";
const std::string NOT_FOUND = R"(Os { code: 2, kind: NotFound, message: "No such file or directory" })";

// A node directory with a valid settings.ini and the worked example at height 7.
struct Node {
    TempDir dir;
    Node() {
        dir.write("settings.ini", valid_settings_text());
        write_block(7, as_text(block_file(worked_example_header(), zero_proof())));
    }
    void write_block(std::uint64_t height, const std::string& content) const {
        dir.write("blocks/testnet/" + std::to_string(height) + ".vetq", content);
    }
    RunResult run(const std::vector<std::string>& arguments, RunOptions options = {}) const {
        if (options.working_directory.empty()) options.working_directory = dir.path();
        return run_program(CRESTVIEW, arguments, options);
    }
};

std::string worked_example_file_cut_to(std::size_t size) {
    std::string bytes = as_text(block_file(worked_example_header(), zero_proof()));
    bytes.resize(size, '\x77');
    return bytes;
}

TEST(CrestviewCli, PrintsTheWorkedExample) {
    const Node node;
    for (const std::string height : {"7", "+7", "007"}) {
        const auto result = node.run({height});
        EXPECT_EQ(result.status, 0) << height;
        EXPECT_EQ(result.out, WORKED_EXAMPLE_OUTPUT) << height;
        EXPECT_EQ(result.err, "") << height;
    }
}

TEST(CrestviewCli, BlockFileOutcomes) {
    struct Case {
        std::string name;
        std::string content;
        int status;
        std::string out;
        std::string err;
    };
    const std::string parse_error =
        R"(Error: Error parsing block: Custom { kind: Other, error: "Invalid Byte Count for Block" })" "\n";
    std::string bad_miner = worked_example_file_cut_to(749);
    bad_miner[25] = 3;
    const std::vector<Case> cases = {
        {"bytes after the proof are never read", worked_example_file_cut_to(5000), 0, WORKED_EXAMPLE_OUTPUT, ""},
        {"exactly 749 bytes", worked_example_file_cut_to(749), 0, WORKED_EXAMPLE_OUTPUT, ""},
        {"header only", worked_example_file_cut_to(83), 2, "",
         "Error: Block 7 does not contain a complete 749-byte header\n"},
        {"one byte short of the proof", worked_example_file_cut_to(748), 2, "",
         "Error: Block 7 does not contain a complete 749-byte header\n"},
        {"82 bytes", worked_example_file_cut_to(82), 2, "", parse_error},
        {"empty", "", 2, "", parse_error},
        {"bad network byte", bad_miner, 2, "",
         R"(Error: Error parsing block: Custom { kind: Other, error: "Invalid short miner address" })" "\n"},
    };
    for (const auto& c : cases) {
        const Node node;
        node.write_block(7, c.content);
        const auto result = node.run({"7"});
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.out, c.out) << c.name;
        EXPECT_EQ(result.err, c.err) << c.name;
    }
}

TEST(CrestviewCli, MissingOrUnreadableBlockFile) {
    const Node node;
    auto result = node.run({"8"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error: Error opening block file for height 8: " + NOT_FOUND + "\n");

    std::filesystem::create_directories(node.dir / "blocks/testnet/9.vetq");
    result = node.run({"9"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err,
              "Error: Error reading block header for height 9: "
              R"(Os { code: 21, kind: IsADirectory, message: "Is a directory" })" "\n");
}

TEST(CrestviewCli, HeightsAtBothEndsNameTheirFiles) {
    const Node node;
    const std::string content = as_text(block_file(worked_example_header(), zero_proof()));
    node.write_block(0, content);
    node.write_block(4294967295ULL, content);
    for (const std::string height : {"0", "+0", "4294967295"}) {
        const auto result = node.run({height});
        EXPECT_EQ(result.status, 0) << height;
        EXPECT_EQ(result.out, WORKED_EXAMPLE_OUTPUT) << height;
    }
}

TEST(CrestviewCli, LargeVrfPrintsAllItsDigits) {
    const Node node;
    BlockHeaderFields fields = worked_example_header();
    fields.miner.network = 2;
    fields.vrf = (uint128{1} << 127) + 5;
    node.write_block(8, as_text(block_file(fields, zero_proof())));
    const auto result = node.run({"8"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(result.out.starts_with(
        "difficulty: 10489778428625731690\n"
        "hash_value: 91f8126e9da83efc2dc1d315ef9f74ac55cd2991c15ea0dfcc1a061f6cc6ae06\n"));
    EXPECT_NE(result.out.find("    \"vrf\": 170141183460469231731687303715884105733\n"), std::string::npos);
}

TEST(CrestviewCli, RejectsBadCommandLines) {
    const Node node;
    struct Case {
        std::vector<std::string> arguments;
        std::string err;
    };
    const std::string usage = "Usage: " + CRESTVIEW + " <block_number>\n";
    const std::vector<Case> cases = {
        {{}, usage},
        {{"7", "a", "b", "c"}, usage},
        {{""}, INVALID_NUMBER},
        {{"+"}, INVALID_NUMBER},
        {{"-"}, INVALID_NUMBER},
        {{"-0"}, INVALID_NUMBER},
        {{"-1"}, INVALID_NUMBER},
        {{"4294967296"}, INVALID_NUMBER},
        {{"99999999999"}, INVALID_NUMBER},
        {{" 7"}, INVALID_NUMBER},
        {{"7 "}, INVALID_NUMBER},
        {{"0x10"}, INVALID_NUMBER},
        {{"1e3"}, INVALID_NUMBER},
        {{"5.0"}, INVALID_NUMBER},
        {{"++7"}, INVALID_NUMBER},
        {{"--config", "settings.ini", "7"}, INVALID_NUMBER},
        {{"7", "--config"}, "Error: --config flag requires a path\n"},
    };
    for (const auto& c : cases) {
        const auto result = node.run(c.arguments);
        EXPECT_EQ(result.status, 1) << ::testing::PrintToString(c.arguments);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.err) << ::testing::PrintToString(c.arguments);
    }
}

TEST(CrestviewCli, UsageRepeatsProgramNameVerbatim) {
    const Node node;
    RunOptions options;
    options.argv0 = "./some/relative/crestview";
    const auto result = node.run({}, options);
    EXPECT_EQ(result.err, "Usage: ./some/relative/crestview <block_number>\n");
}

TEST(CrestviewCli, FindsSettingsByOptionVariableOrDirectory) {
    const Node node;
    TempDir elsewhere;
    // --config wins over SETTINGS_PATH, which wins over the current directory.
    RunOptions options;
    options.working_directory = elsewhere.path();
    options.environment["SETTINGS_PATH"] = node.dir / "settings.ini";
    auto result = node.run({"7"}, options);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, WORKED_EXAMPLE_OUTPUT);

    options.environment["SETTINGS_PATH"] = elsewhere / "missing.ini";
    result = node.run({"7", "--config", node.dir / "settings.ini"}, options);
    EXPECT_EQ(result.status, 0);

    result = node.run({"7"}, options);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "Error: Failed to load settings: Io(" + NOT_FOUND + ")\n");

    options.environment["SETTINGS_PATH"] = std::nullopt;
    result = node.run({"7"}, options);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "Error: Failed to load settings: Io(" + NOT_FOUND + ")\n");
}

TEST(CrestviewCli, SettingsDefectsStopBeforeAnyBlockFile) {
    struct Case {
        std::map<std::string, std::string> overrides;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{{"Paths.BLOCK_PATH", ""}}, "Error: Failed to load settings: \"BLOCK_PATH not found\"\n"},
        {{{"Settings.THREADS", "THREADS = 3"}},
         "Error: Failed to load settings: \"THREADS must be 1, 2, or a multiple of 4\"\n"},
        {{{"Settings.THREADS", "THREADS = x"}},
         "Error: Failed to load settings: ParseIntError { kind: InvalidDigit }\n"},
    };
    for (const auto& c : cases) {
        const Node node;
        node.dir.write("settings.ini", valid_settings_text(c.overrides));
        const auto result = node.run({"7"});
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.err);
    }
}

TEST(CrestviewCli, FailedOutputIsNeverSuccess) {
    const Node node;
    RunOptions options;
    options.stdout_path = "/dev/full";
    const auto result = node.run({"7"}, options);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "Error: failed printing to stdout: No space left on device\n");
}

}  // namespace
}  // namespace quorvane::testing

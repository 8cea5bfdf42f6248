#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/cli_harness.hpp"
#include "support/record_builders.hpp"
#include "support/worked_examples.hpp"
#include "torrent/structs.hpp"

namespace quorvane::testing {
namespace {

const std::string SWARMVIEW = SWARMVIEW_BINARY;

const std::string WORKED_EXAMPLE_OUTPUT = std::string(WORKED_EXAMPLE_TORRENT_JSON) + "\n";

struct Node {
    TempDir dir;
    Node() {
        dir.write("settings.ini", valid_settings_text());
        write_torrent("7", as_text(encode_torrent(worked_example_torrent())));
    }
    std::string torrent_dir() const { return dir / "torrents/testnet"; }
    void write_torrent(const std::string& name, const std::string& content) const {
        dir.write("torrents/testnet/" + name + ".torrent", content);
    }
    RunResult run(const std::vector<std::string>& arguments, RunOptions options = {}) const {
        if (options.working_directory.empty()) options.working_directory = dir.path();
        options.environment["SETTINGS_PATH"] = dir / "settings.ini";
        return run_program(SWARMVIEW, arguments, options);
    }
};

TEST(SwarmviewCli, PrintsTheWorkedExample) {
    const Node node;
    const auto result = node.run({"7", "extra", "arguments"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, WORKED_EXAMPLE_OUTPUT);
    EXPECT_EQ(result.err, "");
}

TEST(SwarmviewCli, BlockNumberIsUsedAsText) {
    const Node node;
    node.write_torrent("42", as_text(encode_torrent(worked_example_torrent())));
    struct Case {
        std::string argument;
        int status;
        std::string err;
    };
    const std::string dir = node.torrent_dir();
    const std::vector<Case> cases = {
        {"42", 0, ""},
        {"042", 1, "Torrent file not found: " + dir + "/042.torrent\n"},
        {"abc", 1, "Torrent file not found: " + dir + "/abc.torrent\n"},
        {"4294967296", 1, "Torrent file not found: " + dir + "/4294967296.torrent\n"},
        {"", 1, "Torrent file not found: " + dir + "/.torrent\n"},
        // Separators pass straight into the path; a doubled one still names the file.
        {"/42", 0, ""},
        {"../testnet/42", 0, ""},
    };
    for (const auto& c : cases) {
        const auto result = node.run({c.argument});
        EXPECT_EQ(result.status, c.status) << c.argument;
        EXPECT_EQ(result.err, c.err) << c.argument;
        EXPECT_EQ(result.out, c.status == 0 ? WORKED_EXAMPLE_OUTPUT : "") << c.argument;
    }
}

TEST(SwarmviewCli, UndecodableRecordsFailWithTheirMessage) {
    Bytes appended = encode_torrent(worked_example_torrent());
    appended.push_back(0);
    struct Case {
        std::string name;
        std::string content;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"empty file", "", "Failed to parse torrent: Invalid Torrent Byte Count\n"},
        {"100 bytes", std::string(100, 'x'), "Failed to parse torrent: Invalid Torrent Byte Count\n"},
        {"one byte appended", as_text(appended), "Failed to parse torrent: Invalid Torrent piece section length\n"},
    };
    for (const auto& c : cases) {
        const Node node;
        node.write_torrent("7", c.content);
        const auto result = node.run({"7"});
        EXPECT_EQ(result.status, 1) << c.name;
        EXPECT_EQ(result.out, "") << c.name;
        EXPECT_EQ(result.err, c.err) << c.name;
    }
}

TEST(SwarmviewCli, HugeFilesFailQuicklyWithTheWholeFilesMessage) {
    const Node node;
    const std::string head = as_text(encode_torrent(worked_example_torrent()));
    struct Case {
        std::uint64_t size;
        std::string message;
    };
    // 1 GiB - 111 is 4 mod 17; 4 bytes less make the piece section whole.
    const std::vector<Case> cases = {
        {1ULL << 30, "Invalid Torrent piece section length"},
        {(1ULL << 30) - 4, "Invalid number of pieces"},
    };
    for (const auto& c : cases) {
        node.write_torrent("big", head);
        const std::string path = node.torrent_dir() + "/big.torrent";
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(c.size)), 0);
        const auto result = node.run({"big"});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "Failed to parse torrent: " + c.message + "\n") << c.size;
    }
}

TEST(SwarmviewCli, ExistingPathThatCannotBeReadIsAFlowError) {
    const Node node;
    std::filesystem::create_directories(node.torrent_dir() + "/8.torrent");
    const auto result = node.run({"8"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, R"(Error: Os { code: 21, kind: IsADirectory, message: "Is a directory" })" "\n");
}

TEST(SwarmviewCli, SettingsFailureIsAFatalStop) {
    const Node node;
    node.dir.write("settings.ini", valid_settings_text({{"Paths.BLOCK_PATH", ""}}));
    const auto result = node.run({"7"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error: Failed to load settings: \"BLOCK_PATH not found\"\n");
}

TEST(SwarmviewCli, UsageAndOutputFailures) {
    const Node node;
    auto result = node.run({});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Usage: " + SWARMVIEW + " <block_number>\n");

    RunOptions options;
    options.stdout_path = "/dev/full";
    result = node.run({"7"}, options);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "Error: failed printing to stdout: No space left on device\n");
}

}  // namespace
}  // namespace quorvane::testing

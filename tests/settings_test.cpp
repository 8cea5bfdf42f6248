#include "config/settings.hpp"

#include <cstdlib>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "config/settings_location.hpp"
#include "support/cli_harness.hpp"

namespace quorvane {
namespace {

using testing::valid_settings_text;

const std::optional<std::string> HOME = "/home/operator";
constexpr std::string_view BASE = "/etc/node";

std::expected<NodeSettings, SettingsError> load(const std::string& text) {
    return settings_from_text(text, BASE, HOME);
}

std::string failure(const std::string& text) {
    const auto result = load(text);
    return result ? "loaded" : result.error().diagnostic();
}

TEST(Settings, ValidFileFillsEveryField) {
    const auto settings = load(valid_settings_text());
    ASSERT_TRUE(settings.has_value()) << settings.error().diagnostic();
    EXPECT_EQ(settings->quorvane_values, std::vector<std::string>{"testnet"});
    EXPECT_EQ(settings->threads, 4);
    EXPECT_EQ(settings->block_path, "/etc/node/blocks");
    EXPECT_EQ(settings->torrent_path, "/etc/node/torrents");
    EXPECT_EQ(settings->wallet_name, "main.wallet");
    EXPECT_EQ(settings->log_path, "/etc/node/./logs");
    EXPECT_EQ(settings->log_level, "info");
    EXPECT_EQ(settings->public_ip, "127.0.0.1");
    EXPECT_EQ(settings->listen_ip, "0.0.0.0");
    EXPECT_EQ(settings->rpc_port, "9650");
    EXPECT_FALSE(settings->validator);
    EXPECT_EQ(settings->outgoing_connections, 8);
    EXPECT_EQ(settings->incoming_connections, 16);
    EXPECT_EQ(settings->storage_lookup_fee_per_byte, 0u);
    EXPECT_EQ(settings->postgres_host, "127.0.0.1");
    EXPECT_EQ(settings->postgres_port, 5432);
    EXPECT_EQ(settings->postgres_user, "quorvane");
    EXPECT_EQ(settings->postgres_password, std::nullopt);
    EXPECT_EQ(settings->postgres_dbname, "quorvane_testnet");
}

TEST(Settings, ReportsTheFirstFailureInTableOrder) {
    struct Case {
        std::string name;
        std::map<std::string, std::string> overrides;
        std::string diagnostic;
    };
    const std::vector<Case> cases = {
        {"THREADS before paths", {{"Settings.THREADS", "THREADS = 3"}, {"Paths.BLOCK_PATH", ""}},
         "\"THREADS must be 1, 2, or a multiple of 4\""},
        {"THREADS 257", {{"Settings.THREADS", "THREADS = 257"}}, "\"THREADS must be 1, 2, or a multiple of 4\""},
        {"THREADS 0", {{"Settings.THREADS", "THREADS = 0"}}, "\"THREADS must be between 1 and 256\""},
        {"THREADS 260", {{"Settings.THREADS", "THREADS = 260"}}, "\"THREADS must be between 1 and 256\""},
        {"THREADS 65536", {{"Settings.THREADS", "THREADS = 65536"}}, "ParseIntError { kind: PosOverflow }"},
        {"THREADS -4", {{"Settings.THREADS", "THREADS = -4"}}, "ParseIntError { kind: InvalidDigit }"},
        {"THREADS empty", {{"Settings.THREADS", "THREADS ="}}, "ParseIntError { kind: Empty }"},
        {"BLOCK_PATH before TORRENT_PATH", {{"Paths.BLOCK_PATH", ""}, {"Paths.TORRENT_PATH", ""}},
         "\"BLOCK_PATH not found\""},
        {"TORRENT_PATH", {{"Paths.TORRENT_PATH", ""}}, "\"TORRENT_PATH not found\""},
        {"DB_PATH", {{"Paths.DB_PATH", ""}}, "\"DB_PATH not found\""},
        {"WALLET_PATH", {{"Paths.WALLET_PATH", ""}}, "\"WALLET_PATH not found\""},
        {"WALLET_NAME", {{"Paths.WALLET_NAME", ""}}, "\"WALLET_NAME not found\""},
        {"BALANCE_SHEET before PUBLIC_IP", {{"Paths.BALANCE_SHEET", ""}, {"Settings.PUBLIC_IP", ""}},
         "\"BALANCE_SHEET not found\""},
        {"PUBLIC_IP", {{"Settings.PUBLIC_IP", ""}}, "\"PUBLIC_IP not found\""},
        {"RPC_PORT", {{"Settings.RPC_PORT", ""}}, "\"RPC_PORT not found\""},
        {"TESTNET_RPC_PORT", {{"Settings.TESTNET_RPC_PORT", ""}}, "\"TESTNET_RPC_PORT not found\""},
        {"VALIDATOR before connections",
         {{"Settings.+", "VALIDATOR = True"}, {"Settings.OUTGOING_CONNECTIONS", ""}}, "ParseBoolError"},
        {"OUTGOING_CONNECTIONS", {{"Settings.OUTGOING_CONNECTIONS", ""}}, "\"OUTGOING_CONNECTIONS not found\""},
        {"OUTGOING_CONNECTIONS 256", {{"Settings.OUTGOING_CONNECTIONS", "OUTGOING_CONNECTIONS = 256"}},
         "ParseIntError { kind: PosOverflow }"},
        {"INCOMING_CONNECTIONS", {{"Settings.INCOMING_CONNECTIONS", ""}}, "\"INCOMING_CONNECTIONS not found\""},
        {"fee before postgres", {{"Settings.+", "STORAGE_LOOKUP_FEE_PER_BYTE = -0"}, {"Postgres-Testnet.user", ""}},
         "\"decimal coin value cannot be negative\""},
        {"fee invalid", {{"Settings.+", "STORAGE_LOOKUP_FEE_PER_BYTE = abc"}}, "ParseFloatError { kind: Invalid }"},
        {"port before user", {{"Postgres-Testnet.+", "port = 70000"}, {"Postgres-Testnet.user", ""}},
         "ParseIntError { kind: PosOverflow }"},
        {"user", {{"Postgres-Testnet.user", ""}}, "\"postgres user not set\""},
        {"dbname", {{"Postgres-Testnet.dbname", ""}}, "\"postgres dbname not set\""},
    };
    for (const auto& c : cases) EXPECT_EQ(failure(valid_settings_text(c.overrides)), c.diagnostic) << c.name;
}

TEST(Settings, SectionsAndReadingFailBeforeAnyKey) {
    struct Case {
        std::string name;
        std::string text;
        std::string diagnostic;
    };
    const std::string valid = valid_settings_text();
    const std::string without_quorvane = valid.substr(valid.find("[Settings]"));
    std::string without_postgres = valid.substr(0, valid.find("[Postgres-Testnet]"));
    const std::vector<Case> cases = {
        {"no Quorvane section", without_quorvane, "\"Quorvane section not found\""},
        {"no Quorvane section, no BLOCK_PATH",
         without_quorvane.substr(0, without_quorvane.find("BLOCK_PATH")), "\"Quorvane section not found\""},
        {"no Postgres-Testnet section", without_postgres, "\"Postgres-Testnet section not found\""},
        {"lower-case section name", "[quorvane]\n[Postgres-Testnet]\n", "\"Quorvane section not found\""},
        {"empty sections are enough", "[Quorvane]\n[Postgres-Testnet]\n", "\"BLOCK_PATH not found\""},
        {"syntax error first", "[Quorvane]\n  ; indented\n", R"(Parse(ParseError { line: 2, col: 3, msg: "doesn't support inline comment" }))"},
        {"invalid UTF-8", "[Quorvane]\n\xFF\n",
         R"(Io(Error { kind: InvalidData, message: "stream did not contain valid UTF-8" }))"},
    };
    for (const auto& c : cases) EXPECT_EQ(failure(c.text), c.diagnostic) << c.name;
}

TEST(Settings, AppliesDefaultsAndAlternatives) {
    const auto settings = load(valid_settings_text({
        {"Settings.THREADS", ""},
        {"Settings.PUBLIC_IP", "IP = 10.0.0.1"},
        {"Postgres-Testnet.+", "password =\nport = +0080"},
    }));
    ASSERT_TRUE(settings.has_value()) << settings.error().diagnostic();
    EXPECT_EQ(settings->threads, 1);
    EXPECT_EQ(settings->public_ip, "10.0.0.1");
    EXPECT_EQ(settings->postgres_password, std::optional<std::string>(""));
    EXPECT_EQ(settings->postgres_port, 80);
}

TEST(Settings, CollectsPrefixedQuorvaneValuesInFileOrder) {
    const auto settings = load(valid_settings_text({
        {"Quorvane.QUORVANE_NETWORK", "quorvane_b = 2\nOTHER = x\nQUARTERLY_X = no\nQuorvane_A = 1\nQUORVANE_ = 3\nquorvane_b = dup\nQUORVANE = no"},
    }));
    ASSERT_TRUE(settings.has_value()) << settings.error().diagnostic();
    EXPECT_EQ(settings->quorvane_values, (std::vector<std::string>{"2", "1", "3"}));
}

TEST(Settings, AcceptedThreadValues) {
    for (const std::string threads : {"1", "2", "4", "64", "256", "+8", "008"}) {
        const auto settings = load(valid_settings_text({{"Settings.THREADS", "THREADS = " + threads}}));
        EXPECT_TRUE(settings.has_value()) << threads;
    }
}

TEST(Settings, LaterRepeatedSectionIsIgnored) {
    const auto text = valid_settings_text() + "[Settings]\nTHREADS = 3\n";
    EXPECT_EQ(failure(text), "loaded");
}

TEST(ResolveSettingsPath, ExpandsHomeAndJoinsRelativePaths) {
    struct Case {
        std::string value;
        std::string base;
        std::optional<std::string> home;
        std::string resolved;
    };
    const std::vector<Case> cases = {
        {"blocks", "conf", HOME, "conf/blocks"},
        {"blocks", "", HOME, "blocks"},
        {"/srv/blocks", "conf", HOME, "/srv/blocks"},
        {"~", "conf", HOME, "/home/operator"},
        {"~/blocks", "conf", HOME, "/home/operator/blocks"},
        {"~\\blocks", "conf", HOME, "/home/operator\\blocks"},
        {"~blocks", "conf", HOME, "conf/~blocks"},
        {"~/blocks", "conf", std::nullopt, "conf/~/blocks"},
        {"~/blocks", "conf", std::string("/home/\xFF"), "conf/~/blocks"},
        {"", "/etc/node", HOME, "/etc/node/"},
        {"./logs", "/etc/node", HOME, "/etc/node/./logs"},
        {"blocks", "/data/\xFF", HOME, "/data/\xFF/blocks"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resolve_settings_path(c.value, c.base, c.home), c.resolved) << c.value << " in " << c.base;
    }
}

TEST(ResolveSettingsPath, UsesTheUsersHomeDirectory) {
    const char* saved = std::getenv("HOME");
    const std::string saved_home = saved ? saved : "";
    ::setenv("HOME", "/home/tester", 1);
    EXPECT_EQ(resolve_settings_path("~/blocks", "conf"), "/home/tester/blocks");
    // Without HOME the password database answers.
    ::unsetenv("HOME");
    const auto from_database = home_directory();
    ASSERT_TRUE(from_database.has_value());
    EXPECT_FALSE(from_database->empty());
    if (saved) ::setenv("HOME", saved_home.c_str(), 1);
}

TEST(HomeFromPasswordFile, FindsTheUsersLine) {
    const std::string passwd =
        "root:x:0:0:root:/root:/bin/bash\n"
        "broken line\n"
        "1000\n"
        "nohome:x:7:7:::/bin/sh\n"
        "op:x:1000:1000:Operator,,,:/home/op:/bin/bash\n"
        "last:x:1001:1001::/home/last";
    EXPECT_EQ(home_from_password_file(passwd, 0), "/root");
    EXPECT_EQ(home_from_password_file(passwd, 1000), "/home/op");
    EXPECT_EQ(home_from_password_file(passwd, 1001), "/home/last");
    EXPECT_EQ(home_from_password_file(passwd, 7), std::nullopt);
    EXPECT_EQ(home_from_password_file(passwd, 42), std::nullopt);
    EXPECT_EQ(home_from_password_file("op:x:5:5::/home/op:/bin/sh\n", 5), "/home/op");
}

TEST(SettingsBaseDirectory, IsTheSettingsFilesDirectory) {
    EXPECT_EQ(settings_base_directory("conf/node.ini"), "conf");
    EXPECT_EQ(settings_base_directory("node.ini"), "");
    EXPECT_EQ(settings_base_directory(""), ".");
    EXPECT_EQ(settings_base_directory("/"), ".");
}

TEST(LoadSettingsFrom, MissingFileIsANotFoundFileError) {
    const auto result = load_settings_from("/nonexistent/settings.ini", HOME);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().diagnostic(),
              R"(Io(Os { code: 2, kind: NotFound, message: "No such file or directory" }))");
}

TEST(LoadSettingsFrom, ResolvesAgainstTheFilesDirectory) {
    testing::TempDir dir;
    dir.write("conf/node.ini", "\xEF\xBB\xBF" + valid_settings_text());
    const auto settings = load_settings_from(dir / "conf/node.ini", HOME);
    ASSERT_TRUE(settings.has_value()) << settings.error().diagnostic();
    EXPECT_EQ(settings->block_path, dir / "conf/blocks");
}

}  // namespace
}  // namespace quorvane

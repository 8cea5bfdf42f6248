#include "common/network_paths_and_settings.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/cli_harness.hpp"

namespace quorvane {
namespace {

TEST(NetworkPaths, TheTestNetworksDirectoriesAndTags) {
    NodeSettings settings;
    settings.torrent_path = "/node/torrents";
    settings.wallet_path = "/node/wallets/";
    settings.wallet_name = "main.wallet";
    settings.block_path = "/node/blocks";
    settings.db_path = "db";
    settings.balance_sheet = "/node/balances";
    settings.log_path = "/node/./logs";
    const NetworkPaths paths = testnet_paths_from(settings);
    EXPECT_EQ(paths.currency_tag_padded, "VETQ           ");
    EXPECT_EQ(paths.currency_tag_padded.size(), 15u);
    EXPECT_EQ(paths.currency_tag, "vetq");
    EXPECT_EQ(paths.torrent_dir, "/node/torrents/testnet");
    EXPECT_EQ(paths.wallet_file, "/node/wallets/testnet/main.wallet");
    EXPECT_EQ(paths.block_dir, "/node/blocks/testnet");
    EXPECT_EQ(paths.db_dir, "db/testnet");
    EXPECT_EQ(paths.balance_sheet_dir, "/node/balances/testnet");
    EXPECT_EQ(paths.network_name, "testnet");
    EXPECT_EQ(paths.log_dir, "/node/./logs/testnet");

    settings.wallet_name = "/abs/other.wallet";
    EXPECT_EQ(testnet_paths_from(settings).wallet_file, "/abs/other.wallet");
}

TEST(NetworkPaths, SixLoadsGiveWhatOneLoadGives) {
    testing::TempDir dir;
    dir.write("settings.ini", testing::valid_settings_text());
    ::setenv("SETTINGS_PATH", (dir / "settings.ini").c_str(), 1);
    const auto loaded = testnet_network_paths();
    const auto once = load_settings_from(dir / "settings.ini", std::nullopt);
    ::unsetenv("SETTINGS_PATH");
    ASSERT_TRUE(loaded.has_value());
    ASSERT_TRUE(once.has_value());
    const NetworkPaths expected = testnet_paths_from(*once);
    EXPECT_EQ(loaded->currency_tag_padded, expected.currency_tag_padded);
    EXPECT_EQ(loaded->currency_tag, expected.currency_tag);
    EXPECT_EQ(loaded->torrent_dir, expected.torrent_dir);
    EXPECT_EQ(loaded->wallet_file, expected.wallet_file);
    EXPECT_EQ(loaded->block_dir, expected.block_dir);
    EXPECT_EQ(loaded->db_dir, expected.db_dir);
    EXPECT_EQ(loaded->balance_sheet_dir, expected.balance_sheet_dir);
    EXPECT_EQ(loaded->network_name, expected.network_name);
    EXPECT_EQ(loaded->log_dir, expected.log_dir);
    EXPECT_EQ(expected.block_dir, dir / "blocks/testnet");
}

}  // namespace
}  // namespace quorvane

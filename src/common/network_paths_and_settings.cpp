#include "common/network_paths_and_settings.hpp"

#include "common/paths.hpp"
#include "config/settings.hpp"

namespace quorvane {

namespace {

std::string ascii_lowercase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// Paths keep their own bytes: only texts shown to a user are made valid UTF-8.
std::string under_network(std::string_view directory) { return join_path(directory, TESTNET_NAME); }

std::string wallet_file_of(const NodeSettings& settings) {
    return join_path(join_path(settings.wallet_path, TESTNET_NAME), settings.wallet_name);
}

NetworkPaths with_tags() {
    NetworkPaths paths;
    paths.currency_tag_padded = std::string(TESTNET_CURRENCY_TAG);
    paths.currency_tag_padded.resize(CURRENCY_TAG_PADDED_WIDTH, ' ');
    paths.currency_tag = ascii_lowercase(TESTNET_CURRENCY_TAG);
    return paths;
}

}  // namespace

NetworkPaths testnet_paths_from(const NodeSettings& settings) {
    NetworkPaths paths = with_tags();
    paths.torrent_dir = under_network(settings.torrent_path);
    paths.wallet_file = wallet_file_of(settings);
    paths.block_dir = under_network(settings.block_path);
    paths.db_dir = under_network(settings.db_path);
    paths.balance_sheet_dir = under_network(settings.balance_sheet);
    paths.log_dir = under_network(settings.log_path);
    paths.network_name = std::string(TESTNET_NAME);
    return paths;
}

std::expected<NetworkPaths, SettingsError> testnet_network_paths() {
    NetworkPaths paths = with_tags();

    // Settings are never cached: each location comes from its own load.
    auto settings = load_settings();
    if (!settings) return std::unexpected(settings.error());
    paths.torrent_dir = under_network(settings->torrent_path);

    if (settings = load_settings(); !settings) return std::unexpected(settings.error());
    paths.wallet_file = wallet_file_of(*settings);

    if (settings = load_settings(); !settings) return std::unexpected(settings.error());
    paths.block_dir = under_network(settings->block_path);

    if (settings = load_settings(); !settings) return std::unexpected(settings.error());
    paths.db_dir = under_network(settings->db_path);

    if (settings = load_settings(); !settings) return std::unexpected(settings.error());
    paths.balance_sheet_dir = under_network(settings->balance_sheet);

    if (settings = load_settings(); !settings) return std::unexpected(settings.error());
    paths.log_dir = under_network(settings->log_path);

    paths.network_name = std::string(TESTNET_NAME);
    return paths;
}

std::string settings_failure_text(const SettingsError& error) {
    return "Failed to load settings: " + error.diagnostic();
}

}  // namespace quorvane

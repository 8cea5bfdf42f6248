#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "config/settings.hpp"
#include "config/settings_error.hpp"

namespace quorvane {

inline constexpr std::string_view TESTNET_NAME = "testnet";
inline constexpr std::string_view TESTNET_CURRENCY_TAG = "VETQ";
inline constexpr std::size_t CURRENCY_TAG_PADDED_WIDTH = 15;

// The test network's name, currency tags and data locations.
struct NetworkPaths {
    std::string currency_tag_padded;  // "VETQ" and spaces, 15 characters
    std::string currency_tag;         // "vetq": the block files' extension
    std::string torrent_dir;
    std::string wallet_file;
    std::string block_dir;
    std::string db_dir;
    std::string balance_sheet_dir;
    std::string network_name;
    std::string log_dir;
};

// Builds the test network's paths, loading the settings afresh for each of
// the six locations (torrent, wallet, block, db, balance sheet, log, in that
// order). The first failing load is returned; later loads are not made.
std::expected<NetworkPaths, SettingsError> testnet_network_paths();

// The same record from one settings load, for a tool that loads them once.
NetworkPaths testnet_paths_from(const NodeSettings& settings);

// The fatal-stop text for a settings failure.
std::string settings_failure_text(const SettingsError& error);

}  // namespace quorvane

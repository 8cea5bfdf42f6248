#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings_error.hpp"

namespace quorvane {

// The validated contents of settings.ini; path fields are already resolved
// against the settings file's directory.
struct NodeSettings {
    std::vector<std::string> quorvane_values;
    std::uint16_t threads = 1;
    std::string block_path;
    std::string torrent_path;
    std::string db_path;
    std::string wallet_path;
    std::string wallet_name;
    std::string balance_sheet;
    std::string log_path;
    std::string log_level;
    std::string public_ip;
    std::string listen_ip;
    std::string rpc_port;
    std::string testnet_rpc_port;
    bool validator = false;
    std::uint8_t outgoing_connections = 0;
    std::uint8_t incoming_connections = 0;
    std::uint64_t storage_lookup_fee_per_byte = 0;
    std::string postgres_host;
    std::uint16_t postgres_port = 0;
    std::string postgres_user;
    std::optional<std::string> postgres_password;
    std::string postgres_dbname;

    friend bool operator==(const NodeSettings&, const NodeSettings&) = default;
};

inline constexpr std::string_view SETTINGS_FILE_NAME = "settings.ini";
inline constexpr std::string_view INVALID_UTF8_CONTENT = "stream did not contain valid UTF-8";
// Far above any real settings file; an endless or huge file stops here.
inline constexpr std::size_t SETTINGS_FILE_LIMIT = 16 << 20;
inline constexpr std::string_view SETTINGS_FILE_TOO_LONG = "settings file is larger than 16 MiB";

// What a leading tilde stands for (nothing: tildes stay as they are). Called
// only for a value that begins with one, and at most once per load.
using HomeLookup = std::function<std::optional<std::string>()>;

// Validates settings text as read from a file: UTF-8, INI syntax, then every
// key in table order. `base_directory` anchors relative paths.
std::expected<NodeSettings, SettingsError> settings_from_text(std::string_view content,
                                                              std::string_view base_directory,
                                                              const HomeLookup& home);
std::expected<NodeSettings, SettingsError> settings_from_text(
    std::string_view content, std::string_view base_directory,
    const std::optional<std::string>& home);

// Reads (at most SETTINGS_FILE_LIMIT bytes) and validates the settings file at `settings_path`.
std::expected<NodeSettings, SettingsError> load_settings_from(const std::string& settings_path,
                                                              const HomeLookup& home);
std::expected<NodeSettings, SettingsError> load_settings_from(
    const std::string& settings_path, const std::optional<std::string>& home);

// Locates, reads and validates the process's settings file, afresh on every
// call. A --config option without a path ends the process here.
std::expected<NodeSettings, SettingsError> load_settings();

// The directory that relative paths in the file are relative to.
std::string settings_base_directory(std::string_view settings_path);

// Expands a leading tilde to `home`, then joins a relative path to the base
// directory. The result keeps the path's own bytes, valid UTF-8 or not, so
// that it names the file it was made from.
std::string resolve_settings_path(std::string_view value, std::string_view base_directory,
                                  const HomeLookup& home);
std::string resolve_settings_path(std::string_view value, std::string_view base_directory,
                                  const std::optional<std::string>& home);

// As above, with the current user's home directory.
std::string resolve_settings_path(std::string_view value, std::string_view base_directory);

}  // namespace quorvane

#include "config/settings.hpp"

#include <cstdlib>

#include "common/file_reading.hpp"
#include "common/output.hpp"
#include "common/paths.hpp"
#include "common/tool_entry.hpp"
#include "common/utf8.hpp"
#include "config/ini_reader.hpp"
#include "config/settings_location.hpp"
#include "config/value_parsers.hpp"

namespace quorvane {

namespace {

constexpr std::string_view QUORVANE_SECTION = "Quorvane";
constexpr std::string_view SETTINGS_SECTION = "Settings";
constexpr std::string_view PATHS_SECTION = "Paths";
constexpr std::string_view POSTGRES_SECTION = "Postgres-Testnet";
constexpr std::string_view QUORVANE_KEY_PREFIX = "QUORVANE_";

constexpr std::uint16_t MAX_THREADS = 256;

// Upper-casing a key by the full Unicode rules can only produce the ASCII
// letters of the prefix from ASCII letters (no other character maps to
// Q, U, O, R, V, A, N, E or "_" alone), so an ASCII comparison of the first
// nine bytes decides the match exactly.
bool has_quorvane_prefix(std::string_view key) {
    if (key.size() < QUORVANE_KEY_PREFIX.size()) return false;
    for (std::size_t i = 0; i < QUORVANE_KEY_PREFIX.size(); ++i) {
        char c = key[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != QUORVANE_KEY_PREFIX[i]) return false;
    }
    return true;
}

std::expected<void, SettingsError> check_threads(std::uint16_t threads) {
    if (threads == 1 || threads == 2) return {};
    // Divisibility is tested first: 257 fails as "not a multiple of 4".
    if (threads % 4 != 0) {
        return std::unexpected(SettingsError::message("THREADS must be 1, 2, or a multiple of 4"));
    }
    if (threads == 0 || threads > MAX_THREADS) {
        return std::unexpected(SettingsError::message("THREADS must be between 1 and 256"));
    }
    return {};
}

// Reads the keys in table order; the first failure ends the load.
class KeyReader {
public:
    KeyReader(const IniDocument& document, std::string_view base_directory, const HomeLookup& home)
        : settings_section_(document.section(SETTINGS_SECTION)),
          paths_section_(document.section(PATHS_SECTION)),
          postgres_section_(document.section(POSTGRES_SECTION)),
          base_directory_(base_directory),
          home_(home) {}

    std::expected<NodeSettings, SettingsError> read(const IniSection& quorvane) {
        NodeSettings s;
        for (const auto& entry : quorvane.entries()) {
            if (has_quorvane_prefix(entry.key)) s.quorvane_values.emplace_back(entry.value);
        }

        auto threads = parse_u16(optional_text(settings_section_, "THREADS", "1"));
        if (!threads) return std::unexpected(threads.error());
        if (auto rule = check_threads(*threads); !rule) return std::unexpected(rule.error());
        s.threads = *threads;

        if (!path(paths_section_, "BLOCK_PATH", s.block_path) ||
            !path(paths_section_, "TORRENT_PATH", s.torrent_path) ||
            !path(paths_section_, "DB_PATH", s.db_path) ||
            !path(paths_section_, "WALLET_PATH", s.wallet_path) ||
            !text(paths_section_, "WALLET_NAME", "WALLET_NAME not found", s.wallet_name) ||
            !path(paths_section_, "BALANCE_SHEET", s.balance_sheet)) {
            return std::unexpected(*error_);
        }
        s.log_path = resolve(optional_text(paths_section_, "LOG_PATH", "./logs"));
        s.log_level = optional_text(settings_section_, "LOG_LEVEL", "info");

        const std::string_view* public_ip = find(settings_section_, "PUBLIC_IP");
        if (public_ip == nullptr) public_ip = find(settings_section_, "IP");
        if (public_ip == nullptr) return std::unexpected(SettingsError::message("PUBLIC_IP not found"));
        s.public_ip = *public_ip;

        s.listen_ip = optional_text(settings_section_, "LISTEN_IP", "0.0.0.0");
        if (!text(settings_section_, "RPC_PORT", "RPC_PORT not found", s.rpc_port) ||
            !text(settings_section_, "TESTNET_RPC_PORT", "TESTNET_RPC_PORT not found",
                  s.testnet_rpc_port)) {
            return std::unexpected(*error_);
        }

        auto validator = parse_bool(optional_text(settings_section_, "VALIDATOR", "false"));
        if (!validator) return std::unexpected(validator.error());
        s.validator = *validator;

        if (!connections("OUTGOING_CONNECTIONS", s.outgoing_connections) ||
            !connections("INCOMING_CONNECTIONS", s.incoming_connections)) {
            return std::unexpected(*error_);
        }

        if (const std::string_view* fee = find(settings_section_, "STORAGE_LOOKUP_FEE_PER_BYTE")) {
            auto units = parse_decimal_coin_value(*fee);
            if (!units) return std::unexpected(units.error());
            s.storage_lookup_fee_per_byte = *units;
        }

        s.postgres_host = optional_text(postgres_section_, "host", "127.0.0.1");
        auto port = parse_u16(optional_text(postgres_section_, "port", "5432"));
        if (!port) return std::unexpected(port.error());
        s.postgres_port = *port;
        if (!text(postgres_section_, "user", "postgres user not set", s.postgres_user)) {
            return std::unexpected(*error_);
        }
        if (const std::string_view* password = find(postgres_section_, "password")) {
            s.postgres_password = std::string(*password);
        }
        if (!text(postgres_section_, "dbname", "postgres dbname not set", s.postgres_dbname)) {
            return std::unexpected(*error_);
        }
        return s;
    }

private:
    static const std::string_view* find(const IniSection* section, std::string_view key) {
        return section == nullptr ? nullptr : section->find(key);
    }

    static std::string optional_text(const IniSection* section, std::string_view key,
                                     std::string_view fallback) {
        const std::string_view* value = find(section, key);
        return std::string(value != nullptr ? *value : fallback);
    }

    bool text(const IniSection* section, std::string_view key, std::string_view missing,
              std::string& out) {
        const std::string_view* value = find(section, key);
        if (value == nullptr) {
            error_ = SettingsError::message(missing);
            return false;
        }
        out = *value;
        return true;
    }

    bool path(const IniSection* section, std::string_view key, std::string& out) {
        const std::string missing = std::string(key) + " not found";
        if (!text(section, key, missing, out)) return false;
        out = resolve(out);
        return true;
    }

    bool connections(std::string_view key, std::uint8_t& out) {
        std::string value;
        if (!text(settings_section_, key, std::string(key) + " not found", value)) return false;
        auto parsed = parse_u8(value);
        if (!parsed) {
            error_ = parsed.error();
            return false;
        }
        out = *parsed;
        return true;
    }

    std::string resolve(std::string_view value) {
        // The home directory is looked up once, for the first value that needs it.
        const HomeLookup once = [this] {
            if (!home_looked_up_) {
                home_value_ = home_();
                home_looked_up_ = true;
            }
            return home_value_;
        };
        return resolve_settings_path(value, base_directory_, once);
    }

    const IniSection* settings_section_;
    const IniSection* paths_section_;
    const IniSection* postgres_section_;
    std::string_view base_directory_;
    const HomeLookup& home_;
    bool home_looked_up_ = false;
    std::optional<std::string> home_value_;
    std::optional<SettingsError> error_;
};

}  // namespace

std::expected<NodeSettings, SettingsError> settings_from_text(std::string_view content,
                                                              std::string_view base_directory,
                                                              const HomeLookup& home) {
    if (!utf8::is_valid(content)) {
        return std::unexpected(SettingsError::File{
            IoError::simple(ErrorKind::InvalidData, std::string(INVALID_UTF8_CONTENT))});
    }
    auto document = parse_ini(content);
    if (!document) return std::unexpected(SettingsError::Syntax{document.error()});

    const IniSection* quorvane = document->section(QUORVANE_SECTION);
    if (quorvane == nullptr) return std::unexpected(SettingsError::message("Quorvane section not found"));
    if (document->section(POSTGRES_SECTION) == nullptr) {
        return std::unexpected(SettingsError::message("Postgres-Testnet section not found"));
    }
    return KeyReader(*document, base_directory, home).read(*quorvane);
}

std::expected<NodeSettings, SettingsError> settings_from_text(
    std::string_view content, std::string_view base_directory,
    const std::optional<std::string>& home) {
    return settings_from_text(content, base_directory, HomeLookup([&home] { return home; }));
}

std::expected<NodeSettings, SettingsError> load_settings_from(const std::string& settings_path,
                                                              const HomeLookup& home) {
    const auto content = read_whole_file(settings_path, SETTINGS_FILE_LIMIT, SETTINGS_FILE_TOO_LONG);
    if (!content) return std::unexpected(SettingsError::File{content.error()});
    return settings_from_text(*content, settings_base_directory(settings_path), home);
}

std::expected<NodeSettings, SettingsError> load_settings_from(
    const std::string& settings_path, const std::optional<std::string>& home) {
    return load_settings_from(settings_path, HomeLookup([&home] { return home; }));
}

std::expected<NodeSettings, SettingsError> load_settings() {
    const auto settings_path = locate_settings_file();
    if (!settings_path) {
        // The one failure the loader reports itself: there is no file to name.
        std::exit(report_error(CONFIG_WITHOUT_PATH));
    }
    return load_settings_from(*settings_path, HomeLookup(home_directory));
}

std::string settings_base_directory(std::string_view settings_path) {
    return parent_path(settings_path).value_or(".");
}

std::string resolve_settings_path(std::string_view value, std::string_view base_directory,
                                  const HomeLookup& home) {
    std::string expanded(value);
    const bool starts_with_home =
        value == "~" || value.starts_with("~/") || value.starts_with("~\\");
    if (starts_with_home) {
        const auto home_directory = home();
        if (home_directory && utf8::is_valid(*home_directory)) {
            expanded = *home_directory;
            expanded += value.substr(1);
        }
    }
    return join_path(base_directory, expanded);
}

std::string resolve_settings_path(std::string_view value, std::string_view base_directory,
                                  const std::optional<std::string>& home) {
    return resolve_settings_path(value, base_directory, HomeLookup([&home] { return home; }));
}

std::string resolve_settings_path(std::string_view value, std::string_view base_directory) {
    return resolve_settings_path(value, base_directory, HomeLookup(home_directory));
}

}  // namespace quorvane

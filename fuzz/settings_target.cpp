// The INI reader and the full settings validation, from in-memory text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/ini_reader.hpp"
#include "config/settings.hpp"
#include "fuzz_checks.hpp"

using namespace quorvane;

namespace {

constexpr std::string_view MESSAGES[] = {
    "\"Quorvane section not found\"",         "\"Postgres-Testnet section not found\"",
    "\"THREADS must be 1, 2, or a multiple of 4\"", "\"THREADS must be between 1 and 256\"",
    "\"BLOCK_PATH not found\"",               "\"TORRENT_PATH not found\"",
    "\"DB_PATH not found\"",                  "\"WALLET_PATH not found\"",
    "\"WALLET_NAME not found\"",              "\"BALANCE_SHEET not found\"",
    "\"PUBLIC_IP not found\"",                "\"RPC_PORT not found\"",
    "\"TESTNET_RPC_PORT not found\"",         "\"OUTGOING_CONNECTIONS not found\"",
    "\"INCOMING_CONNECTIONS not found\"",     "\"decimal coin value cannot be negative\"",
    "\"postgres user not set\"",              "\"postgres dbname not set\"",
    "ParseIntError { kind: Empty }",          "ParseIntError { kind: InvalidDigit }",
    "ParseIntError { kind: PosOverflow }",    "ParseBoolError",
    "ParseFloatError { kind: Empty }",        "ParseFloatError { kind: Invalid }",
    R"(Io(Error { kind: InvalidData, message: "stream did not contain valid UTF-8" }))",
};

constexpr std::string_view SYNTAX_MESSAGES[] = {
    INI_INLINE_COMMENT,   INI_MISSING_KEY,     INI_UNCLOSED_SECTION, INI_TEXT_AFTER_SECTION,
    INI_MISSING_SEPARATOR, INI_UNCLOSED_QUOTE, INI_BAD_HEX_ESCAPE,   INI_ESCAPE_AT_END,
};

bool is_known_diagnostic(const SettingsError& error) {
    const std::string diagnostic = error.diagnostic();
    if (const auto* syntax = std::get_if<SettingsError::Syntax>(&error.shape())) {
        for (const auto message : SYNTAX_MESSAGES) {
            if (syntax->error.message == message) return syntax->error.line >= 1 && syntax->error.column >= 1;
        }
        return false;
    }
    for (const auto message : MESSAGES) {
        if (diagnostic == message) return true;
    }
    return false;
}

bool is_resolved(const std::string& path) {
    return path.starts_with("/");  // joined to "/node", or absolute, or the home directory
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> home = "/home/operator";
    const auto settings = settings_from_text(text, "/node", home);
    if (!settings) {
        FUZZ_CHECK(is_known_diagnostic(settings.error()));
        FUZZ_CHECK(settings.error().diagnostic().find('\n') == std::string::npos);
        return 0;
    }
    const std::uint16_t threads = settings->threads;
    FUZZ_CHECK(threads == 1 || threads == 2 || (threads % 4 == 0 && threads >= 4 && threads <= 256));
    for (const auto* path : {&settings->block_path, &settings->torrent_path, &settings->db_path,
                             &settings->wallet_path, &settings->balance_sheet, &settings->log_path}) {
        FUZZ_CHECK(is_resolved(*path));
    }
    // A file that loads is also well-formed INI text.
    FUZZ_CHECK(parse_ini(text).has_value());
    return 0;
}

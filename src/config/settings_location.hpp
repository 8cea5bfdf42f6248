#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

inline constexpr std::string_view CONFIG_OPTION = "--config";
inline constexpr std::string_view CONFIG_WITHOUT_PATH = "--config flag requires a path";
inline constexpr const char* SETTINGS_PATH_VARIABLE = "SETTINGS_PATH";

// What locating the settings file needs to know about the process.
struct ProcessContext {
    std::vector<std::string> arguments;                 // element 0 included
    std::optional<std::string> settings_path_variable;  // when set and valid text
    std::optional<std::string> current_directory;
    std::optional<std::string> executable_directory;
};

ProcessContext current_process_context();

struct ConfigOptionWithoutPath {};

// The first rule that applies wins: --config PATH on the command line,
// SETTINGS_PATH, settings.ini in the current directory, settings.ini beside
// the executable; failing all, the current directory's (missing) file.
std::expected<std::string, ConfigOptionWithoutPath> locate_settings_file(
    const ProcessContext& context);

// As above for this process.
std::expected<std::string, ConfigOptionWithoutPath> locate_settings_file();

inline constexpr const char* PASSWORD_FILE = "/etc/passwd";

// HOME when set and not empty, else the user's entry in /etc/passwd. The
// file is read directly, not through the name service switch, so that the
// tools can be linked statically.
std::optional<std::string> home_directory();

// The home directory field of the user's line in passwd-format text.
std::optional<std::string> home_from_password_file(std::string_view content, unsigned user_id);

}  // namespace quorvane

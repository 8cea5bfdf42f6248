#include "config/settings_location.hpp"

#include <cstdlib>
#include <unistd.h>

#include <array>
#include <string_view>

#include "common/file_reading.hpp"
#include "common/paths.hpp"
#include "common/process_arguments.hpp"
#include "common/utf8.hpp"
#include "config/settings.hpp"

namespace quorvane {

namespace {

std::optional<std::string> current_directory() {
    std::array<char, 4096> buffer{};
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) return std::string(buffer.data());
    std::string large(1 << 16, '\0');
    if (::getcwd(large.data(), large.size()) != nullptr) return std::string(large.c_str());
    return std::nullopt;
}

std::optional<std::string> executable_directory() {
    std::string target(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
    target.resize(static_cast<std::size_t>(length));
    return parent_path(target);
}

}  // namespace

ProcessContext current_process_context() {
    ProcessContext context;
    context.arguments = process_arguments();
    if (const char* value = std::getenv(SETTINGS_PATH_VARIABLE)) {
        if (utf8::is_valid(value)) context.settings_path_variable = std::string(value);
    }
    context.current_directory = current_directory();
    // Looked up only when needed: it is the last place searched.
    return context;
}

std::expected<std::string, ConfigOptionWithoutPath> locate_settings_file(
    const ProcessContext& context) {
    const auto& arguments = context.arguments;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != CONFIG_OPTION) continue;
        if (i + 1 == arguments.size()) return std::unexpected(ConfigOptionWithoutPath{});
        return arguments[i + 1];
    }
    if (context.settings_path_variable) return *context.settings_path_variable;

    const std::string in_current_directory =
        join_path(context.current_directory.value_or("."), SETTINGS_FILE_NAME);
    if (path_exists(in_current_directory)) return in_current_directory;

    const auto executable_dir =
        context.executable_directory ? context.executable_directory : executable_directory();
    if (executable_dir) {
        const std::string beside_executable = join_path(*executable_dir, SETTINGS_FILE_NAME);
        if (path_exists(beside_executable)) return beside_executable;
    }
    return in_current_directory;
}

std::expected<std::string, ConfigOptionWithoutPath> locate_settings_file() {
    return locate_settings_file(current_process_context());
}

std::optional<std::string> home_directory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::string(home);
    }
    const auto passwd = read_whole_file(PASSWORD_FILE, SETTINGS_FILE_LIMIT, "password file too long");
    if (!passwd) return std::nullopt;
    return home_from_password_file(*passwd, ::getuid());
}

std::optional<std::string> home_from_password_file(std::string_view content, unsigned user_id) {
    // name:password:uid:gid:gecos:home:shell, one user a line.
    const std::string uid_text = std::to_string(user_id);
    while (!content.empty()) {
        const auto end = content.find('\n');
        std::string_view line = content.substr(0, end);
        content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
        std::string_view fields[7];
        std::size_t count = 0;
        while (count < 7) {
            const auto colon = line.find(':');
            fields[count++] = line.substr(0, colon);
            if (colon == std::string_view::npos) break;
            line.remove_prefix(colon + 1);
        }
        if (count >= 6 && fields[2] == uid_text && !fields[5].empty()) return std::string(fields[5]);
    }
    return std::nullopt;
}

}  // namespace quorvane

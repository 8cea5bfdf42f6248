#include "common/process_arguments.hpp"

#include <optional>

#include "common/file_reading.hpp"

namespace quorvane {

namespace {

std::optional<std::vector<std::string>>& recorded() {
    static std::optional<std::vector<std::string>> arguments;
    return arguments;
}

// Used when no entry recorded the arguments (a test binary, say).
std::vector<std::string> arguments_from_proc() {
    std::vector<std::string> arguments;
    const auto content = read_whole_file("/proc/self/cmdline");
    if (!content) return arguments;
    std::size_t start = 0;
    while (start < content->size()) {
        const auto end = content->find('\0', start);
        if (end == std::string::npos) {
            arguments.push_back(content->substr(start));
            break;
        }
        arguments.push_back(content->substr(start, end - start));
        start = end + 1;
    }
    return arguments;
}

}  // namespace

void record_process_arguments(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
    for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i]);
    recorded() = std::move(arguments);
}

const std::vector<std::string>& process_arguments() {
    auto& arguments = recorded();
    if (!arguments) arguments = arguments_from_proc();
    return *arguments;
}

}  // namespace quorvane

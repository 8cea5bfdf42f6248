#include "common/process_arguments.hpp"

namespace quorvane {

namespace {

std::vector<std::string>& recorded() {
    static std::vector<std::string> arguments;
    return arguments;
}

}  // namespace

void record_process_arguments(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
    for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i]);
    recorded() = std::move(arguments);
}

const std::vector<std::string>& process_arguments() { return recorded(); }

}  // namespace quorvane

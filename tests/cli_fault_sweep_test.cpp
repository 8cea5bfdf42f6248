// Every occurrence of the system calls the tools make, failed in turn with
// each error that call can really give (strace's fault injection): no run
// may die of a signal, hang, or report success with anything but the clean
// run's output; an interrupted call is asked again and changes nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_harness.hpp"
#include "support/store_builder.hpp"

namespace quorvane::testing {
namespace {

const std::string STRACE = "/usr/bin/strace";
const std::string TIMEOUT = "/usr/bin/timeout";
// Occurrences of one call failed in turn, counted from the first.
constexpr std::size_t MAX_OCCURRENCES = 30;

struct Call {
    std::string name;
    std::vector<std::string> errors;
};

const std::vector<Call> CALLS = {
    {"openat", {"EACCES", "EIO", "ENOMEM", "EMFILE", "EINTR"}},
    {"read", {"EIO", "EINTR", "EAGAIN", "ENOMEM"}},
    {"fstat", {"EIO", "ENOMEM", "EINTR"}},
    {"newfstatat", {"EACCES", "EIO", "ENOMEM", "EINTR"}},
    {"getdents64", {"EIO", "ENOMEM", "EINTR"}},
    {"close", {"EIO", "EINTR", "ENOSPC"}},
    {"write", {"EIO", "ENOSPC", "EINTR", "EAGAIN"}},
    {"mmap", {"ENOMEM", "EAGAIN"}},
    {"clone3", {"EAGAIN", "ENOMEM"}},
    // A kernel without io_uring, one that switched it off or a seccomp
    // profile that refuses it, no memory for a ring, a signal while waiting.
    {"io_uring_setup", {"EPERM", "ENOSYS", "ENOMEM"}},
    {"io_uring_enter", {"EINTR", "ENOMEM", "EPERM", "EBUSY"}},
    {"io_uring_register", {"ENOMEM", "EPERM"}},
};

struct Tool {
    std::string label;
    std::string binary;
    std::vector<std::string> arguments;  // --config is added
    bool verify = false;                 // a failure may show as a problem on standard output
    bool reports_with_success = false;   // swarmview: a record it cannot find or decode exits 0
};

std::size_t lines_in(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

void PrintTo(const Tool& tool, std::ostream* out) { *out << tool.label; }

// How often each call occurs in a clean traced run, over all its threads.
std::map<std::string, std::size_t> occurrences(const std::vector<std::string>& command, const TempDir& dir) {
    std::string names;
    for (const auto& call : CALLS) names += (names.empty() ? "" : ",") + call.name;
    std::vector<std::string> arguments = {"-f", "-qq", "-o", dir / "trace.log", "-e", "trace=" + names};
    arguments.insert(arguments.end(), command.begin(), command.end());
    run_program(STRACE, arguments);
    std::ifstream log(dir / "trace.log");
    std::map<std::string, std::size_t> counts;
    for (std::string line; std::getline(log, line);) {
        std::istringstream fields(line);
        std::string pid;
        std::string call;
        fields >> pid >> call;
        const auto open = call.find('(');
        if (open != std::string::npos) ++counts[call.substr(0, open)];
        else if (line.find("<... ") != std::string::npos) continue;  // a resumed call counted where it began
    }
    return counts;
}

struct Finding {
    std::string injection;
    RunResult result;
};

class FaultSweep : public ::testing::TestWithParam<Tool> {};

TEST_P(FaultSweep, NoFaultCrashesHangsOrPassesAsSuccess) {
#ifndef VIEWERS_STATIC_TOOLS
    // The dynamic loader's calls, or a sanitizer runtime's, would be faulted too.
    GTEST_SKIP() << "the tools are not linked statically; the release build runs the sweep";
#endif
    if (!std::filesystem::exists(STRACE) || run_program(STRACE, {"-o", "/dev/null", "/bin/true"}).status != 0) {
        GTEST_SKIP() << "strace cannot trace here (not installed, or ptrace is not allowed)";
    }
    const Tool& tool = GetParam();
    TempDir dir;
    write_store(dir.path(), {1, 4, {}});
    std::vector<std::string> command = {tool.binary};
    command.insert(command.end(), tool.arguments.begin(), tool.arguments.end());
    command.insert(command.end(), {"--config", dir / "settings.ini"});
    const std::vector<std::string> clean_arguments(command.begin() + 1, command.end());
    const RunResult clean = run_program(tool.binary, clean_arguments);
    ASSERT_EQ(clean.status, 0) << clean.err;
    ASSERT_EQ(clean.err, "");

    struct Injection {
        std::string call;
        std::string error;
        std::size_t when;
    };
    std::vector<Injection> injections;
    const auto counts = occurrences(command, dir);
    for (const auto& call : CALLS) {
        const auto found = counts.find(call.name);
        const std::size_t times = found == counts.end() ? 0 : std::min(found->second, MAX_OCCURRENCES);
        for (const auto& error : call.errors) {
            for (std::size_t when = 1; when <= times; ++when) injections.push_back({call.name, error, when});
        }
    }
    ASSERT_GT(injections.size(), 20u);

    std::vector<Finding> findings;
    std::mutex findings_lock;
    std::atomic<std::size_t> next{0};
    const auto judge = [&](const Injection& injection) -> std::optional<std::string> {
        const std::string injected = injection.call + ":error=" + injection.error + ":when=" + std::to_string(injection.when);
        std::vector<std::string> arguments = {"-s", "KILL", "30", STRACE, "-f", "-qq", "-o", "/dev/null",
                                              "-e", "trace=" + injection.call, "-e", "inject=" + injected};
        arguments.insert(arguments.end(), command.begin(), command.end());
        RunResult result = run_program(TIMEOUT, arguments);
        std::optional<std::string> fault;
        if (result.status == 137) {
            fault = "hung";
        } else if (result.status >= 128) {
            fault = "died of a signal";
        } else if (injection.error == "EINTR") {
            // Interrupted calls are asked again: the run is the clean one.
            if (result.status != 0 || result.out != clean.out || result.err != "") fault = "EINTR was not retried";
        } else if (result.status == 0) {
            const bool told = tool.reports_with_success && result.out.empty() && !result.err.empty();
            // A thread that cannot start (no process slot, no stack) leaves
            // the others to do its work, with one line that says so.
            const bool thread_call = injection.call == "clone3" || injection.call == "mmap";
            const bool fewer_threads = thread_call && lines_in(result.err) == 1 && result.err.starts_with("Warning: only ");
            if (!told && (result.out != clean.out || (result.err != "" && !fewer_threads))) {
                fault = "exit 0 without the clean run's output";
            }
        } else {
            const bool problem_shown = tool.verify && result.status == 1 && !result.out.empty();
            if (result.err.empty() && !problem_shown) fault = "failed without a word";
            if (!tool.verify && tool.label != "chainscan dump" && !result.out.empty()) fault = "failed after printing";
        }
        if (!fault) return std::nullopt;
        std::lock_guard lock(findings_lock);
        findings.push_back({injected + ": " + *fault, std::move(result)});
        return fault;
    };
    {
        std::vector<std::jthread> runners;
        for (int i = 0; i < 3; ++i) {
            runners.emplace_back([&] {
                for (std::size_t k = next++; k < injections.size(); k = next++) judge(injections[k]);
            });
        }
    }
    for (const auto& finding : findings) {
        ADD_FAILURE() << finding.injection << " (status " << finding.result.status << ")\nstdout: "
                      << finding.result.out.substr(0, 300) << "\nstderr: " << finding.result.err.substr(0, 300);
    }
    std::cout << "[ sweep    ] " << tool.label << ": " << injections.size() << " faulted runs, " << findings.size()
              << " findings\n";
}

INSTANTIATE_TEST_SUITE_P(
    Tools, FaultSweep,
    ::testing::Values(Tool{"crestview", CRESTVIEW_BINARY, {"2"}},
                      Tool{"swarmview", SWARMVIEW_BINARY, {"2"}, false, true},
                      Tool{"chainscan verify", CHAINSCAN_BINARY, {"verify", "--jobs", "2"}, true},
                      Tool{"chainscan verify with plain reads", CHAINSCAN_BINARY,
                           {"verify", "--jobs", "2", "--read-engine", "threads"}, true},
                      Tool{"chainscan dump", CHAINSCAN_BINARY, {"dump", "--torrents", "--jobs", "2"}},
                      // A record that cannot be read is counted as a problem, as by verify.
                      Tool{"chainscan stats", CHAINSCAN_BINARY, {"stats", "--json", "--jobs", "2"}, true}),
    [](const auto& param_info) {
        std::string name = param_info.param.label;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

}  // namespace
}  // namespace quorvane::testing

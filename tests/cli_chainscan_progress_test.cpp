// chainscan's progress line, seen through a real pseudo-terminal, and its
// absence everywhere else.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "scan/views/text_forms.hpp"
#include "scan/views/progress_line.hpp"
#include "support/cli_harness.hpp"
#include "support/record_builders.hpp"

namespace quorvane::testing {
namespace {

const std::string CHAINSCAN = CHAINSCAN_BINARY;
const std::string ERASE = "\r\033[K";

struct TerminalRun {
    int status = -1;
    std::string terminal;  // what reached the terminal on standard error
    std::string out;       // standard output, sent to a file
};

// Runs chainscan with standard error on a pseudo-terminal.
TerminalRun run_on_terminal(const std::vector<std::string>& arguments, const TempDir& dir) {
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    const std::string out_path = dir / "stdout";
    std::vector<std::string> texts{CHAINSCAN};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        ::setsid();
        const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(slave, 2);
        ::close(master);
        ::execv(CHAINSCAN.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(slave);
    TerminalRun run;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got > 0) {
            run.terminal.append(buffer, static_cast<std::size_t>(got));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // EIO once the child has closed its side
        }
    }
    ::close(master);
    int wait_status = 0;
    ::waitpid(child, &wait_status, 0);
    run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    std::ifstream in(out_path);
    std::stringstream content;
    content << in.rdbuf();
    run.out = content.str();
    return run;
}

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// A store of `count` copies of one block file: quick to make, slow enough to read.
std::string store_of_copies(const TempDir& dir, std::uint32_t count) {
    dir.write("node/settings.ini", valid_settings_text());
    dir.write("node/block", as_text(block_file(worked_example_header(), zero_proof())));
    std::filesystem::create_directories(dir.path() / "node/blocks/testnet");
    std::filesystem::create_directories(dir.path() / "node/torrents/testnet");
    for (std::uint32_t h = 0; h < count; ++h) {
        std::filesystem::create_hard_link(dir.path() / "node/block",
                                          dir.path() / "node/blocks/testnet" / (std::to_string(h) + ".vetq"));
    }
    return dir / "node/settings.ini";
}

TEST(ChainscanProgress, ShownRedrawnAndErasedOnATerminalOnly) {
    TempDir dir;
    // Enough heights for a run of several tenths of a second on one thread
    // with plain reads.
    const std::string settings = store_of_copies(dir, 40000);
    const std::vector<std::string> dump = {"dump", "--config", settings, "--jobs", "1", "--no-proof",
                                           "--read-engine", "threads"};

    const auto shown = run_on_terminal(dump, dir);
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(std::count(shown.out.begin(), shown.out.end(), '\n'), 40000);
    const std::size_t draws = count_of(shown.terminal, ERASE + "dump  ");
    EXPECT_GE(draws, 2u) << shown.terminal;
    // Every drawing is a whole line in place; the last thing written erases it.
    const std::regex line(R"(dump  [0-9,]+ / 40,000 heights  [0-9]+%  [0-9,]+/s  [0-9]+:[0-9][0-9] left)");
    std::size_t at = 0;
    std::size_t matched = 0;
    while ((at = shown.terminal.find(ERASE + "dump", at)) != std::string::npos) {
        at += ERASE.size();
        const auto end = shown.terminal.find('\r', at);
        const std::string drawn = shown.terminal.substr(at, end - at);
        EXPECT_TRUE(std::regex_match(drawn, line)) << drawn;
        ++matched;
        std::cout << "progress line: " << drawn << "\n";
    }
    EXPECT_EQ(matched, draws);
    // Results go to a file, so the line stays up between drawings: erased
    // once per drawing and once at the end, never for every block of output.
    EXPECT_EQ(count_of(shown.terminal, ERASE), draws + 1);
    EXPECT_TRUE(shown.terminal.ends_with(ERASE)) << shown.terminal;
    EXPECT_EQ(shown.terminal.find('\n'), std::string::npos);
    EXPECT_EQ(shown.out.find('\r'), std::string::npos);

    auto no_progress = dump;
    no_progress.push_back("--no-progress");
    const auto quiet = run_on_terminal(no_progress, dir);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.terminal, "");
    EXPECT_EQ(quiet.out, shown.out);

    // Off a terminal nothing at all, unless asked for.
    const auto to_file = run_program(CHAINSCAN, dump);
    EXPECT_EQ(to_file.status, 0);
    EXPECT_EQ(to_file.err, "");
    EXPECT_EQ(to_file.out, shown.out);
    auto forced = dump;
    forced.push_back("--progress");
    const auto with_progress = run_program(CHAINSCAN, forced);
    EXPECT_GE(count_of(with_progress.err, ERASE + "dump  "), 1u);
    EXPECT_TRUE(with_progress.err.ends_with(ERASE));
    EXPECT_EQ(with_progress.out, shown.out);
}

TEST(ProgressText, ReadsAsAPersonWouldSayIt) {
    using std::chrono::milliseconds;
    using std::chrono::seconds;
    struct Case {
        std::uint64_t done;
        std::uint64_t total;
        std::chrono::nanoseconds elapsed;
        std::string text;
    };
    const std::vector<Case> cases = {
        {63412, 100000, milliseconds(154), "verify  63,412 / 100,000 heights  63%  411,766/s  0:00 left"},
        {1000, 4000, seconds(10), "verify  1,000 / 4,000 heights  25%  100/s  0:30 left"},
        {1, 1000000, seconds(1), "verify  1 / 1,000,000 heights  0%  1/s  277:46:39 left"},
        {0, 10, seconds(0), "verify  0 / 10 heights  0%  0/s  -:-- left"},
        {10, 10, seconds(2), "verify  10 / 10 heights  100%  5/s  0:00 left"},
        {600, 1200, seconds(600), "verify  600 / 1,200 heights  50%  1/s  10:00 left"},
    };
    for (const auto& c : cases) EXPECT_EQ(progress_text("verify", c.done, c.total, c.elapsed), c.text);
    EXPECT_EQ(grouped(0), "0");
    EXPECT_EQ(grouped(999), "999");
    EXPECT_EQ(grouped(1000), "1,000");
    EXPECT_EQ(grouped(4294967295), "4,294,967,295");
}

}  // namespace
}  // namespace quorvane::testing

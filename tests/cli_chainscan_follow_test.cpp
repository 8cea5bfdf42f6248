// chainscan --follow against a store that the test writes while it runs:
// each way a node writes records, gaps, rewrites, signals, a directory that
// goes away. The test acts on what the tool prints, never on timing.

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/json.hpp"
#include "support/cli_harness.hpp"
#include "support/store_builder.hpp"

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

const std::string CHAINSCAN = CHAINSCAN_BINARY;

// "b7" and the like; built in two steps, which GCC 12 does not misread as
// an overlapping copy.
std::string step_at(char how, std::uint64_t height) {
    std::string step(1, how);
    step += std::to_string(height);
    return step;
}

// A complete store to copy records from, and the store the tool follows.
class LiveStore {
public:
    LiveStore(std::uint32_t first, std::uint32_t count, std::uint32_t present, bool torrents = true) {
        StoreShape shape{first, count, {}};
        shape.with_torrents = torrents;
        write_store(source_.path(), shape);
        write_store(live_.path(), {first, 0, {}});
        for (std::uint64_t h = first; h < std::uint64_t{first} + present; ++h) {
            apply(step_at('b', h));
            if (torrents) apply(step_at('t', h));
        }
    }

    std::string settings() const { return live_ / "settings.ini"; }
    fs::path block_dir() const { return live_.path() / "blocks/testnet"; }

    // "b7" writes block file 7 and closes it, "t7" its torrent record; "B7"
    // and "T7" write a temporary name and rename it; "L7" links the file in;
    // "S7" writes block file 7 in three parts with pauses before closing it;
    // "P7" writes only its first 300 bytes; "X7" writes the lowest block file
    // as 7, "Y7" the lowest torrent record.
    void apply(const std::string& step) {
        const char how = step[0];
        const std::string height = step.substr(1);
        const bool torrent = how == 't' || how == 'T' || how == 'Y';
        const std::string name = torrent ? height + ".torrent" : height + ".vetq";
        const fs::path from = source_.path() / (torrent ? "torrents/testnet" : "blocks/testnet") / name;
        const fs::path to = live_.path() / (torrent ? "torrents/testnet" : "blocks/testnet") / name;
        const auto lowest = [&](const char* directory, const char* suffix) {
            return source_.path() / directory / (std::to_string(first_of_source()) + suffix);
        };
        std::string bytes = read(how == 'X'   ? lowest("blocks/testnet", ".vetq")
                                 : how == 'Y' ? lowest("torrents/testnet", ".torrent")
                                              : from);
        switch (how) {
            case 'b': case 't': case 'X': case 'Y': write(to, bytes); break;
            case 'B': case 'T': {
                const fs::path part = to.string() + ".part";
                write(part, bytes);
                fs::rename(part, to);
                break;
            }
            case 'L': fs::create_hard_link(from, to); break;
            case 'P': write(to, bytes.substr(0, 300)); break;
            case 'S': {
                std::ofstream out(to, std::ios::binary | std::ios::trunc);
                for (std::size_t part = 0; part < 3; ++part) {
                    out.write(bytes.data() + part * 250, static_cast<std::streamsize>(std::min<std::size_t>(250, bytes.size() - part * 250)));
                    out.flush();
                    std::this_thread::sleep_for(std::chrono::milliseconds(150));
                }
                break;
            }
            default: FAIL() << "unknown step " << step;
        }
    }

private:
    std::uint32_t first_of_source() const {
        std::uint32_t lowest = UINT32_MAX;
        for (const auto& entry : fs::directory_iterator(source_.path() / "blocks/testnet")) {
            lowest = std::min<std::uint32_t>(lowest, static_cast<std::uint32_t>(std::stoul(entry.path().stem().string())));
        }
        return lowest;
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }
    static void write(const fs::path& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    TempDir source_;
    TempDir live_;
};

// Each output line in short: the height of a dump line, "code@height" of a
// problem, "summary from-to problems" of a JSON summary, other lines as they are.
std::vector<std::string> shortened(const std::string& out) {
    std::vector<std::string> lines;
    for (const auto& line : lines_of(out)) {
        if (!line.starts_with("{")) {
            lines.push_back(line);
            continue;
        }
        const Json value = Json::parse(line);
        if (value.contains("height") && !value.contains("type")) {
            lines.push_back(value["height"].dump());
        } else if (value["type"] == "problem") {
            lines.push_back(value["code"].get<std::string>() + "@" +
                            (value.contains("height") ? value["height"].dump()
                                                      : value["from"].dump() + "-" + value["to"].dump()));
        } else {
            lines.push_back("summary " + value["from"].dump() + "-" + value["to"].dump() + " " +
                            value["problems"].dump());
        }
    }
    return lines;
}

std::vector<std::string> heights(std::uint64_t first, std::uint64_t last) {
    std::vector<std::string> all;
    for (std::uint64_t h = first; h <= last; ++h) all.push_back(std::to_string(h));
    return all;
}

TEST(ChainscanFollow, HandlesEachHeightAsItIsWritten) {
    struct Case {
        std::string name;
        std::vector<std::string> arguments;
        std::uint32_t present;             // heights 0 .. present - 1 at the start
        std::vector<std::string> before;  // steps taken before the tool starts
        // Store steps, "out:TEXT" / "err:TEXT" (wait for it), "INT", "TERM",
        // "away" (the block directory renamed away) and "back" (made again).
        std::vector<std::string> steps;
        std::vector<std::string> lines;
        int status;
        std::string err;  // a part of standard error; empty: it is empty
    };
    const std::vector<Case> cases = {
        {"write and close", {"dump", "--torrents", "--to", "7"}, 5, {}, {"out:\"height\":4,", "b5", "t5", "b6", "t6", "b7", "t7"},
         heights(0, 7), 0, ""},
        {"temporary name and rename", {"dump", "--torrents", "--to", "7"}, 5, {}, {"out:\"height\":4,", "B5", "T5", "B6", "T6", "T7", "B7"},
         heights(0, 7), 0, ""},
        {"hard links", {"dump", "--to", "6"}, 5, {}, {"out:\"height\":4,", "L5", "L6"}, heights(0, 6), 0, ""},
        {"a slow writer", {"dump", "--to", "5"}, 5, {}, {"out:\"height\":4,", "S5"}, heights(0, 5), 0, ""},
        {"torrent record before and after its block", {"dump", "--torrents", "--to", "6"}, 5, {},
         {"out:\"height\":4,", "t5", "b5", "b6", "t6"}, heights(0, 6), 0, ""},
        {"a half-written top block waits for its writer", {"dump", "--to", "5"}, 5, {"P5"},
         {"out:\"height\":4,", "b5"}, heights(0, 5), 0, ""},
        {"a gap filled later", {"dump"}, 5, {}, {"out:\"height\":4,", "b5", "b7", "out:\"height\":7,", "b6", "out:\"height\":6,", "INT"},
         {"0", "1", "2", "3", "4", "5", "7", "6"}, 0, ""},
        {"a rewrite breaks the link above it", {"verify", "--json", "--progress"}, 8, {},
         {"err:following", "X5", "out:\"code\":\"chain_broken\",\"height\":6", "INT"},
         {"chain_broken@5", "torrent_mismatch@5", "chain_broken@6", "summary 0-7 3"}, 1, "following"},
        {"a lower problem after a higher one", {"verify", "--json", "--progress"}, 8, {},
         {"err:following", "X5", "out:\"code\":\"chain_broken\",\"height\":6", "Y2", "out:\"height\":2", "INT"},
         {"chain_broken@5", "torrent_mismatch@5", "chain_broken@6", "torrent_mismatch@2", "summary 0-7 4"}, 1,
         "following"},
        {"SIGTERM ends with the summary", {"verify", "--progress"}, 5, {}, {"err:following", "TERM"},
         {"checked heights 0-4: 5 blocks, 5 torrent records, no problems found"}, 0, "following"},
        {"SIGINT ends with the summary", {"verify", "--json", "--progress"}, 5, {"X3"}, {"err:following", "INT"},
         {"chain_broken@3", "torrent_mismatch@3", "chain_broken@4", "summary 0-4 3"}, 1, "following"},
        {"--to ends verify", {"verify", "--json", "--to", "6"}, 5, {}, {"b5", "t5", "b6", "t6"}, {"summary 0-6 0"}, 0,
         ""},
        {"a missing torrent record, once the node moved on", {"verify", "--json", "--to", "6"}, 5, {},
         {"b5", "b6", "t6"}, {"torrent_missing@5-5", "summary 0-6 1"}, 1, ""},
        {"the block directory renamed away and made again", {"dump", "--to", "6"}, 5, {},
         {"out:\"height\":4,", "away", "err:was removed or renamed", "back", "b5", "b6"}, heights(0, 6), 0,
         "Warning: the block directory "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LiveStore store(0, 12, c.present);
        for (const auto& step : c.before) store.apply(step);
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"--follow", "--no-progress", "--config", store.settings()});
        if (arguments[0] == "verify") arguments.erase(std::find(arguments.begin(), arguments.end(), "--no-progress"));
        if (arguments[0] == "dump") arguments.push_back("--no-proof");
        if (std::find(c.arguments.begin(), c.arguments.end(), "--progress") != c.arguments.end()) {
            std::erase(arguments, std::string("--no-progress"));
        }
        BackgroundRun run(CHAINSCAN, arguments);
        for (const auto& step : c.steps) {
            if (step.starts_with("out:")) {
                ASSERT_TRUE(run.wait_for_out(step.substr(4))) << step << "\n" << run.out() << run.err();
            } else if (step.starts_with("err:")) {
                ASSERT_TRUE(run.wait_for_err(step.substr(4))) << step << "\n" << run.err();
            } else if (step == "INT" || step == "TERM") {
                run.signal(step == "INT" ? SIGINT : SIGTERM);
            } else if (step == "away") {
                fs::rename(store.block_dir(), store.block_dir().string() + ".away");
            } else if (step == "back") {
                fs::create_directory(store.block_dir());
            } else {
                store.apply(step);
            }
        }
        const RunResult result = run.finish();
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(shortened(result.out), c.lines);
        if (arguments[0] == "verify") {
            // The summary of what was reported claims no more than a run over the final store.
            std::erase(arguments, std::string("--follow"));
            const RunResult once = run_program(CHAINSCAN, arguments);
            EXPECT_EQ(lines_of(result.out).back(), lines_of(once.out).back());
        }
        if (c.err.empty()) {
            EXPECT_EQ(result.err, "");
        } else {
            EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
        }
    }
}

TEST(ChainscanFollow, EndsAtTheLastHeightThereCanBe) {
    LiveStore store(4294967290u, 6, 5);
    BackgroundRun run(CHAINSCAN, {"dump", "--follow", "--no-proof", "--config", store.settings()});
    store.apply("b4294967295");
    const RunResult result = run.finish();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(shortened(result.out), heights(4294967290u, 4294967295u));
}

TEST(ChainscanFollow, BurstFasterThanEventsAreReadLosesNoHeight) {
    constexpr std::uint32_t LAST = 20004;
    LiveStore store(0, LAST + 1, 5, false);
    BackgroundRun run(CHAINSCAN, {"dump", "--follow", "--format", "csv", "--to", std::to_string(LAST), "--config",
                                  store.settings()});
    ASSERT_TRUE(run.wait_for_out("\n4,"));
    for (std::uint32_t h = 5; h <= LAST; ++h) store.apply(step_at('b', h));
    const RunResult result = run.finish(120);
    EXPECT_EQ(result.status, 0) << result.err;
    const auto lines = lines_of(result.out);
    ASSERT_EQ(lines.size(), LAST + 2u);
    for (std::uint32_t h = 0; h <= LAST; ++h) {
        ASSERT_TRUE(lines[h + 1].starts_with(std::to_string(h) + ",")) << lines[h + 1];
    }
}

TEST(ChainscanFollow, ReaderThatGoesAwayEndsTheWait) {
    LiveStore store(0, 12, 5);
    const auto result = run_program(
        "/bin/bash", {"-c", "'" + CHAINSCAN + "' dump --follow --no-proof --config '" + store.settings() +
                                "' | head -3 >/dev/null; echo \"${PIPESTATUS[0]}\""});
    EXPECT_EQ(result.out, "141\n");
    EXPECT_EQ(result.err, "");
}

// The file's text with what changes from run to run left out: timestamps,
// durations and the watch's own gauges.
std::string steady_metrics(const std::string& text) {
    std::string kept;
    for (const auto& line : lines_of(text)) {
        if (line.find("_seconds") != std::string::npos || line.find("chainscan_follow_") != std::string::npos) continue;
        kept += line + "\n";
    }
    return kept;
}

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A metrics file kept current while following: each step shows within a
// few seconds, a reader never sees half of it, and after Ctrl-C it holds
// what a one-shot run over the final store reports, with nothing left
// beside it.
TEST(ChainscanFollow, KeepsItsMetricsFileCurrent) {
    struct Case {
        std::vector<std::string> command;
        std::string to_height;  // the family that tells the last height handled
        std::string counted;    // a sample the mismatched torrent record or the new blocks change
    };
    for (const Case& c : {Case{{"verify"}, "chainscan_verify_to_height", "chainscan_verify_problems{code=\"torrent_mismatch\"} 1\n"},
                          Case{{"dump", "--format", "sql", "--for", "sqlite"}, "chainscan_dump_to_height",
                               "chainscan_dump_records 7\n"}}) {
        SCOPED_TRACE(c.command[0]);
        LiveStore store(0, 12, 5);
        TempDir out;
        const std::string path = out / "chainscan.prom";
        std::vector<std::string> arguments = c.command;
        arguments.insert(arguments.end(), {"--follow", "--no-progress", "--metrics-file", path, "--config", store.settings()});
        BackgroundRun run(CHAINSCAN, arguments);
        std::atomic<bool> done{false};
        std::atomic<int> reads{0};
        std::atomic<int> partial{0};
        std::thread reader([&] {
            while (!done) {
                const std::string text = file_text(path);
                if (!text.empty()) {
                    ++reads;
                    if (!text.ends_with("\n") || text.find("chainscan_follow_last_store_write_timestamp_seconds ") == std::string::npos) {
                        ++partial;
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        const auto shows = [&](const std::string& sample) {
            for (int tries = 0; tries < 500; ++tries) {
                if (file_text(path).find(sample) != std::string::npos) return true;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            return false;
        };
        EXPECT_TRUE(shows(c.to_height + " 4\n")) << file_text(path);
        EXPECT_TRUE(shows("chainscan_follow_store_to_height 4\n")) << file_text(path);
        store.apply("b5");
        store.apply("t5");
        EXPECT_TRUE(shows(c.to_height + " 5\n")) << file_text(path);
        store.apply("b6");
        store.apply("Y6");
        EXPECT_TRUE(shows(c.to_height + " 6\n")) << file_text(path);
        EXPECT_TRUE(shows(c.counted)) << file_text(path);
        run.signal(SIGINT);
        const RunResult result = run.finish();
        done = true;
        reader.join();
        EXPECT_EQ(result.err, "");
        EXPECT_GT(reads.load(), 0);
        EXPECT_EQ(partial.load(), 0);
        std::vector<std::string> beside;
        for (const auto& entry : fs::directory_iterator(out.path())) beside.push_back(entry.path().filename().string());
        EXPECT_EQ(beside, std::vector<std::string>{"chainscan.prom"});
        // A one-shot run over the final store.
        std::vector<std::string> once = c.command;
        once.insert(once.end(), {"--metrics-file", out / "once.prom", "--config", store.settings()});
        run_program(CHAINSCAN, once);
        EXPECT_EQ(steady_metrics(file_text(path)), steady_metrics(file_text(out / "once.prom")));
        if (c.command[0] == "verify") {
            const RunResult prometheus = run_program(CHAINSCAN, {"verify", "--prometheus", "--config", store.settings()});
            EXPECT_EQ(steady_metrics(file_text(path)), steady_metrics(prometheus.out));
        }
        const std::string promtool = "/opt/viewers-test-tools/prometheus/usr/bin/promtool";
        if (fs::exists(promtool)) {
            const RunResult checked = run_program("/bin/bash", {"-c", "'" + promtool + "' check metrics < '" + path + "'"});
            EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
        }
    }
}

// A service manager's notify socket of the test's own: a path, or an
// abstract name after "@".
class NotifySocket {
public:
    explicit NotifySocket(const std::string& name) : name_(name) {
        descriptor_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.data(), name.size());
        if (name.front() == '@') address.sun_path[0] = '\0';
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
        EXPECT_EQ(::bind(descriptor_, reinterpret_cast<const sockaddr*>(&address), length), 0) << name;
    }
    ~NotifySocket() { ::close(descriptor_); }
    const std::string& name() const { return name_; }

    // The next message, waiting at most `seconds`.
    std::optional<std::string> receive(int seconds = 20) const {
        pollfd ready{descriptor_, POLLIN, 0};
        if (::poll(&ready, 1, seconds * 1000) != 1) return std::nullopt;
        char buffer[4096];
        const ssize_t got = ::recv(descriptor_, buffer, sizeof buffer, 0);
        if (got < 0) return std::nullopt;
        return std::string(buffer, static_cast<std::size_t>(got));
    }
    // Messages until one starts with `start` (that one included).
    std::vector<std::string> receive_until(const std::string& start) const {
        std::vector<std::string> messages;
        while (const auto message = receive()) {
            messages.push_back(*message);
            if (message->starts_with(start)) break;
        }
        return messages;
    }

private:
    std::string name_;
    int descriptor_ = -1;
};

// READY=1 once caught up, STATUS= with the last height handled, WATCHDOG=1
// from the watch loop at the pace asked for, STOPPING=1 on a clean stop; a
// socket that is gone changes nothing but a line with --verbose.
TEST(ChainscanFollow, TellsTheServiceManagerWhatItDoes) {
    for (const bool abstract : {false, true}) {
        SCOPED_TRACE(abstract ? "abstract" : "path");
        LiveStore store(0, 12, 5);
        TempDir dir;
        const NotifySocket socket(abstract ? "@chainscan-notify-" + std::to_string(::getpid()) : dir / "notify");
        BackgroundRun run("/usr/bin/env", {"NOTIFY_SOCKET=" + socket.name(), "WATCHDOG_USEC=200000", CHAINSCAN, "dump",
                                           "--follow", "--no-proof", "--no-progress", "--config", store.settings()});
        const auto ready = socket.receive();
        ASSERT_TRUE(ready);
        // Caught up through height 3; the highest present is left to the watch.
        EXPECT_TRUE(ready->starts_with("READY=1\nSTATUS=following; last height handled 3, ")) << *ready;
        std::size_t watchdogs = 0;
        for (const auto& message : socket.receive_until("STATUS=following; last height handled 4,")) {
            watchdogs += message.find("WATCHDOG=1") != std::string::npos;
        }
        store.apply("b5");
        store.apply("t5");
        for (const auto& message : socket.receive_until("STATUS=following; last height handled 5,")) {
            watchdogs += message.find("WATCHDOG=1") != std::string::npos;
        }
        for (int more = 0; watchdogs < 4 && more < 50; ++more) {
            const auto message = socket.receive();
            ASSERT_TRUE(message);
            watchdogs += message->find("WATCHDOG=1") != std::string::npos;
        }
        EXPECT_GE(watchdogs, 4u);
        run.signal(SIGINT);
        const auto stopping = socket.receive_until("STOPPING=1");
        ASSERT_FALSE(stopping.empty());
        EXPECT_EQ(stopping.back(), "STOPPING=1");
        const RunResult result = run.finish();
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(shortened(result.out), heights(0, 5));
        EXPECT_EQ(result.err, "");
    }
    TempDir dir;
    write_store(dir.path(), {0, 4, {}});
    const auto plain = run_program(CHAINSCAN, {"verify", "--config", dir / "settings.ini"});
    RunOptions gone;
    gone.environment["NOTIFY_SOCKET"] = dir / "gone";
    for (const bool verbose : {false, true}) {
        std::vector<std::string> arguments = {"verify", "--config", dir / "settings.ini"};
        if (verbose) arguments.push_back("--verbose");
        const auto result = run_program(CHAINSCAN, arguments, gone);
        EXPECT_EQ(result.status, plain.status);
        EXPECT_EQ(result.out, plain.out);
        EXPECT_EQ(result.err, verbose ? "Note: cannot reach the service manager's socket NOTIFY_SOCKET (No such file or "
                                        "directory); going on without it\n"
                                      : "");
    }
}

// Without its stop pipe (no descriptor left for it) a follow says so, and
// Ctrl-C still ends it with the summary. The tool runs under strace, which
// fails pipe2 and ignores the signal meant for the tool.
TEST(ChainscanFollow, WithoutItsStopPipeSaysSoAndStillStops) {
#ifndef VIEWERS_STATIC_TOOLS
    GTEST_SKIP() << "the tools are not linked statically; a sanitizer's runtime does not run under ptrace";
#endif
    if (!fs::exists("/usr/bin/strace") || run_program("/usr/bin/strace", {"-o", "/dev/null", "/bin/true"}).status != 0) {
        GTEST_SKIP() << "strace cannot trace here";
    }
    LiveStore store(0, 12, 5);
    BackgroundRun run("/usr/bin/strace", {"-I4", "-f", "-qq", "-o", "/dev/null", "-e", "trace=pipe2", "-e",
                                          "inject=pipe2:error=EMFILE", CHAINSCAN, "verify", "--follow", "--progress",
                                          "--config", store.settings()});
    ASSERT_TRUE(run.wait_for_err("following")) << run.err();
    std::ifstream children("/proc/" + std::to_string(run.pid()) + "/task/" + std::to_string(run.pid()) + "/children");
    int tool = 0;
    ASSERT_TRUE(children >> tool);
    ::kill(tool, SIGINT);
    const RunResult result = run.finish();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "checked heights 0-4: 5 blocks, 5 torrent records, no problems found\n");
    EXPECT_TRUE(result.err.starts_with("Warning: no pipe to wake the run on Ctrl-C or SIGTERM (Too many open files); "
                                       "either may take a second to end it\n"))
        << result.err;
}

}  // namespace
}  // namespace quorvane::testing

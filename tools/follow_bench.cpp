// chainscan dump --follow against a writer that adds block files at a set
// rate: the time from each file's close to its line on the tool's standard
// output, and the tool's peak RSS as the followed heights grow.
//   follow_bench CHAINSCAN HEIGHTS RATE_PER_SECOND [RSS_AT...]
// RATE 0 writes as fast as it can.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_harness.hpp"
#include "support/store_builder.hpp"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

long peak_rss_kib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
    }
    return -1;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quorvane::testing;
    if (argc < 4) {
        std::cerr << "usage: follow_bench CHAINSCAN HEIGHTS RATE_PER_SECOND [RSS_AT...]\n";
        return 2;
    }
    const std::string chainscan = argv[1];
    const auto heights = static_cast<std::uint32_t>(std::stoul(argv[2]));
    const double rate = std::stod(argv[3]);
    std::set<std::uint32_t> rss_at;
    for (int i = 4; i < argc; ++i) rss_at.insert(static_cast<std::uint32_t>(std::stoul(argv[i])));

    TempDir source;
    TempDir live;
    StoreShape shape{0, heights + 1, {}};
    shape.with_torrents = false;
    write_store(source.path(), shape);
    write_store(live.path(), {0, 1, {}});
    std::vector<std::string> blocks(heights + 1);
    for (std::uint32_t h = 1; h <= heights; ++h) {
        blocks[h] = read_file(source.path() / "blocks/testnet" / (std::to_string(h) + ".vetq"));
    }

    int out[2];
    if (::pipe(out) != 0) return 2;
    const std::string settings = live / "settings.ini";
    const std::string last = std::to_string(heights);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::execl(chainscan.c_str(), chainscan.c_str(), "dump", "--follow", "--format", "csv", "--to", last.c_str(),
                "--config", settings.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);

    std::vector<Clock::time_point> closed(heights + 1);
    std::vector<Clock::time_point> printed(heights + 1);
    std::vector<std::pair<std::uint32_t, long>> rss;
    std::jthread reader([&] {
        std::string pending;
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(out[0], buffer, sizeof buffer);
            if (got <= 0) return;
            const auto now = Clock::now();
            pending.append(buffer, static_cast<std::size_t>(got));
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
                const std::string line = pending.substr(0, end);
                if (line.empty() || line[0] < '0' || line[0] > '9') continue;
                const auto h = static_cast<std::uint32_t>(std::stoul(line.substr(0, line.find(','))));
                if (h <= heights) printed[h] = now;
                if (rss_at.contains(h)) rss.emplace_back(h, peak_rss_kib(pid));
            }
        }
    });

    // The first line shows that the catch-up is done.
    while (printed[0] == Clock::time_point{}) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto start = Clock::now();
    const fs::path directory = live.path() / "blocks/testnet";
    for (std::uint32_t h = 1; h <= heights; ++h) {
        if (rate > 0) std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                                 std::chrono::duration<double>((h - 1) / rate)));
        const std::string path = (directory / (std::to_string(h) + ".vetq")).string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, blocks[h].data(), blocks[h].size()) != static_cast<ssize_t>(blocks[h].size())) return 2;
        // Taken before the close, so the figure includes it.
        closed[h] = Clock::now();
        ::close(fd);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    reader.join();

    std::vector<double> latencies;
    std::uint32_t lost = 0;
    for (std::uint32_t h = 1; h <= heights; ++h) {
        if (printed[h] == Clock::time_point{}) {
            ++lost;
            continue;
        }
        latencies.push_back(std::chrono::duration<double, std::milli>(printed[h] - closed[h]).count());
    }
    std::printf("  %u heights at %s/s: close to line median %.2f ms, 99th percentile %.2f ms, maximum %.2f ms",
                heights, rate > 0 ? argv[3] : "full speed", percentile(latencies, 0.5), percentile(latencies, 0.99),
                percentile(latencies, 1.0));
    std::printf("; %u without a line; exit status %d\n", lost, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    for (const auto& [h, kib] : rss) std::printf("  peak RSS after %u heights: %ld KiB\n", h, kib);
    return lost == 0 ? 0 : 1;
}

#include "scan/report/verify_metrics.hpp"

#include <cstdio>
#include <optional>

namespace quorvane {

namespace {

void add_gauge(std::string& out, std::string_view name, std::string_view help) {
    out += "# HELP chainscan_verify_";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE chainscan_verify_";
    out += name;
    out += " gauge\n";
}

void add_sample(std::string& out, std::string_view name, std::string_view value, std::string_view labels = {}) {
    out += "chainscan_verify_";
    out += name;
    out += labels;
    out += ' ';
    out += value;
    out += '\n';
}

std::string height_value(const std::optional<std::uint32_t>& height) {
    return height ? std::to_string(*height) : "NaN";
}

// Fixed-point seconds to the microsecond; the C locale is never changed here.
std::string seconds_value(double seconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

}  // namespace

std::string verify_metrics(const VerifySummary& summary, std::chrono::duration<double> duration,
                           std::chrono::system_clock::time_point finished) {
    const std::uint64_t checked = summary.from && summary.to ? std::uint64_t{*summary.to} - *summary.from + 1 : 0;
    std::string out;
    const auto gauge = [&out](std::string_view name, std::string_view help, std::string_view value) {
        add_gauge(out, name, help);
        add_sample(out, name, value);
    };
    gauge("heights_checked", "Heights in the checked range.", std::to_string(checked));
    gauge("blocks", "Block files found in the range.", std::to_string(summary.blocks));
    gauge("torrents", "Torrent records found in the range.", std::to_string(summary.torrents));
    gauge("from_height", "First height of the checked range (NaN when none was checked).",
          height_value(summary.from));
    gauge("to_height", "Last height of the checked range (NaN when none was checked).", height_value(summary.to));
    add_gauge(out, "problems", "Problems found, by code.");
    for (std::size_t i = 0; i < PROBLEM_CODE_COUNT; ++i) {
        const std::string label = "{code=\"" + std::string(problem_code_name(static_cast<ProblemCode>(i))) + "\"}";
        add_sample(out, "problems", std::to_string(summary.by_code[i]), label);
    }
    gauge("verified_through_height", "Highest height up to which the range holds together (NaN when none).",
          height_value(summary.verified_through));
    gauge("first_bad_height", "Lowest height with a problem (NaN when none).", height_value(summary.first_bad_height));
    gauge("duration_seconds", "Wall-clock time the run took.", seconds_value(duration.count()));
    const auto since_epoch = std::chrono::duration<double>(finished.time_since_epoch());
    gauge("last_run_timestamp_seconds", "When the run finished, in seconds since the Unix epoch.",
          seconds_value(since_epoch.count()));
    return out;
}

}  // namespace quorvane

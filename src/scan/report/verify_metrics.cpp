#include "scan/report/verify_metrics.hpp"

#include "scan/report/metrics_text.hpp"

namespace quorvane {

std::string verify_metrics(const VerifySummary& summary, std::chrono::duration<double> duration,
                           std::chrono::system_clock::time_point finished) {
    const std::uint64_t checked = summary.from && summary.to ? std::uint64_t{*summary.to} - *summary.from + 1 : 0;
    MetricsText out("chainscan_verify_");
    out.gauge("heights_checked", "Heights in the checked range.", std::to_string(checked));
    out.gauge("blocks", "Block files found in the range.", std::to_string(summary.blocks));
    out.gauge("torrents", "Torrent records found in the range.", std::to_string(summary.torrents));
    out.gauge("from_height", "First height of the checked range (NaN when none was checked).",
              height_value(summary.from));
    out.gauge("to_height", "Last height of the checked range (NaN when none was checked).", height_value(summary.to));
    out.family("problems", "Problems found, by code.");
    for (std::size_t i = 0; i < PROBLEM_CODE_COUNT; ++i) {
        const std::string label = "{code=\"" + std::string(problem_code_name(static_cast<ProblemCode>(i))) + "\"}";
        out.sample("problems", std::to_string(summary.by_code[i]), label);
    }
    out.gauge("verified_through_height", "Highest height up to which the range holds together (NaN when none).",
              height_value(summary.verified_through));
    out.gauge("first_bad_height", "Lowest height with a problem (NaN when none).", height_value(summary.first_bad_height));
    out.gauge("duration_seconds", "Wall-clock time the run took.", seconds_value(duration.count()));
    out.gauge("last_run_timestamp_seconds", "When the run finished, in seconds since the Unix epoch.",
              timestamp_value(finished));
    return out.text();
}

}  // namespace quorvane

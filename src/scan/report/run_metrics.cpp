#include "scan/report/run_metrics.hpp"

#include <algorithm>

#include "scan/report/metrics_text.hpp"

namespace quorvane {

void DumpTally::count_errors(const std::string& lines) {
    errors += static_cast<std::uint64_t>(std::count(lines.begin(), lines.end(), '\n'));
}

std::string dump_metrics(const DumpTally& tally, std::uint32_t from, std::optional<std::uint32_t> to_height,
                         std::chrono::system_clock::time_point updated) {
    const std::uint64_t heights = to_height ? std::uint64_t{*to_height} - from + 1 : 0;
    MetricsText out("chainscan_dump_");
    out.gauge("heights", "Heights handled so far, from the first of the range.", std::to_string(heights));
    out.gauge("records", "Lines or rows written so far.", std::to_string(tally.records));
    out.gauge("errors", "Records that could not be read or decoded so far.", std::to_string(tally.errors));
    out.gauge("to_height", "Last height handled (NaN when none was).", height_value(to_height));
    out.gauge("last_update_timestamp_seconds", "When this file was written, in seconds since the Unix epoch.",
              timestamp_value(updated));
    return out.text();
}

std::string verify_update_metrics(std::chrono::system_clock::time_point updated) {
    MetricsText out("chainscan_verify_");
    out.gauge("last_update_timestamp_seconds", "When this file was written, in seconds since the Unix epoch.",
              timestamp_value(updated));
    return out.text();
}

std::string follow_metrics(const FollowGauges& gauges) {
    MetricsText out("chainscan_follow_");
    out.gauge("store_to_height", "Highest height the node has written a record of, as the watch saw it (NaN before any).",
              height_value(gauges.store_to_height));
    out.gauge("last_store_write_timestamp_seconds",
              "When the watch last saw the node write a record, in seconds since the Unix epoch (NaN before any).",
              gauges.last_store_write ? timestamp_value(*gauges.last_store_write) : std::string("NaN"));
    return out.text();
}

}  // namespace quorvane

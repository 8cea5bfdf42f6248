#include "common/tool_entry.hpp"
#include "scan/commands.hpp"
#include "scan/height_sinks.hpp"

namespace quorvane {

namespace {

// The store as it stands: every height of the range, once.
int scan_once(const ScanOptions& options, bool verify) {
    const NetworkPaths paths = load_paths(options);
    const StoreIndex index = index_store(paths, options);
    const auto range = range_of(options, index);
    ProgressLine progress(verify ? "verify" : "dump", range ? range->size() : 0, shows_progress(options));
    const auto sink = verify ? verify_sink(options, progress, range ? range->from : 0, range ? range->to : 0)
                             : dump_sink(options, progress);
    sink->begin();
    if (!range) return sink->finish(std::nullopt);
    ScanPlan plan = plan_for(*range, options);
    sink->configure(plan);
    scan_store(paths, index, plan, [&](std::span<HeightScan> window) {
        sink->take(window);
        if (!window.empty()) progress.advance(HeightRange{range->from, window.back().height}.size());
    });
    progress.hide();
    return sink->finish(range->to);
}

}  // namespace

int run_dump(const ScanOptions& options) { return options.follow ? run_follow(options, false) : scan_once(options, false); }

int run_verify(const ScanOptions& options) {
    return options.follow ? run_follow(options, true) : scan_once(options, true);
}

}  // namespace quorvane

#include "common/tool_entry.hpp"
#include "scan/commands/commands.hpp"
#include "scan/commands/height_sinks.hpp"

namespace quorvane {

int scan_once(const ScanOptions& options, const char* command, const SinkMaker& make_sink) {
    const StoreLayout layout = load_layout(options);
    const StoreIndex index = index_store(layout, options);
    const auto range = range_of(options, index);
    ProgressLine progress(command, range ? range->size() : 0, progress_shown(options));
    const auto sink = make_sink(progress, range ? *range : HeightRange{0, 0});
    sink->begin();
    if (!range) return sink->finish(std::nullopt);
    ScanPlan plan = plan_for(*range, options);
    sink->configure(plan);
    scan_store(layout, index, plan, [&](std::span<HeightScan> window) {
        sink->take(window);
        if (!window.empty()) progress.advance(HeightRange{range->from, window.back().height}.size());
    });
    progress.hide();
    return sink->finish(range->to);
}

int run_dump(const ScanOptions& options) {
    if (options.follow) return run_follow(options);
    return scan_once(options, "dump", [&](ProgressLine& progress, HeightRange range) {
        return sink_for(options, progress, range.from, range.to);
    });
}

int run_verify(const ScanOptions& options) {
    if (options.follow) return run_follow(options);
    return scan_once(options, "verify", [&](ProgressLine& progress, HeightRange range) {
        return sink_for(options, progress, range.from, range.to);
    });
}

}  // namespace quorvane

// dump, verify, stats and report over the store as it stands: every height
// of the range once, through the command's sink.

#include "common/tool_entry.hpp"
#include "scan/commands/commands.hpp"
#include "scan/commands/height_sink.hpp"

namespace quorvane {

namespace {

using SinkMaker = std::function<std::unique_ptr<HeightSink>(SinkOutput& output, HeightRange range)>;

Finished scan_with(const ScanOptions& options, const char* command, const SinkMaker& make_sink) {
    const StoreLayout layout = load_layout(options);
    const auto metrics = metrics_file_for(options, layout);
    // A run over the store as it stands is ready at once, for a service
    // manager that waits for it.
    ServiceNotifier notifier = ServiceNotifier::from_environment();
    bool said = false;
    notify_service(notifier, "READY=1", options, said);
    const StoreIndex index = index_store(layout, options);
    const auto range = range_of(options, index);
    ProgressLine progress(command, range ? range->size() : 0, progress_shown(options));
    StandardOutput output(progress);
    const auto sink = make_sink(output, range ? *range : HeightRange{0, 0});
    if (auto begun = sink->begin(); !begun) return std::unexpected(begun.error());
    const auto with_metrics = [&](Finished finished, std::optional<std::uint32_t> last) {
        if (finished && metrics) write_metrics_or_stop(*metrics, sink->metrics(last, std::chrono::system_clock::now()));
        return finished;
    };
    if (!range) return with_metrics(sink->finish(std::nullopt), std::nullopt);
    ScanPlan plan = plan_for(*range, options);
    sink->configure(plan);
    Written taken;
    plan.should_stop = [&] { return !taken; };
    scan_store(layout, index, plan, [&](const ScannedWindow& window) {
        if (!taken) return;
        taken = sink->take(window);
        if (!window.heights.empty()) progress.advance(HeightRange{range->from, window.heights.back().height}.size());
    });
    if (!taken) return std::unexpected(taken.error());
    progress.hide();
    return with_metrics(sink->finish(range->to), range->to);
}

int scan_once(const ScanOptions& options, const char* command, const SinkMaker& make_sink) {
    return exit_status(scan_with(options, command, make_sink));
}

}  // namespace

int run_dump(const ScanOptions& options) {
    if (options.follow) return run_follow(options);
    return scan_once(options, "dump", [&](SinkOutput& output, HeightRange range) {
        return sink_for(options, output, range);
    });
}

int run_verify(const ScanOptions& options) {
    if (options.follow) return run_follow(options);
    return scan_once(options, "verify", [&](SinkOutput& output, HeightRange range) {
        return sink_for(options, output, range);
    });
}

int run_stats(const ScanOptions& options) {
    return scan_once(options, "stats", [&](SinkOutput& output, HeightRange range) {
        return stats_report_sink(options.stats_form, output, range);
    });
}

int run_report(const ScanOptions& options) {
    return scan_once(options, "report", [&](SinkOutput& output, HeightRange range) {
        return stats_report_sink(options.stats_form, output, range);
    });
}

}  // namespace quorvane

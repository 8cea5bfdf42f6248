#include <chrono>

#include "common/tool_entry.hpp"
#include "scan/commands.hpp"
#include "scan/progress_line.hpp"
#include "scan/verify_metrics.hpp"
#include "scan/verify_report.hpp"

namespace quorvane {

namespace {

std::string closing_text(const ScanOptions& options, const VerifySummary& summary,
                         std::chrono::steady_clock::time_point started) {
    if (options.prometheus) {
        return verify_metrics(summary, std::chrono::steady_clock::now() - started, std::chrono::system_clock::now());
    }
    return options.json ? summary_json(summary) : summary_text(summary);
}

}  // namespace

int run_verify(const ScanOptions& options) {
    const auto started = std::chrono::steady_clock::now();
    const NetworkPaths paths = load_paths(options);
    const StoreIndex index = index_store(paths, options);
    const auto range = range_of(options, index);
    if (!range) {
        print(Stream::Stdout, closing_text(options, VerifySummary{}, started));
        return EXIT_STATUS_SUCCESS;
    }
    ScanPlan plan = plan_for(*range, options);
    plan.read_torrents = true;
    VerifyReport report(range->from, range->to, options.json);
    // Metrics are a summary alone: the problem lines are not printed.
    const auto show = [&](ProgressLine& progress, const std::string& lines) {
        if (lines.empty() || options.prometheus) return;
        progress.make_room_for(Stream::Stdout);
        print(Stream::Stdout, lines);
    };
    ProgressLine progress("verify", range->size(), shows_progress(options));
    scan_store(paths, index, plan, [&](std::span<HeightScan> window) {
        for (const HeightScan& scan : window) report.add(scan);
        show(progress, report.take_lines());
        if (!window.empty()) progress.advance(HeightRange{range->from, window.back().height}.size());
    });
    show(progress, report.finish());
    progress.hide();
    print(Stream::Stdout, closing_text(options, report.summary(), started));
    return report.found_problems() ? EXIT_STATUS_FAILURE : EXIT_STATUS_SUCCESS;
}

}  // namespace quorvane

// stats and report: the chain at a glance, from the same pass over the store
// that verify makes.

#include "common/tool_entry.hpp"
#include "scan/checks/chain_series.hpp"
#include "scan/checks/chain_stats.hpp"
#include "scan/commands/commands.hpp"
#include "scan/commands/height_sinks.hpp"
#include "scan/report/report_html.hpp"
#include "scan/report/stats_format.hpp"
#include "scan/checks/verify_report.hpp"

namespace quorvane {

namespace {

class StatsReportSink final : public HeightSink {
public:
    StatsReportSink(StatsReportForm form, ProgressLine& progress, HeightRange range)
        : form_(form), progress_(progress), report_(range.from, range.to), stats_(range.from, range.to) {
        if (form_ == StatsReportForm::Html) series_ = ChainSeries(range.from, range.to);
        // Problems are counted, and drawn in a report, but never printed.
        report_.observe([this](const Problem& problem) {
            if (form_ == StatsReportForm::Html) series_.add(problem);
        });
    }

    void configure(ScanPlan& plan) const override { plan.read_torrents = true; }

    bool needs_torrents() const override { return true; }

    void take(std::span<HeightScan> window) override {
        for (const HeightScan& scan : window) {
            report_.add(scan);
            const HeightFacts facts = stats_.add(scan);
            if (form_ == StatsReportForm::Html) series_.add(scan.height, facts);
        }
    }

    // Only a run that follows the store takes a height again.
    void take_again(const StoreLayout&, std::uint32_t, std::uint64_t) override {}

    int finish(std::optional<std::uint32_t> last) override {
        VerifySummary summary;
        if (last) {
            report_.end_at(*last);
            report_.finish();
            stats_.end_at(*last);
            summary = report_.summary();
        }
        progress_.hide();
        switch (form_) {
            case StatsReportForm::Text: print(Stream::Stdout, stats_text(stats_, summary)); break;
            case StatsReportForm::JsonObject: print(Stream::Stdout, stats_json(stats_, summary)); break;
            case StatsReportForm::Html: print(Stream::Stdout, report_html(stats_, summary, series_)); break;
        }
        return summary.problems > 0 ? EXIT_STATUS_FAILURE : EXIT_STATUS_SUCCESS;
    }

private:
    StatsReportForm form_;
    ProgressLine& progress_;
    VerifyReport report_;
    ChainStats stats_;
    ChainSeries series_;
};

int stats_or_report(const ScanOptions& options, const char* command) {
    return scan_once(options, command, [form = options.stats_form](ProgressLine& progress, HeightRange range) {
        return std::make_unique<StatsReportSink>(form, progress, range);
    });
}

}  // namespace

int run_stats(const ScanOptions& options) { return stats_or_report(options, "stats"); }

int run_report(const ScanOptions& options) { return stats_or_report(options, "report"); }

}  // namespace quorvane

// stats and report: the chain at a glance, from the same pass over the store
// that verify makes.

#include "common/tool_entry.hpp"
#include "scan/checks/chain_series.hpp"
#include "scan/checks/chain_stats.hpp"
#include "scan/checks/verify_report.hpp"
#include "scan/commands/height_sink.hpp"
#include "scan/report/report_html.hpp"
#include "scan/report/stats_format.hpp"

namespace quorvane {

namespace {

class StatsReportSink final : public HeightSink {
public:
    StatsReportSink(StatsReportForm form, SinkOutput& output, HeightRange range)
        : form_(form), output_(output), report_(range.from, range.to), stats_(range.from, range.to) {
        if (form_ == StatsReportForm::Html) series_ = ChainSeries(range.from, range.to);
        // Problems are counted, and drawn in a report, but never printed.
        report_.observe([this](const Problem& problem) {
            if (form_ == StatsReportForm::Html) series_.add(problem);
        });
    }

    void configure(ScanPlan& plan) const override { plan.read_torrents = true; }

    Written take(const ScannedWindow& window) override {
        for (const HeightScan& scan : window.heights) {
            report_.add(scan);
            const HeightFacts facts = stats_.add(scan);
            if (form_ == StatsReportForm::Html) series_.add(scan.height, facts);
        }
        return {};
    }

    Finished finish(std::optional<std::uint32_t> last) override {
        VerifySummary summary;
        if (last) {
            report_.end_at(*last);
            report_.finish();
            stats_.end_at(*last);
            summary = report_.summary();
        }
        output_.end_progress();
        std::string text;
        switch (form_) {
            case StatsReportForm::Text: text = stats_text(stats_, summary); break;
            case StatsReportForm::JsonObject: text = stats_json(stats_, summary); break;
            case StatsReportForm::Html: text = report_html(stats_, summary, series_); break;
        }
        if (auto written = output_.write(Stream::Stdout, text); !written) return std::unexpected(written.error());
        return summary.problems > 0 ? EXIT_STATUS_FAILURE : EXIT_STATUS_SUCCESS;
    }

private:
    StatsReportForm form_;
    SinkOutput& output_;
    VerifyReport report_;
    ChainStats stats_;
    ChainSeries series_;
};

}  // namespace

std::unique_ptr<HeightSink> stats_report_sink(StatsReportForm form, SinkOutput& output, HeightRange range) {
    return std::make_unique<StatsReportSink>(form, output, range);
}

}  // namespace quorvane

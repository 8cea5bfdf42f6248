// stats and report: the chain at a glance, from the same pass over the store
// that verify makes.

#include "common/tool_entry.hpp"
#include "scan/checks/chain_series.hpp"
#include "scan/checks/chain_stats.hpp"
#include "scan/checks/problem_finder.hpp"
#include "scan/commands/height_sink.hpp"
#include "scan/report/report_charts.hpp"
#include "scan/report/report_html.hpp"
#include "scan/report/stats_format.hpp"

namespace quorvane {

namespace {

class StatsReportSink final : public HeightSink {
public:
    StatsReportSink(StatsReportForm form, SinkOutput& output, HeightRange range)
        : form_(form), output_(output), problems_(range.from, range.to), stats_(range.from, range.to) {
        if (form_ == StatsReportForm::Html) series_ = ChainSeries(range.from, range.to, PLOT_COLUMNS);
        // Problems are counted, and drawn in a report, but never printed.
        problems_.observe([this](const Problem& problem) {
            if (form_ == StatsReportForm::Html) series_.add(problem);
        });
    }

    void configure(ScanPlan& plan) const override { plan.read_torrents = true; }

    Written take(const ScannedWindow& window) override {
        for (const HeightScan& scan : window.heights) {
            problems_.add(scan);
            const HeightFacts facts = stats_.add(scan);
            if (form_ == StatsReportForm::Html) series_.add(scan.height, facts);
        }
        return {};
    }

    Finished finish(std::optional<std::uint32_t> last) override {
        VerifySummary summary;
        if (last) {
            problems_.end_at(*last);
            problems_.finish();
            stats_.end_at(*last);
            summary = problems_.summary();
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
    ProblemFinder problems_;
    ChainStats stats_;
    ChainSeries series_;
};

}  // namespace

std::unique_ptr<HeightSink> stats_report_sink(StatsReportForm form, SinkOutput& output, HeightRange range) {
    return std::make_unique<StatsReportSink>(form, output, range);
}

}  // namespace quorvane

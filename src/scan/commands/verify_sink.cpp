// verify: each problem as it is found, then the summary; as text, JSON
// Lines, or the summary alone as Prometheus metrics.

#include <chrono>

#include "common/tool_entry.hpp"
#include "scan/checks/problem_finder.hpp"
#include "scan/commands/height_sink.hpp"
#include "scan/report/problem_lines.hpp"
#include "scan/report/run_metrics.hpp"
#include "scan/report/verify_metrics.hpp"

namespace quorvane {

namespace {

class VerifySink final : public FollowSink {
public:
    VerifySink(VerifyForm form, VerifyRun run, SinkOutput& output, HeightRange range)
        : form_(form), output_(output), problems_(range.from, range.to) {
        if (run == VerifyRun::Followed) problems_.keep_absent_heights();
    }

    void configure(ScanPlan& plan) const override { plan.read_torrents = true; }

    bool needs_torrents() const override { return true; }

    RereadShape reread_shape() const override { return {TorrentRecord::Read, Neighbours::Read}; }

    Written take(const ScannedWindow& window) override {
        for (const HeightScan& scan : window.heights) problems_.add(scan);
        return show(problems_.take_problems());
    }

    Written take_again(const RereadHeight& height) override {
        problems_.recheck(height.below ? *height.below : HeightScan{}, height.scan, height.above ? &*height.above : nullptr);
        return show(problems_.take_problems());
    }

    Written stream() override {
        problems_.stream();
        return show(problems_.take_problems());
    }

    Finished finish(std::optional<std::uint32_t> last) override {
        if (!last) {
            if (auto written = output_.write(Stream::Stdout, closing_text(VerifySummary{})); !written) {
                return std::unexpected(written.error());
            }
            return EXIT_STATUS_SUCCESS;
        }
        problems_.end_at(*last);
        if (auto shown = show(problems_.finish()); !shown) return std::unexpected(shown.error());
        output_.end_progress();
        if (auto written = output_.write(Stream::Stdout, closing_text(problems_.summary())); !written) {
            return std::unexpected(written.error());
        }
        return problems_.found_problems() ? EXIT_STATUS_FAILURE : EXIT_STATUS_SUCCESS;
    }

    std::string metrics(std::optional<std::uint32_t> last, std::chrono::system_clock::time_point now) const override {
        return verify_metrics(problems_.summary_through(last), std::chrono::steady_clock::now() - started_, now) +
               verify_update_metrics(now);
    }

private:
    // Metrics are a summary alone: the problem lines are not printed.
    Written show(const std::vector<Problem>& problems) {
        if (problems.empty() || form_ == VerifyForm::Prometheus) return {};
        std::string lines;
        for (const Problem& problem : problems) {
            lines += form_ == VerifyForm::JsonLines ? problem_json(problem) : problem_text(problem);
            lines += '\n';
        }
        return output_.write(Stream::Stdout, lines);
    }

    std::string closing_text(const VerifySummary& summary) const {
        if (form_ == VerifyForm::Prometheus) {
            return verify_metrics(summary, std::chrono::steady_clock::now() - started_,
                                  std::chrono::system_clock::now());
        }
        return form_ == VerifyForm::JsonLines ? summary_json(summary) : summary_text(summary);
    }

    VerifyForm form_;
    SinkOutput& output_;
    ProblemFinder problems_;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

}  // namespace

std::unique_ptr<FollowSink> verify_sink(VerifyForm form, VerifyRun run, SinkOutput& output, HeightRange range) {
    return std::make_unique<VerifySink>(form, run, output, range);
}

}  // namespace quorvane

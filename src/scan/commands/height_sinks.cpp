#include "scan/commands/height_sinks.hpp"

#include <chrono>

#include "common/tool_entry.hpp"
#include "scan/views/block_columns.hpp"
#include "scan/views/dump_lines.hpp"
#include "scan/report/verify_metrics.hpp"
#include "scan/checks/verify_report.hpp"
#include "scan/report/problem_lines.hpp"

namespace quorvane {

namespace {

// How a verify run goes: a followed one keeps what it needs to correct its
// counts when records arrive late.
enum class VerifyRun { Once, Followed };

class DumpSink final : public HeightSink {
public:
    DumpSink(const DumpShape& shape, ProgressLine& progress) : shape_(shape), progress_(progress) {}

    void begin() override {
        if (shape_.format == DumpFormat::Csv) print(Stream::Stdout, csv_header());
    }

    void configure(ScanPlan& plan) const override {
        plan.read_torrents = shape_.torrents;
        plan.only_blocks = true;
        plan.in_worker = [shape = shape_](HeightScan& scan) {
            scan.text = dump_line(scan, shape);
            // Only failures are needed after this; the records themselves can go.
            if (scan.block && *scan.block) scan.block.reset();
            if (scan.torrent && *scan.torrent) scan.torrent.reset();
        };
    }

    bool needs_torrents() const override { return shape_.torrents; }

    void take(std::span<HeightScan> window) override {
        std::size_t size = 0;
        for (const HeightScan& scan : window) size += scan.text.size();
        std::string out;
        out.reserve(size);
        std::string errors;
        for (const HeightScan& scan : window) {
            out += scan.text;
            errors += dump_errors(scan);
        }
        failed_ = failed_ || !errors.empty();
        if (!out.empty()) {
            progress_.make_room_for(Stream::Stdout);
            print(Stream::Stdout, out);
        }
        if (!errors.empty()) {
            progress_.make_room_for(Stream::Stderr);
            print(Stream::Stderr, errors);
        }
    }

    void take_again(const StoreLayout& layout, std::uint32_t height, std::uint64_t) override {
        HeightScan scan = read_by_name(layout, height, shape_.torrents ? TorrentRecord::Read : TorrentRecord::Skipped);
        if (!scan.block_present) return;
        scan.text = dump_line(scan, shape_);
        take(std::span(&scan, 1));
    }

    int finish(std::optional<std::uint32_t>) override { return failed_ ? EXIT_STATUS_FAILURE : EXIT_STATUS_SUCCESS; }

private:
    DumpShape shape_;
    ProgressLine& progress_;
    bool failed_ = false;
};

class VerifySink final : public HeightSink {
public:
    VerifySink(VerifyForm form, VerifyRun run, ProgressLine& progress, std::uint32_t from, std::uint32_t to)
        : form_(form), progress_(progress), report_(from, to), from_(from) {
        if (run == VerifyRun::Followed) report_.keep_absent_heights();
    }

    void configure(ScanPlan& plan) const override { plan.read_torrents = true; }

    bool needs_torrents() const override { return true; }

    void take(std::span<HeightScan> window) override {
        for (const HeightScan& scan : window) report_.add(scan);
        show(report_.take_problems());
    }

    void take_again(const StoreLayout& layout, std::uint32_t height, std::uint64_t next) override {
        HeightScan below;
        if (height > from_) below = read_by_name(layout, height - 1, TorrentRecord::Skipped);
        const HeightScan scan = read_by_name(layout, height, TorrentRecord::Read);
        std::optional<HeightScan> above;
        if (std::uint64_t{height} + 1 < next) above = read_by_name(layout, height + 1, TorrentRecord::Skipped);
        report_.recheck(below, scan, above ? &*above : nullptr);
        show(report_.take_problems());
    }

    void stream() override {
        report_.stream();
        show(report_.take_problems());
    }

    int finish(std::optional<std::uint32_t> last) override {
        if (!last) {
            print(Stream::Stdout, closing_text(VerifySummary{}));
            return EXIT_STATUS_SUCCESS;
        }
        report_.end_at(*last);
        show(report_.finish());
        progress_.hide();
        print(Stream::Stdout, closing_text(report_.summary()));
        return report_.found_problems() ? EXIT_STATUS_FAILURE : EXIT_STATUS_SUCCESS;
    }

private:
    // Metrics are a summary alone: the problem lines are not printed.
    void show(const std::vector<Problem>& problems) {
        if (problems.empty() || form_ == VerifyForm::Prometheus) return;
        std::string lines;
        for (const Problem& problem : problems) {
            lines += form_ == VerifyForm::JsonLines ? problem_json(problem) : problem_text(problem);
            lines += '\n';
        }
        progress_.make_room_for(Stream::Stdout);
        print(Stream::Stdout, lines);
    }

    std::string closing_text(const VerifySummary& summary) const {
        if (form_ == VerifyForm::Prometheus) {
            return verify_metrics(summary, std::chrono::steady_clock::now() - started_,
                                  std::chrono::system_clock::now());
        }
        return form_ == VerifyForm::JsonLines ? summary_json(summary) : summary_text(summary);
    }

    VerifyForm form_;
    ProgressLine& progress_;
    VerifyReport report_;
    std::uint32_t from_;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

}  // namespace

std::unique_ptr<HeightSink> sink_for(const ScanOptions& options, ProgressLine& progress, std::uint32_t from,
                                     std::uint32_t to) {
    if (options.command == Command::Verify) {
        return std::make_unique<VerifySink>(options.verify_form, options.follow ? VerifyRun::Followed : VerifyRun::Once, progress,
                                            from, to);
    }
    // check_options saw to an engine with --format sql.
    if (options.format == OutputFormat::Sql) return sql_sink(options.engine.value_or(SqlEngine::Sqlite), options.table, progress, from);
    const DumpShape shape{options.format == OutputFormat::Csv ? DumpFormat::Csv : DumpFormat::JsonLines,
                          options.proof, options.torrents};
    return std::make_unique<DumpSink>(shape, progress);
}

}  // namespace quorvane

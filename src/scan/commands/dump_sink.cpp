// dump as JSON Lines or CSV: a line per height whose block file was read,
// and what could not be had on standard error.

#include "common/tool_entry.hpp"
#include "scan/commands/height_sink.hpp"
#include "scan/views/block_columns.hpp"
#include "scan/views/dump_lines.hpp"
#include "scan/report/run_metrics.hpp"

namespace quorvane {

namespace {

class DumpSink final : public FollowSink {
public:
    DumpSink(const DumpShape& shape, SinkOutput& output, std::uint32_t from)
        : shape_(shape), output_(output), from_(from) {}

    Written begin() override {
        if (shape_.format == DumpFormat::Csv) return output_.write(Stream::Stdout, csv_header());
        return {};
    }

    void configure(ScanPlan& plan) const override {
        plan.read_torrents = shape_.torrents;
        plan.only_blocks = true;
        plan.in_worker = [shape = shape_](HeightScan& scan) {
            std::string line = dump_line(scan, shape);
            // Only failures are needed after this; the records themselves can go.
            if (scan.block && *scan.block) scan.block.reset();
            if (scan.torrent && *scan.torrent) scan.torrent.reset();
            return line;
        };
    }

    bool needs_torrents() const override { return shape_.torrents; }

    RereadShape reread_shape() const override {
        return {shape_.torrents ? TorrentRecord::Read : TorrentRecord::Skipped, Neighbours::Skipped};
    }

    Written take(const ScannedWindow& window) override {
        std::size_t size = 0;
        for (const std::string& line : window.made) size += line.size();
        std::string out;
        out.reserve(size);
        std::string errors;
        for (std::size_t i = 0; i < window.heights.size(); ++i) {
            out += window.made[i];
            tally_.records += !window.made[i].empty();
            errors += dump_errors(window.heights[i]);
        }
        return write(out, errors);
    }

    Written take_again(const RereadHeight& height) override {
        if (!height.scan.block_present) return {};
        std::string line = dump_line(height.scan, shape_);
        tally_.records += !line.empty();
        return write(line, dump_errors(height.scan));
    }

    Finished finish(std::optional<std::uint32_t>) override {
        return failed_ ? EXIT_STATUS_FAILURE : EXIT_STATUS_SUCCESS;
    }

    std::string metrics(std::optional<std::uint32_t> last, std::chrono::system_clock::time_point now) const override {
        return dump_metrics(tally_, from_, last, now);
    }

private:
    Written write(const std::string& out, const std::string& errors) {
        failed_ = failed_ || !errors.empty();
        tally_.count_errors(errors);
        if (!out.empty()) {
            if (auto written = output_.write(Stream::Stdout, out); !written) return written;
        }
        if (!errors.empty()) return output_.write(Stream::Stderr, errors);
        return {};
    }

    DumpShape shape_;
    SinkOutput& output_;
    std::uint32_t from_;
    DumpTally tally_;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<FollowSink> dump_sink(const DumpShape& shape, SinkOutput& output, std::uint32_t from) {
    return std::make_unique<DumpSink>(shape, output, from);
}

std::unique_ptr<FollowSink> sink_for(const ScanOptions& options, SinkOutput& output, HeightRange range) {
    if (options.command == Command::Verify) {
        return verify_sink(options.verify_form, options.follow ? VerifyRun::Followed : VerifyRun::Once, output, range);
    }
    // check_options saw to an engine with --format sql.
    if (options.format == OutputFormat::Sql) {
        return sql_sink(options.engine.value_or(SqlEngine::Sqlite), options.table, output, range.from);
    }
    const DumpShape shape{options.format == OutputFormat::Csv ? DumpFormat::Csv : DumpFormat::JsonLines, options.proof,
                          options.torrents};
    return dump_sink(shape, output, range.from);
}

}  // namespace quorvane

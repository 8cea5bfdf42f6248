// dump as JSON Lines or CSV: a line per height whose block file was read (a
// CSV table's rows of each height whose record was), and what could not be
// had on standard error.

#include <algorithm>

#include "common/tool_entry.hpp"
#include "scan/commands/height_sink.hpp"
#include "scan/views/store_tables.hpp"
#include "scan/views/dump_lines.hpp"
#include "scan/report/run_metrics.hpp"

namespace quorvane {

namespace {

std::uint64_t lines_in(const std::string& text) { return static_cast<std::uint64_t>(std::ranges::count(text, '\n')); }

class DumpSink final : public FollowSink {
public:
    DumpSink(const DumpShape& shape, SinkOutput& output, std::uint32_t from)
        : shape_(shape), output_(output), from_(from) {}

    Written begin() override {
        if (shape_.format == DumpFormat::Csv) return output_.write(Stream::Stdout, csv_header(table_shape(shape_.table)));
        return {};
    }

    void configure(ScanPlan& plan) const override {
        plan.read_torrents = reads_torrents(shape_);
        plan.only_blocks = lines_from(shape_) == RecordKind::Block;
        plan.in_worker = [shape = shape_](HeightScan& scan) {
            std::string line = dump_line(scan, shape);
            // Only failures are needed after this; the records themselves can go.
            if (scan.block && *scan.block) scan.block.reset();
            if (scan.torrent && *scan.torrent) scan.torrent.reset();
            return line;
        };
    }

    bool needs_torrents() const override { return reads_torrents(shape_); }

    RereadShape reread_shape() const override {
        return {reads_torrents(shape_) ? TorrentRecord::Read : TorrentRecord::Skipped, Neighbours::Skipped};
    }

    Written take(const ScannedWindow& window) override {
        std::size_t size = 0;
        for (const std::string& line : window.made) size += line.size();
        std::string out;
        out.reserve(size);
        std::string errors;
        for (std::size_t i = 0; i < window.heights.size(); ++i) {
            out += window.made[i];
            tally_.records += lines_in(window.made[i]);
            errors += dump_errors(window.heights[i], shape_);
        }
        return write(out, errors);
    }

    Written take_again(const RereadHeight& height) override {
        const HeightScan& scan = height.scan;
        if (!(lines_from(shape_) == RecordKind::Block ? scan.block_present : scan.torrent_present)) return {};
        std::string line = dump_line(scan, shape_);
        tally_.records += lines_in(line);
        return write(line, dump_errors(scan, shape_));
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
        return sql_sink(options.engine.value_or(SqlEngine::Sqlite), options.table,
                        options.torrents ? TorrentTables::Included : TorrentTables::Left, output, range.from);
    }
    const DumpShape shape{options.format == OutputFormat::Csv ? DumpFormat::Csv : DumpFormat::JsonLines, options.proof,
                          options.torrents, options.csv_table};
    return dump_sink(shape, output, range.from);
}

}  // namespace quorvane

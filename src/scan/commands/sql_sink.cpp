// dump --format sql: the heights as batches of a SQL stream, each one
// transaction that leaves every table's rows of its heights as the store
// holds them.

#include <vector>

#include "common/tool_entry.hpp"
#include "scan/commands/height_sink.hpp"
#include "scan/views/dump_lines.hpp"
#include "scan/report/run_metrics.hpp"
#include "scan/views/sql_stream.hpp"

namespace quorvane {

namespace {

// Rows a batch of a run over the store as it stands holds at most: large
// enough that the engine's cost per statement is small beside its cost per
// row, small enough that a reader sees the table grow.
constexpr std::size_t ROWS_PER_BATCH = 10'000;

class SqlSink final : public FollowSink {
public:
    SqlSink(SqlEngine engine, const std::string& table, TorrentTables torrents, SinkOutput& output, std::uint32_t from)
        : stream_(engine, table, torrents), torrents_(torrents == TorrentTables::Included), output_(output),
          from_(from), next_(from) {}

    Written begin() override { return output_.write(Stream::Stdout, stream_.opening()); }

    void configure(ScanPlan& plan) const override {
        plan.read_torrents = torrents_;
        // A torrent record has its rows whether or not its block is there.
        plan.only_blocks = !torrents_;
        plan.in_worker = [this](HeightScan& scan) {
            std::string rows = stream_.rows(records_of(scan)).packed;
            // Only failures are needed after this; the records themselves can go.
            if (scan.block && *scan.block) scan.block.reset();
            if (scan.torrent && *scan.torrent) scan.torrent.reset();
            return rows;
        };
    }

    bool needs_torrents() const override { return torrents_; }

    RereadShape reread_shape() const override {
        return {torrents_ ? TorrentRecord::Read : TorrentRecord::Skipped, Neighbours::Skipped};
    }

    Written take(const ScannedWindow& window) override {
        std::string errors;
        for (std::size_t i = 0; i < window.heights.size(); ++i) {
            if (const std::size_t count = rows_in(window.made[i]); count > 0) {
                pending_rows_ += count;
                pending_.push_back({window.heights[i].height, std::move(window.made[i])});
            }
            errors += dump_errors(window.heights[i]);
        }
        if (auto shown = show_errors(errors); !shown) return shown;
        if (!window.heights.empty() && !streaming_ && pending_.size() >= ROWS_PER_BATCH) {
            return write_batch(window.heights.back().height);
        }
        return {};
    }

    Written covered(std::uint32_t last) override {
        covered_ = last;
        if (streaming_) return write_batch(last);
        return {};
    }

    Written take_again(const RereadHeight& height) override {
        const HeightScan& scan = height.scan;
        const HeightRows rows = stream_.rows(records_of(scan));
        if (auto shown = show_errors(dump_errors(scan)); !shown) return shown;
        tally_.records += rows_in(rows.packed);
        return output_.write(Stream::Stdout, stream_.batch(scan.height, scan.height, std::span(&rows, 1)));
    }

    Written stream() override {
        streaming_ = true;
        if (covered_) return write_batch(*covered_);
        return {};
    }

    Finished finish(std::optional<std::uint32_t> last) override {
        if (last) {
            if (auto written = write_batch(*last); !written) return std::unexpected(written.error());
        }
        return failed_ ? EXIT_STATUS_FAILURE : EXIT_STATUS_SUCCESS;
    }

    std::string metrics(std::optional<std::uint32_t> last, std::chrono::system_clock::time_point now) const override {
        return dump_metrics(tally_, from_, last, now);
    }

private:
    Written show_errors(const std::string& errors) {
        if (errors.empty()) return {};
        failed_ = true;
        tally_.count_errors(errors);
        return output_.write(Stream::Stderr, errors);
    }

    // Every height from the last batch's end through `last`.
    Written write_batch(std::uint32_t last) {
        if (next_ > last) return {};
        const std::string sql = stream_.batch(static_cast<std::uint32_t>(next_), last, pending_);
        tally_.records += pending_rows_;
        pending_rows_ = 0;
        pending_.clear();
        next_ = std::uint64_t{last} + 1;
        return output_.write(Stream::Stdout, sql);
    }

    SqlStream stream_;
    bool torrents_;
    SinkOutput& output_;
    std::uint32_t from_;
    DumpTally tally_;
    std::uint64_t next_;  // the lowest height no batch has covered
    std::optional<std::uint32_t> covered_;
    std::vector<HeightRows> pending_;
    std::uint64_t pending_rows_ = 0;  // in pending_, of every table
    bool streaming_ = false;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<FollowSink> sql_sink(SqlEngine engine, const std::string& table, TorrentTables torrents,
                                     SinkOutput& output, std::uint32_t from) {
    return std::make_unique<SqlSink>(engine, table, torrents, output, from);
}

}  // namespace quorvane

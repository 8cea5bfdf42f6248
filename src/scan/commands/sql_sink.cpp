// dump --format sql: the heights as batches of a SQL stream, each one
// transaction that leaves the rows of its heights as the store holds them.

#include <vector>

#include "common/tool_entry.hpp"
#include "scan/views/dump_lines.hpp"
#include "scan/commands/height_sinks.hpp"
#include "scan/views/sql_stream.hpp"

namespace quorvane {

namespace {

// Rows a batch of a run over the store as it stands holds at most: large
// enough that the engine's cost per statement is small beside its cost per
// row, small enough that a reader sees the table grow.
constexpr std::size_t ROWS_PER_BATCH = 10'000;

class SqlSink final : public HeightSink {
public:
    SqlSink(SqlEngine engine, const std::string& table, ProgressLine& progress, std::uint32_t from)
        : stream_(engine, table), progress_(progress), next_(from) {}

    void begin() override { print(Stream::Stdout, stream_.opening()); }

    void configure(ScanPlan& plan) const override {
        plan.read_torrents = false;
        plan.only_blocks = true;
        plan.in_worker = [this](HeightScan& scan) {
            if (scan.block && *scan.block) {
                scan.text = stream_.row({scan.height, **scan.block}).text;
                scan.block.reset();
            }
        };
    }

    bool needs_torrents() const override { return false; }

    void take(std::span<HeightScan> window) override {
        std::string errors;
        for (HeightScan& scan : window) {
            if (!scan.text.empty()) pending_.push_back({scan.height, std::move(scan.text)});
            errors += dump_errors(scan);
        }
        show_errors(errors);
        if (!window.empty() && !streaming_ && pending_.size() >= ROWS_PER_BATCH) write_batch(window.back().height);
    }

    void covered(std::uint32_t last) override {
        covered_ = last;
        if (streaming_) write_batch(last);
    }

    void take_again(const StoreLayout& layout, std::uint32_t height, std::uint64_t) override {
        HeightScan scan = read_by_name(layout, height, TorrentRecord::Skipped);
        const bool readable = scan.block && *scan.block;
        std::vector<SqlRow> rows;
        if (readable) rows.push_back(stream_.row({height, **scan.block}));
        show_errors(dump_errors(scan));
        progress_.make_room_for(Stream::Stdout);
        print(Stream::Stdout, stream_.batch(height, height, rows));
    }

    void stream() override {
        streaming_ = true;
        if (covered_) write_batch(*covered_);
    }

    int finish(std::optional<std::uint32_t> last) override {
        if (last) write_batch(*last);
        return failed_ ? EXIT_STATUS_FAILURE : EXIT_STATUS_SUCCESS;
    }

private:
    void show_errors(const std::string& errors) {
        if (errors.empty()) return;
        failed_ = true;
        progress_.make_room_for(Stream::Stderr);
        print(Stream::Stderr, errors);
    }

    // Every height from the last batch's end through `last`.
    void write_batch(std::uint32_t last) {
        if (next_ > last) return;
        const std::string sql = stream_.batch(static_cast<std::uint32_t>(next_), last, pending_);
        pending_.clear();
        next_ = std::uint64_t{last} + 1;
        progress_.make_room_for(Stream::Stdout);
        print(Stream::Stdout, sql);
    }

    SqlStream stream_;
    ProgressLine& progress_;
    std::uint64_t next_;  // the lowest height no batch has covered
    std::optional<std::uint32_t> covered_;
    std::vector<SqlRow> pending_;
    bool streaming_ = false;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<HeightSink> sql_sink(SqlEngine engine, const std::string& table, ProgressLine& progress,
                                     std::uint32_t from) {
    return std::make_unique<SqlSink>(engine, table, progress, from);
}

}  // namespace quorvane

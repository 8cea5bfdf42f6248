// dump|verify --follow: the store as it stands, then each height as the node
// writes it. The watch decides which heights are ready; reading, checking
// and printing are the one-shot run's own.

#include <chrono>

#include "common/tool_entry.hpp"
#include "scan/commands/commands.hpp"
#include "scan/watch/follow_readiness.hpp"
#include "scan/watch/recent_reads.hpp"
#include "scan/commands/height_sinks.hpp"
#include "scan/watch/stop_signals.hpp"
#include "scan/watch/store_watch.hpp"
#include "torrent/torrent_file.hpp"

namespace quorvane {

namespace {

// Heights read at once on the calling thread; larger batches go to the workers.
constexpr std::uint64_t SMALL_BATCH = 64;
constexpr auto IDLE_WAKE = std::chrono::seconds(1);

class Follower {
public:
    explicit Follower(const ScanOptions& options)
        : options_(options), verify_(options.command == Command::Verify), layout_(load_layout(options)),
          watch_(layout_, [](std::string_view line) { print(Stream::Stderr, std::string(line) + "\n"); }) {}

    int run() {
        watch_.start();
        StoreIndex index = index_store(layout_, options_, ListingNeed::Always);
        const auto extent = index.extent();
        const std::uint32_t from = options_.from.value_or(extent ? extent->first : 0);
        // The highest height present may still be being written: it is left
        // to the watch, with everything above it.
        std::optional<HeightRange> catch_up_range;
        if (extent && extent->second > from) {
            catch_up_range = HeightRange{from, std::min(extent->second - 1, options_.to.value_or(UINT32_MAX))};
        }
        ProgressLine progress(verify_ ? "verify" : "dump", catch_up_range ? catch_up_range->size() : 0,
                              progress_shown(options_));
        progress_ = &progress;
        sink_ = sink_for(options_, progress, from, options_.to.value_or(UINT32_MAX));
        sink_->begin();

        std::uint64_t next = from;
        if (catch_up_range) {
            catch_up(index, *catch_up_range);
            // The listing served the catch-up only; following needs none of it.
            index = StoreIndex{};
            if (stop_requested()) return finish(progress);
            next = std::uint64_t{catch_up_range->to} + 1;
        }
        FollowReadiness readiness(from, next, options_.to, sink_->needs_torrents());
        for (const WrittenRecord& record : watch_.present_records(next)) readiness.written(record.kind, record.height);
        sink_->stream();
        following_since_ = std::chrono::steady_clock::now();
        new_block_at_ = following_since_;
        for (;;) {
            handle(readiness.take(), readiness.next());
            if (readiness.finished() || stop_requested()) break;
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - following_since_).count();
            progress.following(last_handled_, new_block_at_, seconds > 0 ? static_cast<double>(followed_) / seconds : 0);
            const Wake wake = watch_.wait(IDLE_WAKE, readiness.next());
            if (wake.reader_gone) end_by_broken_pipe();
            if (wake.stop) break;
            for (const WrittenRecord& record : wake.written) readiness.written(record.kind, record.height);
        }
        return finish(progress);
    }

private:
    void catch_up(const StoreIndex& index, const HeightRange& range) {
        ScanPlan plan = plan_for(range, options_);
        plan.probe = false;
        plan.should_stop = stop_requested;
        sink_->configure(plan);
        FileTime started = file_clock_now();
        std::uint32_t covered_from = range.from;
        scan_store(layout_, index, plan, [&](std::span<HeightScan> window) {
            sink_->take(window);
            if (window.empty()) return;
            last_handled_ = window.back().height;
            reads_.note_window(covered_from, window.back().height, started);
            covered_from = window.back().height;
            started = file_clock_now();
            progress_->advance(HeightRange{range.from, window.back().height}.size());
        });
        // Heights after the last one read hold no record the scan took.
        if (!stop_requested()) {
            reads_.note_window(covered_from, range.to, started);
            last_handled_ = range.to;
            sink_->covered(range.to);
        }
    }

    void handle(const ReadyHeights& ready, std::uint64_t next) {
        if (ready.first) {
            const HeightRange range{*ready.first, ready.last};
            ScanPlan plan = plan_for(range, options_);
            plan.probe = true;  // every height of the range, read by name
            if (range.size() <= SMALL_BATCH) plan.jobs = plan.reads_in_flight = 1;
            plan.should_stop = stop_requested;
            sink_->configure(plan);
            reads_.note_heights(range.from, range.to);
            std::optional<std::uint32_t> handled = last_handled_;
            scan_store(layout_, StoreIndex{}, plan, [&](std::span<HeightScan> window) {
                sink_->take(window);
                if (!window.empty()) handled = window.back().height;
            });
            // A stop ends the batch early; otherwise every height of it is handled.
            const bool stopped = stop_requested();
            last_handled_ = stopped ? handled : std::optional<std::uint32_t>(range.to);
            if (!stopped) sink_->covered(range.to);
            followed_ += range.size();
            new_block_at_ = std::chrono::steady_clock::now();
        }
        for (const std::uint32_t height : ready.rewritten) {
            if (reads_.unchanged_since_read(height)) continue;
            reads_.note_height(height);
            sink_->take_again(layout_, height, next);
        }
    }

    int finish(ProgressLine& progress) {
        progress.hide();
        return sink_->finish(last_handled_);
    }

    const ScanOptions& options_;
    bool verify_;
    StoreLayout layout_;
    StoreWatch watch_;
    std::unique_ptr<HeightSink> sink_;
    ProgressLine* progress_ = nullptr;
    RecentReads reads_{layout_};
    std::optional<std::uint32_t> last_handled_;
    std::uint64_t followed_ = 0;
    std::chrono::steady_clock::time_point following_since_;
    std::chrono::steady_clock::time_point new_block_at_;
};

}  // namespace

int run_follow(const ScanOptions& options) {
    install_stop_signals();
    Follower follower(options);
    return follower.run();
}

}  // namespace quorvane

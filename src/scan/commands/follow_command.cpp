// dump|verify --follow: the store as it stands, then each height as the node
// writes it. The watch decides which heights are ready; reading, checking
// and printing are the one-shot run's own.

#include <chrono>
#include <cstdio>

#include "common/tool_entry.hpp"
#include "common/utf8.hpp"
#include "scan/report/run_metrics.hpp"
#include "scan/commands/commands.hpp"
#include "scan/watch/follow_readiness.hpp"
#include "scan/watch/service_notify.hpp"
#include "scan/watch/recent_reads.hpp"
#include "scan/commands/height_sink.hpp"
#include "scan/watch/stop_signals.hpp"
#include "scan/watch/store_watch.hpp"
#include "torrent/torrent_file.hpp"

namespace quorvane {

namespace {

// Heights read at once on the calling thread; larger batches go to the workers.
constexpr std::uint64_t SMALL_BATCH = 64;
constexpr auto IDLE_WAKE = std::chrono::seconds(1);
constexpr auto METRICS_PACE = std::chrono::seconds(1);
constexpr auto METRICS_REFRESH = std::chrono::seconds(15);
constexpr auto STATUS_PACE = std::chrono::seconds(1);

class Follower {
public:
    explicit Follower(const ScanOptions& options)
        : options_(options), verify_(options.command == Command::Verify), layout_(load_layout(options)),
          watch_(layout_, [](std::string_view line) { print(Stream::Stderr, std::string(line) + "\n"); }) {}

    Finished run() {
        metrics_ = metrics_file_for(options_, layout_);
        watch_.start();
        StoreIndex index = index_store(layout_, options_, ListingNeed::Always);
        const auto extent = index.extent();
        if (extent) gauges_.store_to_height = extent->second;
        from_ = options_.from.value_or(extent ? extent->first : 0);
        // The highest height present may still be being written: it is left
        // to the watch, with everything above it.
        std::optional<HeightRange> catch_up_range;
        if (extent && extent->second > from_) {
            catch_up_range = HeightRange{from_, std::min(extent->second - 1, options_.to.value_or(UINT32_MAX))};
        }
        ProgressLine progress(verify_ ? "verify" : "dump", catch_up_range ? catch_up_range->size() : 0,
                              progress_shown(options_));
        progress_ = &progress;
        StandardOutput output(progress);
        sink_ = sink_for(options_, output, HeightRange{from_, options_.to.value_or(UINT32_MAX)});
        if (auto begun = sink_->begin(); !begun) return std::unexpected(begun.error());

        std::uint64_t next = from_;
        if (catch_up_range) {
            if (auto caught_up = catch_up(index, *catch_up_range); !caught_up) return std::unexpected(caught_up.error());
            // The listing served the catch-up only; following needs none of it.
            index = StoreIndex{};
            if (stop_requested()) return finish(progress);
            next = std::uint64_t{catch_up_range->to} + 1;
        }
        update_metrics(Pace::Now);
        FollowReadiness readiness(from_, next, options_.to, sink_->needs_torrents());
        for (const WrittenRecord& record : watch_.present_records(next)) {
            readiness.written(record.kind, record.height);
            note_store_height(record.height);
        }
        if (auto streaming = sink_->stream(); !streaming) return std::unexpected(streaming.error());
        following_since_ = std::chrono::steady_clock::now();
        new_block_at_ = following_since_;
        notify("READY=1\nSTATUS=" + status_text());
        for (;;) {
            if (auto handled = handle(readiness.take(), readiness.next()); !handled) return std::unexpected(handled.error());
            if (readiness.finished() || stop_requested()) break;
            progress.following(last_handled_, new_block_at_, rate(0));
            keep_service_informed();
            const Wake wake = watch_.wait(wake_after(), readiness.next());
            if (wake.reader_gone) end_by_broken_pipe();
            if (wake.stop) break;
            for (const WrittenRecord& record : wake.written) {
                readiness.written(record.kind, record.height);
                note_store_height(record.height);
                gauges_.last_store_write = std::chrono::system_clock::now();
            }
            // An update held back by the pace goes out now, even when nothing
            // follows it; on a quiet chain the file is still refreshed now and
            // then, so that its time tells a run that stopped from a quiet node.
            if (metrics_pending_ ||
                std::chrono::steady_clock::now() - metrics_written_at_ >= METRICS_REFRESH) {
                update_metrics(Pace::AtMostOncePerSecond);
            }
        }
        return finish(progress);
    }

private:
    Written catch_up(const StoreIndex& index, const HeightRange& range) {
        ScanPlan plan = plan_for(range, options_);
        plan.probe = false;
        Written taken;
        plan.should_stop = [&] { return !taken || stop_requested(); };
        sink_->configure(plan);
        FileTime started = file_clock_now();
        std::uint32_t covered_from = range.from;
        scan_store(layout_, index, plan, [&](const ScannedWindow& window) {
            if (!taken) return;
            taken = sink_->take(window);
            if (window.heights.empty()) return;
            const std::uint32_t last = window.heights.back().height;
            last_handled_ = last;
            reads_.note_window(covered_from, last, started);
            covered_from = last;
            started = file_clock_now();
            progress_->advance(HeightRange{range.from, last}.size());
        });
        if (!taken) return taken;
        // Heights after the last one read hold no record the scan took.
        if (stop_requested()) return {};
        reads_.note_window(covered_from, range.to, started);
        last_handled_ = range.to;
        return sink_->covered(range.to);
    }

    Written handle(const ReadyHeights& ready, std::uint64_t next) {
        if (ready.first) {
            const HeightRange range{*ready.first, ready.last};
            ScanPlan plan = plan_for(range, options_);
            plan.probe = true;  // every height of the range, read by name
            if (range.size() <= SMALL_BATCH) plan.jobs = plan.reads_in_flight = 1;
            Written taken;
            plan.should_stop = [&] { return !taken || stop_requested(); };
            sink_->configure(plan);
            reads_.note_heights(range.from, range.to);
            std::optional<std::uint32_t> handled = last_handled_;
            scan_store(layout_, StoreIndex{}, plan, [&](const ScannedWindow& window) {
                if (!taken) return;
                taken = sink_->take(window);
                if (!window.heights.empty()) handled = window.heights.back().height;
            });
            if (!taken) return taken;
            // A stop ends the batch early; otherwise every height of it is handled.
            const bool stopped = stop_requested();
            last_handled_ = stopped ? handled : std::optional<std::uint32_t>(range.to);
            if (!stopped) {
                if (auto covered = sink_->covered(range.to); !covered) return covered;
            }
            followed_ += range.size();
            new_block_at_ = std::chrono::steady_clock::now();
            update_metrics(Pace::AtMostOncePerSecond);
        }
        const RereadShape shape = sink_->reread_shape();
        for (const std::uint32_t height : ready.rewritten) {
            if (reads_.unchanged_since_read(height)) continue;
            reads_.note_height(height);
            if (auto taken = sink_->take_again(reread(height, next, shape)); !taken) return taken;
            update_metrics(Pace::AtMostOncePerSecond);
        }
        return {};
    }

    // Heights a second since following began, taken over `shortest_span`
    // seconds at least.
    double rate(double shortest_span) const {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - following_since_).count();
        const double seconds = std::max(elapsed, shortest_span);
        return seconds > 0 ? static_cast<double>(followed_) / seconds : 0;
    }

    std::string status_text() const {
        std::string text = "following; last height handled ";
        text += last_handled_ ? std::to_string(*last_handled_) : std::string("none");
        // Over a second at least, so that the first height is not a burst.
        char rate_text[32];
        std::snprintf(rate_text, sizeof rate_text, "%.1f", rate(1.0));
        return text + ", " + rate_text + " heights/s";
    }

    // The service manager, where one asked to be told: a status at most once
    // a second, and the watchdog from this loop only, so that a loop that is
    // stuck stops it.
    void keep_service_informed() {
        if (!notifier_.active()) return;
        const auto now = std::chrono::steady_clock::now();
        std::string message;
        if (now - status_sent_at_ >= STATUS_PACE) {
            status_sent_at_ = now;
            message = "STATUS=" + status_text();
        }
        if (const auto interval = notifier_.watchdog_interval(); interval && now - watchdog_sent_at_ >= *interval) {
            watchdog_sent_at_ = now;
            message += message.empty() ? "WATCHDOG=1" : "\nWATCHDOG=1";
        }
        if (!message.empty()) notify(message);
    }

    // The longest wait: a second, or less where the watchdog wants more often.
    std::chrono::milliseconds wake_after() const {
        std::chrono::milliseconds wait = IDLE_WAKE;
        if (const auto interval = notifier_.watchdog_interval()) {
            wait = std::min(wait, std::max(std::chrono::milliseconds(1),
                                           std::chrono::duration_cast<std::chrono::milliseconds>(*interval)));
        }
        return wait;
    }

    void notify(const std::string& message) { notify_service(notifier_, message, options_, said_notify_failure_); }

    void note_store_height(std::uint32_t height) {
        if (!gauges_.store_to_height || height > *gauges_.store_to_height) gauges_.store_to_height = height;
    }

    enum class Pace { Now, AtMostOncePerSecond };

    // The metrics file, replaced at most about once a second while
    // following; an update held back is written at the next wake.
    void update_metrics(Pace pace) {
        if (!metrics_) return;
        const auto now = std::chrono::steady_clock::now();
        if (pace == Pace::AtMostOncePerSecond && now - metrics_written_at_ < METRICS_PACE) {
            metrics_pending_ = true;
            return;
        }
        metrics_pending_ = false;
        metrics_written_at_ = now;
        const auto written = metrics_->replace(metrics_text());
        if (!written && !said_metrics_failure_) {
            said_metrics_failure_ = true;
            print(Stream::Stderr, "Warning: cannot write the metrics file " + utf8::to_text_lossy(metrics_->path()) +
                                      " (" + written.error().message() + "); trying again at each update\n");
        }
    }

    std::string metrics_text() const {
        return sink_->metrics(last_handled_, std::chrono::system_clock::now()) + follow_metrics(gauges_);
    }

    // A height handled before, read again as the sink asks: the height below
    // when it is in the range, the one above when it was handled too.
    RereadHeight reread(std::uint32_t height, std::uint64_t next, const RereadShape& shape) const {
        const bool neighbours = shape.neighbours == Neighbours::Read;
        std::optional<HeightScan> below;
        if (neighbours && height > from_) below = read_by_name(layout_, height - 1, TorrentRecord::Skipped);
        HeightScan scan = read_by_name(layout_, height, shape.torrent);
        std::optional<HeightScan> above;
        if (neighbours && std::uint64_t{height} + 1 < next) above = read_by_name(layout_, height + 1, TorrentRecord::Skipped);
        return {std::move(scan), std::move(below), std::move(above)};
    }

    Finished finish(ProgressLine& progress) {
        notify("STOPPING=1");
        progress.hide();
        Finished finished = sink_->finish(last_handled_);
        if (finished && metrics_) write_metrics_or_stop(*metrics_, metrics_text());
        return finished;
    }

    const ScanOptions& options_;
    bool verify_;
    StoreLayout layout_;
    StoreWatch watch_;
    std::uint32_t from_ = 0;
    std::unique_ptr<FollowSink> sink_;
    ProgressLine* progress_ = nullptr;
    RecentReads reads_{layout_};
    std::optional<std::uint32_t> last_handled_;
    std::uint64_t followed_ = 0;
    ServiceNotifier notifier_ = ServiceNotifier::from_environment();
    std::chrono::steady_clock::time_point status_sent_at_;
    std::chrono::steady_clock::time_point watchdog_sent_at_;
    bool said_notify_failure_ = false;
    std::optional<MetricsFile> metrics_;
    FollowGauges gauges_;
    std::chrono::steady_clock::time_point metrics_written_at_;
    bool metrics_pending_ = false;
    bool said_metrics_failure_ = false;
    std::chrono::steady_clock::time_point following_since_;
    std::chrono::steady_clock::time_point new_block_at_;
};

}  // namespace

int run_follow(const ScanOptions& options) {
    if (const auto installed = install_stop_signals(); !installed) {
        print(Stream::Stderr, "Warning: no pipe to wake the run on Ctrl-C or SIGTERM (" + installed.error() +
                                  "); either may take a second to end it\n");
    }
    Follower follower(options);
    return exit_status(follower.run());
}

}  // namespace quorvane

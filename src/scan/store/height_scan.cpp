#include "scan/store/height_scan.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <sys/resource.h>

#include <barrier>
#include <memory>
#include <utility>
#include <string>
#include <exception>
#include <thread>

#include "common/file_reading.hpp"
#include "common/paths.hpp"
#include "scan/store/record_ring.hpp"
#include "torrent/torrent_file.hpp"

namespace quorvane {

std::optional<std::pair<std::uint32_t, std::uint32_t>> StoreIndex::extent() const {
    if (blocks.empty() && torrents.empty()) return std::nullopt;
    if (blocks.empty()) return std::pair{*torrents.first(), *torrents.last()};
    if (torrents.empty()) return std::pair{*blocks.first(), *blocks.last()};
    return std::pair{std::min(*blocks.first(), *torrents.first()), std::max(*blocks.last(), *torrents.last())};
}

namespace {

// The torrent record as swarmview decodes it.
std::expected<Torrent, RecordFailure> decode_as_swarmview(const std::expected<TorrentFileContent, IoError>& content) {
    using enum RecordFailure::Step;
    if (!content) return std::unexpected(RecordFailure{RecordKind::Torrent, Read, content.error().diagnostic()});
    auto torrent = decode_torrent(content->bytes(), content->total_length);
    if (!torrent) return std::unexpected(RecordFailure{RecordKind::Torrent, Decode, torrent.error().message()});
    return std::move(*torrent);
}

}  // namespace

void read_block_record(const RecordReads& reads, HeightScan& slot) {
    const std::string path = reads.layout->path(RecordKind::Block, slot.height);
    auto raw = read_block_bytes(path, slot.height);
    if (!raw && reads.probe && !entry_exists(path)) {
        slot.block_present = false;
    } else {
        slot.raw.block = std::move(raw);
    }
}

void read_torrent_record(const RecordReads& reads, HeightScan& slot) {
    const std::string path = reads.layout->path(RecordKind::Torrent, slot.height);
    auto content = read_torrent_file(path);
    if (!content && reads.probe && !entry_exists(path)) {
        slot.torrent_present = false;
    } else if (reads.read_torrent) {
        slot.raw.torrent = std::move(content);
    }
}

void read_height(const RecordReads& reads, HeightScan& slot) {
    if (slot.block_present) read_block_record(reads, slot);
    if (slot.torrent_present && (reads.read_torrent || reads.probe)) read_torrent_record(reads, slot);
}

void decode_height(HeightScan& slot) {
    if (slot.raw.block) {
        const auto& raw = *slot.raw.block;
        using enum RecordFailure::Step;
        if (!raw) {
            slot.block = std::unexpected(RecordFailure{RecordKind::Block, Read, raw.error()});
        } else if (auto contents = decode_block_bytes(*raw, slot.height)) {
            std::string hash = compute_block_hash(contents->header);
            slot.block = ScannedBlock{std::move(*contents), std::move(hash)};
        } else {
            slot.block = std::unexpected(RecordFailure{RecordKind::Block, Decode, contents.error()});
        }
        slot.raw.block.reset();
    }
    if (slot.raw.torrent) {
        slot.torrent = decode_as_swarmview(*slot.raw.torrent);
        slot.raw.torrent.reset();
    }
}

HeightScan read_by_name(const StoreLayout& layout, std::uint32_t height, TorrentRecord torrent) {
    HeightScan scan;
    scan.height = height;
    scan.block_present = true;
    scan.torrent_present = torrent == TorrentRecord::Read;
    read_height({&layout, torrent == TorrentRecord::Read, true}, scan);
    decode_height(scan);
    return scan;
}

namespace {

// Heights handed to the workers at a time: enough to keep them busy, few
// enough that memory stays small whatever the size of the store.
constexpr std::size_t WINDOW_PER_JOB = 128;
// Whatever the number of threads, few enough that memory stays small.
constexpr std::size_t MAX_WINDOW = 4096;
// With many reads in flight, a window as for this many jobs, so that a read
// that waits long holds up few others at the window's end.
constexpr unsigned WIDE_WINDOW_JOBS = 8;
// Heights a worker claims at once for decoding.
constexpr std::size_t CLAIM = 8;
// Batches a ring keeps in flight: two while the records come from the page
// cache, where more only spread the window over more memory; more while
// they come from storage, where each waits on the disk.
constexpr std::size_t RING_BATCHES_FROM_MEMORY = 2;
constexpr std::size_t RING_BATCHES_FROM_STORAGE = RecordRing::MAX_BATCHES;

// Walks both sets together from `from` on.
class PresenceCursor {
public:
    PresenceCursor(const StoreIndex& index, std::uint32_t from)
        : blocks_(index.blocks), torrents_(index.torrents), block_(blocks_.next_from(from)),
          torrent_(torrents_.next_from(from)) {}

    // The next height with a block file (or either record unless `only_blocks`).
    std::optional<std::uint32_t> next(bool only_blocks) const {
        if (only_blocks || !torrent_) return block_;
        if (!block_) return torrent_;
        return std::min(*block_, *torrent_);
    }

    // Presence of both records at `height`, then steps past it.
    std::pair<bool, bool> take(std::uint32_t height) {
        // Heights skipped on the way (torrent records without a block, when
        // only blocks are taken) are passed over.
        if (block_ && *block_ < height) block_ = blocks_.next_from(height);
        if (torrent_ && *torrent_ < height) torrent_ = torrents_.next_from(height);
        const bool block = block_ == height;
        const bool torrent = torrent_ == height;
        if (block) block_ = blocks_.next_from(std::uint64_t{height} + 1);
        if (torrent) torrent_ = torrents_.next_from(std::uint64_t{height} + 1);
        return {block, torrent};
    }

private:
    const HeightSet& blocks_;
    const HeightSet& torrents_;
    std::optional<std::uint32_t> block_;
    std::optional<std::uint32_t> torrent_;
};

// Threads that stay for the whole scan and take one window at a time: the
// calling thread fills a window, all of them read it, the decoding ones
// decode it, then the caller hands it on while the others wait for the next.
class WorkerPool {
public:
    // `threads` read; `plan.jobs` of them decode. With no more threads than
    // that, each reads and decodes the heights it claims in one go.
    // With `caller_ring`, every thread reads through a ring of its own (the
    // caller through that one), or the plain way where it gets none.
    WorkerPool(const StoreLayout& layout, const ScanPlan& plan, unsigned thread_count, RecordRing* caller_ring,
               const RecordDirectories* directories = nullptr, std::atomic<std::uint64_t>* ring_records = nullptr)
        : plan_(plan), sync_(static_cast<std::ptrdiff_t>(std::max(1u, thread_count))),
          caller_ring_(caller_ring),
          reads_{&layout, plan.read_torrents, plan.probe, directories != nullptr ? directories->blocks() : -1,
                 directories != nullptr ? directories->torrents() : -1},
          ring_records_(ring_records) {
        const unsigned asked = std::max(1u, thread_count);
        std::optional<std::string> refusal;
        for (unsigned i = 1; i < asked; ++i) {
            if (refusal) {
                // Each thread that is not there leaves the barrier's count.
                sync_.arrive_and_drop();
                continue;
            }
            try {
                workers_.emplace_back([this, i] {
                    std::unique_ptr<RecordRing> ring;
                    if (caller_ring_ != nullptr) {
                        if (auto opened = RecordRing::open()) ring = std::move(*opened);
                    }
                    for (;;) {
                        sync_.arrive_and_wait();  // a window is ready, or the scan is over
                        if (done_) {
                            if (ring && ring_records_ != nullptr) *ring_records_ += ring->records_read();
                            return;
                        }
                        if (fused_) {
                            decode_part(Reading::Too, ring.get());
                        } else {
                            read_part();
                            sync_.arrive_and_wait();  // the window is read
                            if (i < decoders_) decode_part(Reading::Done, nullptr);
                        }
                        sync_.arrive_and_wait();  // the window is done
                    }
                });
            } catch (const std::exception& error) {
                // A pids limit or no memory for a stack: the threads that did
                // start (down to this one alone) give the same output.
                refusal = error.what();
                sync_.arrive_and_drop();
            }
        }
        decoders_ = std::min(std::max(1u, plan.jobs), threads());
        fused_ = decoders_ == threads();
        if (refusal && plan.on_fewer_workers) plan.on_fewer_workers(threads(), asked, *refusal);
    }

    ~WorkerPool() {
        done_ = true;
        sync_.arrive_and_wait();
    }

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    unsigned threads() const { return static_cast<unsigned>(workers_.size()) + 1; }

    // Batches each ring keeps in flight from the next window on.
    void keep_in_flight(std::size_t batches) { ring_batches_ = std::clamp<std::size_t>(batches, 1, RecordRing::MAX_BATCHES); }

    void read(std::span<HeightScan> window, std::span<std::string> made) {
        window_ = window;
        made_ = made;
        next_read_ = 0;
        next_decode_ = 0;
        sync_.arrive_and_wait();
        if (fused_) {
            decode_part(Reading::Too, caller_ring_);
        } else {
            read_part();
            sync_.arrive_and_wait();
            decode_part(Reading::Done, nullptr);
        }
        sync_.arrive_and_wait();
    }

private:
    // One height at a time: a read may wait long on a cold disk, and the
    // other threads should not wait behind it.
    void read_part() {
        for (;;) {
            const std::size_t i = next_read_.fetch_add(1);
            if (i >= window_.size()) return;
            read_height(reads_, window_[i]);
        }
    }

    // Whether the heights a thread decodes are still to be read.
    enum class Reading { Too, Done };

    void decode_part(Reading reading, RecordRing* ring) {
        if (reading == Reading::Too && ring != nullptr && ring->working()) return read_and_decode_through(*ring);
        for (;;) {
            const std::size_t start = next_decode_.fetch_add(CLAIM);
            if (start >= window_.size()) return;
            const std::size_t end = std::min(window_.size(), start + CLAIM);
            for (std::size_t i = start; i < end; ++i) {
                if (reading == Reading::Too) read_height(reads_, window_[i]);
                finish_height(i);
            }
        }
    }

    // The batches after this one are read while it is decoded.
    void read_and_decode_through(RecordRing& ring) {
        const RecordReads& reads = reads_;
        const auto claim = [&] {
            const std::size_t start = std::min(next_decode_.fetch_add(RecordRing::BATCH_HEIGHTS), window_.size());
            return window_.subspan(start, std::min(RecordRing::BATCH_HEIGHTS, window_.size() - start));
        };
        // The batches in flight, oldest first from `oldest`.
        std::array<std::span<HeightScan>, RecordRing::MAX_BATCHES> flight;
        std::size_t oldest = 0;
        std::size_t in_flight = 0;
        bool more = true;
        for (;;) {
            while (more && in_flight < ring_batches_) {
                const std::span<HeightScan> batch = claim();
                more = !batch.empty();
                if (!more) break;
                ring.start(batch, reads);
                flight[(oldest + in_flight++) % flight.size()] = batch;
            }
            if (in_flight == 0) return;
            ring.finish();
            const auto first = static_cast<std::size_t>(flight[oldest].data() - window_.data());
            for (std::size_t i = first; i < first + flight[oldest].size(); ++i) finish_height(i);
            oldest = (oldest + 1) % flight.size();
            --in_flight;
        }
    }

    void finish_height(std::size_t i) {
        if (plan_.decoding == RecordDecoding::Decoded) decode_height(window_[i]);
        if (plan_.in_worker) made_[i] = plan_.in_worker(window_[i]);
    }

    const ScanPlan& plan_;
    std::barrier<> sync_;
    std::span<HeightScan> window_;
    std::span<std::string> made_;
    std::atomic<std::size_t> next_read_{0};
    std::atomic<std::size_t> next_decode_{0};
    unsigned decoders_ = 1;  // set before the first window, read after a barrier
    bool fused_ = true;      // likewise
    std::size_t ring_batches_ = RING_BATCHES_FROM_MEMORY;  // likewise
    bool done_ = false;      // written before a barrier phase, read after it
    RecordRing* caller_ring_;
    RecordReads reads_;
    // Records the workers' rings read, added by each as it ends.
    std::atomic<std::uint64_t>* ring_records_;
    std::vector<std::jthread> workers_;  // last: they stop before the rest goes
};

}  // namespace

namespace {

// Blocks of 512 bytes that the process has had read from storage so far:
// nothing while its files come from the page cache.
std::uint64_t blocks_from_storage() {
    rusage usage{};
    if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    return static_cast<std::uint64_t>(usage.ru_inblock);
}

// A window that had to read at least this many blocks per height from
// storage waits on the disk, where more reads in flight help; below it, the
// records come from memory, where extra threads only cost.
constexpr std::uint64_t BLOCKS_PER_HEIGHT_ON_DISK = 1;
// Windows in a row on the other side before the threads change, so that one
// window read differently changes nothing.
constexpr unsigned WINDOWS_TO_CHANGE = 2;

}  // namespace

namespace {

// The calling thread's ring, kept from one scan to the next (a follow run
// scans each batch it is told of); nothing where none can be had.
RecordRing* calling_thread_ring(const ScanPlan& plan) {
    thread_local std::unique_ptr<RecordRing> ring;
    if (ring && !ring->working()) ring.reset();
    if (!ring) {
        auto opened = RecordRing::open();
        if (!opened) {
            if (plan.read_engine == ReadEngine::Ring && plan.on_no_ring) plan.on_no_ring(opened.error());
            return nullptr;
        }
        ring = std::move(*opened);
    }
    return ring.get();
}

}  // namespace

ScanTally scan_store(const StoreLayout& layout, const StoreIndex& index, const ScanPlan& plan,
                     const std::function<void(const ScannedWindow&)>& consume) {
    PresenceCursor cursor(index, plan.from);
    // Few threads while the records come from memory (as fast as it gets),
    // many reads in flight once the disk is what they wait for.
    const unsigned decoders = std::max(1u, plan.jobs);
    const unsigned readers = std::max(decoders, plan.reads_in_flight);
    bool told = false;
    ScanPlan pool_plan = plan;
    pool_plan.on_fewer_workers = [&](unsigned running, unsigned asked, const std::string& reason) {
        if (!std::exchange(told, true) && plan.on_fewer_workers) plan.on_fewer_workers(running, asked, reason);
    };
    RecordRing* ring = plan.read_engine == ReadEngine::Threads ? nullptr : calling_thread_ring(plan);
    // A ring keeps many reads in flight from each decoding thread: no more
    // threads are needed for a cold disk, only more batches in flight and
    // wider windows, so that fewer reads wait for a window's last one.
    const bool adapts = plan.read_threads == ReadThreads::Adapting && readers > decoders && ring == nullptr;
    bool wide = plan.read_threads == ReadThreads::InFlight && readers > decoders;
    const bool deepens = plan.read_threads == ReadThreads::Adapting && ring != nullptr && !wide;
    bool deep = false;
    std::optional<RecordDirectories> directories;
    if (ring != nullptr) directories.emplace(layout);
    std::atomic<std::uint64_t> ring_records{0};
    const std::uint64_t caller_ring_before = ring != nullptr ? ring->records_read() : 0;
    auto pool = std::make_unique<WorkerPool>(layout, pool_plan, wide ? readers : decoders, wide ? nullptr : ring,
                                             directories ? &*directories : nullptr, &ring_records);
    const auto tally = [&] {
        pool.reset();
        const std::uint64_t caller_ring_read = ring != nullptr ? ring->records_read() - caller_ring_before : 0;
        return ScanTally{ring_records.load() + caller_ring_read};
    };
    unsigned windows_for_change = 0;
    std::uint64_t next_probe = plan.from;
    std::vector<HeightScan> window;
    std::vector<std::string> made;
    for (;;) {
        if (plan.should_stop && plan.should_stop()) return tally();
        const std::size_t window_size =
            std::min<std::size_t>(WINDOW_PER_JOB * (wide || deep ? std::max(decoders, WIDE_WINDOW_JOBS) : decoders), MAX_WINDOW);
        window.clear();
        while (plan.probe && window.size() < window_size && next_probe <= plan.to) {
            HeightScan& slot = window.emplace_back();
            slot.height = static_cast<std::uint32_t>(next_probe++);
            slot.block_present = true;
            slot.torrent_present = plan.read_torrents || !plan.only_blocks;
        }
        while (!plan.probe && window.size() < window_size) {
            const auto height = cursor.next(plan.only_blocks);
            if (!height || *height > plan.to) break;
            const auto [block, torrent] = cursor.take(*height);
            HeightScan& slot = window.emplace_back();
            slot.height = *height;
            slot.block_present = block;
            slot.torrent_present = torrent;
        }
        if (window.empty()) return tally();
        made.assign(window.size(), std::string());
        const std::uint64_t blocks_before = blocks_from_storage();
        pool->read(window, made);
        const bool on_disk = blocks_from_storage() - blocks_before >= BLOCKS_PER_HEIGHT_ON_DISK * window.size();
        const bool change = (adapts && on_disk != wide) || (deepens && on_disk != deep);
        windows_for_change = change ? windows_for_change + 1 : 0;
        if (windows_for_change == WINDOWS_TO_CHANGE && adapts) {
            windows_for_change = 0;
            wide = !wide;
            pool = std::make_unique<WorkerPool>(layout, pool_plan, wide ? readers : decoders, nullptr);
        } else if (windows_for_change == WINDOWS_TO_CHANGE) {
            windows_for_change = 0;
            deep = !deep;
            pool->keep_in_flight(deep ? RING_BATCHES_FROM_STORAGE : RING_BATCHES_FROM_MEMORY);
        }
        if (plan.probe && plan.only_blocks) {
            // Heights found empty take no part further on.
            std::size_t kept = 0;
            for (std::size_t i = 0; i < window.size(); ++i) {
                if (!window[i].block_present) continue;
                if (kept != i) {
                    window[kept] = std::move(window[i]);
                    made[kept] = std::move(made[i]);
                }
                ++kept;
            }
            window.resize(kept);
            made.resize(kept);
        }
        consume(ScannedWindow{window, made});
    }
}

}  // namespace quorvane

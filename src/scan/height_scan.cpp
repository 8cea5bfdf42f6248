#include "scan/height_scan.hpp"

#include <algorithm>
#include <atomic>
#include <thread>

#include "common/paths.hpp"
#include "torrent/torrent_file.hpp"

namespace quorvane {

std::optional<std::pair<std::uint32_t, std::uint32_t>> StoreIndex::extent() const {
    if (blocks.empty() && torrents.empty()) return std::nullopt;
    if (blocks.empty()) return std::pair{torrents.front(), torrents.back()};
    if (torrents.empty()) return std::pair{blocks.front(), blocks.back()};
    return std::pair{std::min(blocks.front(), torrents.front()), std::max(blocks.back(), torrents.back())};
}

std::string block_file_of(const NetworkPaths& paths, std::uint32_t height) {
    return join_path(paths.block_dir, std::to_string(height) + "." + paths.currency_tag);
}

std::expected<Torrent, std::string> read_torrent_as_swarmview(const std::string& path) {
    const auto content = read_torrent_file(path);
    if (!content) return std::unexpected("Error: " + content.error().diagnostic());
    auto torrent = decode_torrent(content->bytes(), content->total_length);
    if (!torrent) return std::unexpected("Failed to parse torrent: " + torrent.error().message());
    return std::move(*torrent);
}

HeightScan scan_height(const NetworkPaths& paths, std::uint32_t height, bool block_present,
                       bool torrent_present, bool read_torrent) {
    HeightScan scan;
    scan.height = height;
    scan.block_present = block_present;
    scan.torrent_present = torrent_present;
    if (block_present) {
        auto contents = read_block_file(block_file_of(paths, height), height);
        if (contents) {
            std::string hash = compute_block_hash(contents->header);
            scan.block = ScannedBlock{std::move(*contents), std::move(hash)};
        } else {
            scan.block = std::unexpected("Error: " + contents.error());
        }
    }
    if (torrent_present && read_torrent) {
        scan.torrent = read_torrent_as_swarmview(torrent_file_path(paths.torrent_dir, std::to_string(height)));
    }
    return scan;
}

namespace {

// Heights handed to the workers at a time: enough to keep them busy, few
// enough that memory stays small whatever the size of the store.
constexpr std::size_t WINDOW_PER_JOB = 512;
// Heights a worker claims at once.
constexpr std::size_t CLAIM = 8;

// Walks both sorted lists together from `from` on.
class PresenceCursor {
public:
    PresenceCursor(const StoreIndex& index, std::uint32_t from)
        : blocks_(index.blocks), torrents_(index.torrents),
          block_(std::lower_bound(blocks_.begin(), blocks_.end(), from)),
          torrent_(std::lower_bound(torrents_.begin(), torrents_.end(), from)) {}

    // The next height with a block file (or either record unless `only_blocks`).
    std::optional<std::uint32_t> next(bool only_blocks) const {
        const bool has_block = block_ != blocks_.end();
        const bool has_torrent = !only_blocks && torrent_ != torrents_.end();
        if (has_block && has_torrent) return std::min(*block_, *torrent_);
        if (has_block) return *block_;
        if (has_torrent) return *torrent_;
        return std::nullopt;
    }

    // Presence of both records at `height` (the one next() gave), then steps past it.
    std::pair<bool, bool> take(std::uint32_t height) {
        const bool block = block_ != blocks_.end() && *block_ == height;
        const bool torrent = torrent_ != torrents_.end() && *torrent_ == height;
        if (block) ++block_;
        if (torrent) ++torrent_;
        return {block, torrent};
    }

private:
    const std::vector<std::uint32_t>& blocks_;
    const std::vector<std::uint32_t>& torrents_;
    std::vector<std::uint32_t>::const_iterator block_;
    std::vector<std::uint32_t>::const_iterator torrent_;
};

void run_on_workers(std::span<HeightScan> window, const NetworkPaths& paths, const ScanPlan& plan) {
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (;;) {
            const std::size_t start = next.fetch_add(CLAIM);
            if (start >= window.size()) return;
            const std::size_t end = std::min(window.size(), start + CLAIM);
            for (std::size_t i = start; i < end; ++i) {
                HeightScan& slot = window[i];
                slot = scan_height(paths, slot.height, slot.block_present, slot.torrent_present,
                                   plan.read_torrents);
                if (plan.in_worker) plan.in_worker(slot);
            }
        }
    };
    if (plan.jobs <= 1) {
        work();
        return;
    }
    std::vector<std::jthread> workers;
    workers.reserve(plan.jobs);
    for (unsigned i = 0; i < plan.jobs; ++i) workers.emplace_back(work);
}

}  // namespace

void scan_store(const NetworkPaths& paths, const StoreIndex& index, const ScanPlan& plan,
                const std::function<void(std::span<HeightScan>)>& consume) {
    PresenceCursor cursor(index, plan.from);
    const std::size_t window_size = WINDOW_PER_JOB * std::max(1u, plan.jobs);
    std::vector<HeightScan> window;
    window.reserve(window_size);
    for (;;) {
        window.clear();
        while (window.size() < window_size) {
            const auto height = cursor.next(plan.only_blocks);
            if (!height || *height > plan.to) break;
            const auto [block, torrent] = cursor.take(*height);
            HeightScan& slot = window.emplace_back();
            slot.height = *height;
            slot.block_present = block;
            slot.torrent_present = torrent;
        }
        if (window.empty()) return;
        run_on_workers(window, paths, plan);
        consume(window);
    }
}

}  // namespace quorvane

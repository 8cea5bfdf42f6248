// chainscan diff: where two stores part. Both are read through the same
// engine as verify, a stretch of heights at a time: this store's records of
// the stretch are kept as read, then the other store's are compared with
// them as they come.

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/tool_entry.hpp"
#include "records/unpack_block/unpack_header.hpp"
#include "scan/checks/store_comparison.hpp"
#include "scan/commands/commands.hpp"
#include "scan/commands/sink_output.hpp"
#include "scan/report/diff_lines.hpp"

namespace quorvane {

namespace {

// Heights whose records of this store are kept at once: a few MiB at most.
constexpr std::uint32_t STRETCH = 2048;

struct Store {
    StoreLayout layout;
    StoreIndex index;
};

// What a store holds of one height.
struct HeightCopy {
    std::uint32_t height = 0;
    RecordCopy block;
    RecordCopy torrent;
};

HeightCopy copy_of(const HeightScan& scan) {
    using State = RecordCopy::State;
    HeightCopy copy{scan.height, {}, {}};
    if (scan.block_present) {
        copy.block.state = State::Unreadable;
        if (scan.raw.block && *scan.raw.block) {
            const RawBlock& raw = **scan.raw.block;
            copy.block = {State::Read, {raw.bytes.begin(), raw.bytes.begin() + static_cast<std::ptrdiff_t>(raw.size)},
                          raw.size};
        }
    }
    if (scan.torrent_present) {
        copy.torrent.state = State::Unreadable;
        if (scan.raw.torrent && *scan.raw.torrent) {
            const TorrentFileContent& content = **scan.raw.torrent;
            copy.torrent = {State::Read, content.kept, content.total_length};
        }
    }
    return copy;
}

// The hash of a block as read, where it decodes.
std::optional<std::string> hash_of(const RecordCopy& block, std::uint32_t height) {
    RawBlock raw;
    raw.size = std::min(block.bytes.size(), raw.bytes.size());
    std::memcpy(raw.bytes.data(), block.bytes.data(), raw.size);
    const auto contents = decode_block_bytes(raw, height);
    if (!contents) return std::nullopt;
    return compute_block_hash(contents->header);
}

class Differ {
public:
    Differ(const ScanOptions& options, const Store& mine, const Store& theirs, HeightRange range, SinkOutput& output,
           ProgressLine& progress)
        : options_(options), mine_(mine), theirs_(theirs), range_(range), output_(output), progress_(progress),
          comparison_(range.from, range.to) {}

    Finished run() {
        for (std::uint64_t first = range_.from; first <= range_.to; first += STRETCH) {
            const HeightRange stretch{static_cast<std::uint32_t>(first),
                                      static_cast<std::uint32_t>(std::min<std::uint64_t>(range_.to, first + STRETCH - 1))};
            if (auto compared = compare(stretch); !compared) return std::unexpected(compared.error());
            progress_.advance(HeightRange{range_.from, stretch.to}.size());
        }
        if (auto shown = show(comparison_.finish()); !shown) return std::unexpected(shown.error());
        output_.end_progress();
        const ComparisonSummary summary = comparison_.summary();
        const std::string text = options_.diff_form == DiffForm::JsonLines ? comparison_summary_json(summary)
                                                                             : comparison_summary_text(summary);
        if (auto written = output_.write(Stream::Stdout, text); !written) return std::unexpected(written.error());
        return summary.differ() ? EXIT_STATUS_FAILURE : EXIT_STATUS_SUCCESS;
    }

private:
    ScanPlan plan_for_stretch(const HeightRange& stretch) const {
        ScanPlan plan = plan_for(stretch, options_);
        plan.read_torrents = true;
        plan.only_blocks = false;
        plan.decoding = RecordDecoding::BytesOnly;
        return plan;
    }

    Written compare(const HeightRange& stretch) {
        mine_copies_.clear();
        scan_store(mine_.layout, mine_.index, plan_for_stretch(stretch), [&](const ScannedWindow& window) {
            for (const HeightScan& scan : window.heights) mine_copies_.push_back(copy_of(scan));
        });
        next_mine_ = 0;
        Written written;
        ScanPlan plan = plan_for_stretch(stretch);
        plan.should_stop = [&] { return !written; };
        scan_store(theirs_.layout, theirs_.index, plan, [&](const ScannedWindow& window) {
            for (const HeightScan& scan : window.heights) {
                if (!written) return;
                written = compare_through(scan.height, copy_of(scan));
            }
        });
        if (!written) return written;
        return compare_through(std::nullopt, HeightCopy{});
    }

    // Compares this store's heights below `height` with nothing, then
    // `height` with what the other store holds there (all of this store's
    // heights that are left, without one).
    Written compare_through(std::optional<std::uint32_t> height, const HeightCopy& theirs) {
        const HeightCopy nothing;
        while (next_mine_ < mine_copies_.size() && (!height || mine_copies_[next_mine_].height < *height)) {
            add(mine_copies_[next_mine_], nothing, mine_copies_[next_mine_].height);
            ++next_mine_;
        }
        if (height) {
            const bool both = next_mine_ < mine_copies_.size() && mine_copies_[next_mine_].height == *height;
            add(both ? mine_copies_[next_mine_] : nothing, theirs, *height);
            if (both) ++next_mine_;
        }
        return show(comparison_.take_runs());
    }

    void add(const HeightCopy& mine, const HeightCopy& theirs, std::uint32_t height) {
        const Agreement block = compare_records(mine.block, theirs.block);
        const Agreement torrent = compare_records(mine.torrent, theirs.torrent);
        if (block == Agreement::InNeither && torrent == Agreement::InNeither) return;
        // Only blocks that differ are decoded: the same bytes give the same hash.
        std::optional<BlockHashes> hashes;
        if (block == Agreement::Differs) {
            auto mine_hash = hash_of(mine.block, height);
            auto theirs_hash = hash_of(theirs.block, height);
            if (mine_hash && theirs_hash) hashes = BlockHashes{std::move(*mine_hash), std::move(*theirs_hash)};
        }
        comparison_.add(height, block, torrent, hashes);
    }

    Written show(const std::vector<DifferenceRun>& runs) {
        if (runs.empty()) return {};
        std::string lines;
        for (const DifferenceRun& run : runs) {
            lines += options_.diff_form == DiffForm::JsonLines ? difference_json(run) : difference_text(run);
        }
        return output_.write(Stream::Stdout, lines);
    }

    const ScanOptions& options_;
    const Store& mine_;
    const Store& theirs_;
    HeightRange range_;
    SinkOutput& output_;
    ProgressLine& progress_;
    StoreComparison comparison_;
    std::vector<HeightCopy> mine_copies_;
    std::size_t next_mine_ = 0;
};

// The lowest and highest height either store holds a record of.
std::optional<std::pair<std::uint32_t, std::uint32_t>> extent_of_both(const StoreIndex& mine, const StoreIndex& theirs) {
    const auto a = mine.extent();
    const auto b = theirs.extent();
    if (!a || !b) return a ? a : b;
    return std::pair{std::min(a->first, b->first), std::max(a->second, b->second)};
}

Finished nothing_to_compare(const ScanOptions& options, SinkOutput& output) {
    const ComparisonSummary summary;
    const std::string text = options.diff_form == DiffForm::JsonLines ? comparison_summary_json(summary)
                                                                        : comparison_summary_text(summary);
    if (auto written = output.write(Stream::Stdout, text); !written) return std::unexpected(written.error());
    return EXIT_STATUS_SUCCESS;
}

}  // namespace

int run_diff(const ScanOptions& options) {
    Store mine{load_this_layout(options), {}};
    Store theirs{load_other_layout(options.against.value_or("")), {}};
    mine.index = index_store(mine.layout, options);
    theirs.index = index_store(theirs.layout, options);
    const auto range = range_over(options, extent_of_both(mine.index, theirs.index));
    ProgressLine progress("diff", range ? range->size() : 0, progress_shown(options));
    StandardOutput output(progress);
    if (!range) return exit_status(nothing_to_compare(options, output));
    Differ differ(options, mine, theirs, *range, output, progress);
    return exit_status(differ.run());
}

}  // namespace quorvane

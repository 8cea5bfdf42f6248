#include "scan/checks/store_comparison.hpp"

#include <algorithm>
#include <utility>

namespace quorvane {

namespace {

std::size_t index_of(RecordKind record) { return record == RecordKind::Block ? 0 : 1; }

// Runs come out by their first height, a block's before a torrent record's.
std::pair<std::uint32_t, std::size_t> order_of(const DifferenceRun& run) { return {run.from, index_of(run.record)}; }

}  // namespace

Agreement compare_records(const RecordCopy& mine, const RecordCopy& theirs) {
    using State = RecordCopy::State;
    if (mine.state == State::Unreadable || theirs.state == State::Unreadable) return Agreement::Unreadable;
    if (mine.state == State::Absent && theirs.state == State::Absent) return Agreement::InNeither;
    if (theirs.state == State::Absent) return Agreement::OnlyThis;
    if (mine.state == State::Absent) return Agreement::OnlyOther;
    return mine.length == theirs.length && mine.bytes == theirs.bytes ? Agreement::Same : Agreement::Differs;
}

StoreComparison::StoreComparison(std::uint32_t from, std::uint32_t to) : from_(from), to_(to) {
    summary_.from = from;
    summary_.to = to;
    summary_.heights = std::uint64_t{to} - from + 1;
}

void StoreComparison::add(std::uint32_t height, Agreement block, Agreement torrent,
                          const std::optional<BlockHashes>& hashes) {
    extend(RecordKind::Block, height, block, hashes);
    extend(RecordKind::Torrent, height, torrent, std::nullopt);
    summary_.same_blocks += block == Agreement::Same;
    summary_.same_torrents += torrent == Agreement::Same;
    for (const Agreement agreement : {block, torrent}) {
        if (!is_difference(agreement)) continue;
        ++summary_.differences[static_cast<std::size_t>(agreement)];
        if (!summary_.first_difference) summary_.first_difference = height;
    }
    if (hashes && hashes->mine != hashes->theirs && !summary_.fork_height) summary_.fork_height = height;
}

void StoreComparison::extend(RecordKind record, std::uint32_t height, Agreement agreement,
                             const std::optional<BlockHashes>& hashes) {
    std::optional<DifferenceRun>& run = open_[index_of(record)];
    // A height that neither store holds lies between, and ends the run.
    if (run && (run->code != agreement || std::uint64_t{run->to} + 1 != height)) close(record);
    if (!is_difference(agreement)) return;
    if (run) {
        run->to = height;
    } else {
        run = DifferenceRun{record, agreement, height, height, std::nullopt};
    }
    if (agreement == Agreement::Differs && !run->hashes && hashes) run->hashes = hashes;
}

void StoreComparison::close(RecordKind record) {
    std::optional<DifferenceRun>& run = open_[index_of(record)];
    ended_.push_back(std::move(*run));
    run.reset();
}

std::vector<DifferenceRun> StoreComparison::release() {
    std::optional<std::pair<std::uint32_t, std::size_t>> first_open;
    for (const auto& run : open_) {
        if (run && (!first_open || order_of(*run) < *first_open)) first_open = order_of(*run);
    }
    std::stable_sort(ended_.begin(), ended_.end(),
                     [](const DifferenceRun& a, const DifferenceRun& b) { return order_of(a) < order_of(b); });
    const auto held = std::find_if(ended_.begin(), ended_.end(),
                                   [&](const DifferenceRun& run) { return first_open && !(order_of(run) < *first_open); });
    std::vector<DifferenceRun> released(std::make_move_iterator(ended_.begin()), std::make_move_iterator(held));
    ended_.erase(ended_.begin(), held);
    return released;
}

std::vector<DifferenceRun> StoreComparison::take_runs() { return release(); }

std::vector<DifferenceRun> StoreComparison::finish() {
    for (const RecordKind record : RECORD_KINDS) {
        if (open_[index_of(record)]) close(record);
    }
    return release();
}

ComparisonSummary StoreComparison::summary() const {
    ComparisonSummary summary = summary_;
    if (!summary.first_difference) {
        summary.agree_through = to_;
    } else if (*summary.first_difference > from_) {
        summary.agree_through = *summary.first_difference - 1;
    }
    return summary;
}

}  // namespace quorvane

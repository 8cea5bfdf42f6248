#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/json.hpp"
#include "scan/checks/height_runs.hpp"
#include "scan/store/height_scan.hpp"
#include "scan/checks/problem_codes.hpp"

namespace quorvane {

struct FieldDifference {
    std::string field;
    Json block;
    Json torrent;
};

struct Problem {
    ProblemCode code = ProblemCode::BlockMissing;
    std::uint32_t first = 0;  // the height, or the first of a range
    std::uint32_t last = 0;   // the last height of a range
    std::optional<RecordFailure> failure;  // BlockInvalid, TorrentInvalid: which record, read or decode, and why
    std::string expected;     // ChainBroken: the hash of the block below
    std::string found;        // ChainBroken: the header's previous_hash
    std::vector<FieldDifference> fields;  // TorrentMismatch

    // Heights `first` to `last` lack a record (BlockMissing, TorrentMissing).
    static Problem missing(ProblemCode code, std::uint32_t first, std::uint32_t last);
    // A record of `height` that could not be had (BlockInvalid, TorrentInvalid by its kind).
    static Problem invalid(std::uint32_t height, RecordFailure failure);
    // The block of `height` does not link to the one below.
    static Problem chain_broken(std::uint32_t height, std::string expected, std::string found);
    // The torrent record of `height` disagrees with its block.
    static Problem torrent_mismatch(std::uint32_t height, std::vector<FieldDifference> fields);
};

// Where a torrent record disagrees with its block, field by field.
std::vector<FieldDifference> torrent_differences(const ScannedBlock& block, const Torrent& torrent);

// What a verify run found, for any of its output forms. `from` and `to` are
// empty for a run that checked nothing (an empty store or range).
struct VerifySummary {
    std::optional<std::uint32_t> from;
    std::optional<std::uint32_t> to;
    std::uint64_t blocks = 0;
    std::uint64_t torrents = 0;
    std::uint64_t problems = 0;
    std::array<std::uint64_t, PROBLEM_CODE_COUNT> by_code{};
    std::optional<std::uint32_t> verified_through;
    std::optional<std::uint32_t> first_bad_height;
};

// Takes the heights of a range in ascending order (only those with a record;
// the heights between have neither) and reports each problem once, ordered
// by first height, then code. Problems wait only while a range of missing
// records that starts before them is still open. The words are the views'.
class ProblemFinder {
public:
    ProblemFinder(std::uint32_t from, std::uint32_t to);

    // Each problem, once released, goes to `observer` instead of the ready ones.
    void observe(std::function<void(const Problem&)> observer) { observer_ = std::move(observer); }

    void add(const HeightScan& scan);
    // A height added before, read again with the heights around it (`above`
    // only when it was added too): its problems and the link above it are
    // reported again.
    void recheck(const HeightScan& below, const HeightScan& scan, const HeightScan* above);
    // From now on each problem is released as soon as it is known, without
    // waiting for an open range of missing records below it (for a run that
    // follows a store as it grows).
    void stream();
    // Keeps which heights were taken without one of their records, so that a
    // height read again corrects the counts of blocks and torrent records
    // (for a run that follows a store; costs an entry per run of such heights).
    void keep_absent_heights() { keeping_absent_ = true; }
    // Ends the range at `last` instead of the `to` it began with.
    void end_at(std::uint32_t last) { to_ = last; }
    // The problems that are ready, in order; the report keeps the rest.
    std::vector<Problem> take_problems();
    // Closes the open ranges and returns the last problems.
    std::vector<Problem> finish();
    // What was found; complete once finished.
    VerifySummary summary() const;
    // What was reported so far, for the heights through `last` (none: no
    // height was handled yet).
    VerifySummary summary_through(std::optional<std::uint32_t> last) const;

    bool found_problems() const { return problems_ > 0; }

private:
    void cover_until(std::uint64_t height);
    // Reports what is wrong with the records of one height, given the hash
    // of the block below; returns the hash of its block when it has one.
    std::optional<std::string> check_records(const HeightScan& scan, const std::optional<std::string>& hash_below);
    void note_presence(ProblemCode code, std::optional<std::uint32_t>& open, bool present,
                       std::uint32_t height);
    void close_range(ProblemCode code, std::optional<std::uint32_t>& open, std::uint32_t last);
    // A height read again: its record is counted as it is now, and an open
    // range of missing records no longer runs through a height that has one.
    void correct_presence(ProblemCode code, std::optional<std::uint32_t>& open, HeightRuns& absent,
                          std::uint64_t& count, bool present, std::uint32_t height);
    void found(Problem problem);
    // Which problems stay back: those after a range of missing records that
    // is still open (unless streaming), or none.
    enum class Held { WhileRangesOpen, Nothing };
    void release(Held held_back);

    std::uint32_t from_;
    std::uint32_t to_;
    bool streaming_ = false;
    std::uint64_t next_height_;
    std::optional<std::string> hash_below_;  // of the height just below the next one
    std::optional<std::uint32_t> open_block_missing_;
    std::optional<std::uint32_t> open_torrent_missing_;
    std::multimap<std::pair<std::uint32_t, int>, Problem> waiting_;
    std::vector<Problem> ready_;
    std::uint64_t blocks_ = 0;
    std::uint64_t torrents_ = 0;
    std::uint64_t problems_ = 0;
    std::array<std::uint64_t, PROBLEM_CODE_COUNT> by_code_{};
    // The lowest height any problem was reported at: a later report of a
    // lower height lowers it, nothing raises it.
    std::optional<std::uint32_t> first_bad_height_;
    bool keeping_absent_ = false;
    HeightRuns absent_blocks_;
    HeightRuns absent_torrents_;
    std::function<void(const Problem&)> observer_;
};

}  // namespace quorvane

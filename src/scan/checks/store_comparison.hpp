#pragma once

// Where two stores part: each record of each height compared between this
// store and the other, the differences gathered into runs of consecutive
// heights, and what the runs add up to. Pure: records in, runs out.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scan/store/record_kind.hpp"

namespace quorvane {

// What one store holds of one record, as the readers read it: nothing, a
// file that cannot be read (a directory, no permission), or its bytes (a
// block file's first 749, a torrent record's as kept, and its length).
struct RecordCopy {
    enum class State { Absent, Unreadable, Read };
    State state = State::Absent;
    std::vector<std::uint8_t> bytes;
    std::uint64_t length = 0;
};

// How a record of a height compares; the four that are differences first,
// in the order the summary counts them.
enum class Agreement { OnlyThis, OnlyOther, Differs, Unreadable, Same, InNeither };

inline constexpr std::size_t DIFFERENCE_CODE_COUNT = 4;
inline constexpr std::array<std::string_view, DIFFERENCE_CODE_COUNT> DIFFERENCE_CODE_NAMES = {
    "only_this", "only_other", "differs", "unreadable"};

constexpr bool is_difference(Agreement agreement) {
    return static_cast<std::size_t>(agreement) < DIFFERENCE_CODE_COUNT;
}
constexpr std::string_view difference_name(Agreement agreement) {
    return DIFFERENCE_CODE_NAMES[static_cast<std::size_t>(agreement)];
}

// A file that cannot be read in either store is never the same as anything.
Agreement compare_records(const RecordCopy& mine, const RecordCopy& theirs);

// The hash values of a height's two blocks, where both decode.
struct BlockHashes {
    std::string mine;
    std::string theirs;
};

// Consecutive heights whose record compares the same way.
struct DifferenceRun {
    RecordKind record = RecordKind::Block;
    Agreement code = Agreement::Differs;
    std::uint32_t from = 0;
    std::uint32_t to = 0;
    // A run of blocks that differ: the hashes at its first height where both decode.
    std::optional<BlockHashes> hashes;
};

struct ComparisonSummary {
    std::optional<std::uint32_t> from;  // none for a range that held nothing
    std::optional<std::uint32_t> to;
    std::uint64_t heights = 0;
    std::uint64_t same_blocks = 0;
    std::uint64_t same_torrents = 0;
    std::array<std::uint64_t, DIFFERENCE_CODE_COUNT> differences{};
    std::optional<std::uint32_t> first_difference;
    // The last height through which every height from the range's start agrees.
    std::optional<std::uint32_t> agree_through;
    // The lowest height where both blocks decode and their hashes differ.
    std::optional<std::uint32_t> fork_height;

    bool differ() const { return first_difference.has_value(); }
};

// Takes the heights of the range that either store holds a record of, in
// ascending order (the heights between hold nothing in either, and agree),
// and hands out each run once it has ended, ordered by its first height,
// a block's run before a torrent record's.
class StoreComparison {
public:
    StoreComparison(std::uint32_t from, std::uint32_t to);

    // `hashes`: where both blocks decode and their bytes differ.
    void add(std::uint32_t height, Agreement block, Agreement torrent, const std::optional<BlockHashes>& hashes);
    // The runs that have ended and come before every run still open.
    std::vector<DifferenceRun> take_runs();
    // Ends the open runs; returns the last ones.
    std::vector<DifferenceRun> finish();
    ComparisonSummary summary() const;

private:
    void extend(RecordKind record, std::uint32_t height, Agreement agreement, const std::optional<BlockHashes>& hashes);
    void close(RecordKind record);
    std::vector<DifferenceRun> release();

    std::uint32_t from_;
    std::uint32_t to_;
    std::array<std::optional<DifferenceRun>, 2> open_;  // by record
    std::vector<DifferenceRun> ended_;
    ComparisonSummary summary_;
};

}  // namespace quorvane

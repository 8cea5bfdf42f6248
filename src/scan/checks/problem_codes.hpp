#pragma once

// The problems verify can find, and everything each output shows of them:
// a new code is one row here.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorvane {

// In the order in which problems at one height are reported.
enum class ProblemCode : std::uint8_t { BlockMissing, TorrentMissing, BlockInvalid, TorrentInvalid, ChainBroken, TorrentMismatch };

struct ProblemCodeRow {
    ProblemCode code;
    std::string_view name;          // in every output form
    std::string_view light_colour;  // the report's marks, light scheme
    std::string_view dark_colour;   // and dark scheme
};

inline constexpr std::array PROBLEM_CODES = {
    ProblemCodeRow{ProblemCode::BlockMissing, "block_missing", "#cf222e", "#ff7b72"},
    ProblemCodeRow{ProblemCode::TorrentMissing, "torrent_missing", "#bf8700", "#e3b341"},
    ProblemCodeRow{ProblemCode::BlockInvalid, "block_invalid", "#8250df", "#d2a8ff"},
    ProblemCodeRow{ProblemCode::TorrentInvalid, "torrent_invalid", "#d1242f", "#ffa198"},
    ProblemCodeRow{ProblemCode::ChainBroken, "chain_broken", "#0550ae", "#79c0ff"},
    ProblemCodeRow{ProblemCode::TorrentMismatch, "torrent_mismatch", "#1a7f37", "#56d364"},
};
inline constexpr std::size_t PROBLEM_CODE_COUNT = PROBLEM_CODES.size();

// Rows in the enum's order, one for each code.
consteval bool rows_follow_the_codes() {
    for (std::size_t i = 0; i < PROBLEM_CODE_COUNT; ++i) {
        if (static_cast<std::size_t>(PROBLEM_CODES[i].code) != i) return false;
    }
    return static_cast<std::size_t>(ProblemCode::TorrentMismatch) + 1 == PROBLEM_CODE_COUNT;
}
static_assert(rows_follow_the_codes());

// One bit a code, for the codes found in a pixel column of the report.
using ProblemCodeSet = std::uint8_t;
static_assert(PROBLEM_CODE_COUNT <= 8 * sizeof(ProblemCodeSet));

constexpr const ProblemCodeRow& problem_code_row(ProblemCode code) { return PROBLEM_CODES[static_cast<std::size_t>(code)]; }
constexpr std::string_view problem_code_name(ProblemCode code) { return problem_code_row(code).name; }
constexpr ProblemCodeSet problem_code_bit(ProblemCode code) {
    return static_cast<ProblemCodeSet>(1u << static_cast<unsigned>(code));
}

}  // namespace quorvane

#pragma once

#include <array>

#include "common/word_table.hpp"

namespace quorvane {

// A height's two records: its block file and its torrent record.
enum class RecordKind { Block, Torrent };

inline constexpr std::array<RecordKind, 2> RECORD_KINDS = {RecordKind::Block, RecordKind::Torrent};

// The words that name a kind's directory on the command line.
inline constexpr WordTable<RecordKind, 2> RECORD_DIRECTORY_WORDS = {{
    {"blocks", RecordKind::Block}, {"torrents", RecordKind::Torrent}}};

}  // namespace quorvane

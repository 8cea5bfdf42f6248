#pragma once

#include <array>

namespace quorvane {

// A height's two records: its block file and its torrent record.
enum class RecordKind { Block, Torrent };

inline constexpr std::array<RecordKind, 2> RECORD_KINDS = {RecordKind::Block, RecordKind::Torrent};

}  // namespace quorvane

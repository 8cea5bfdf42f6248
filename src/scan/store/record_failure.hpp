#pragma once

#include <string>

#include "scan/store/record_kind.hpp"

namespace quorvane {

// Why one record of a height could not be had: which record, at which step,
// and the reader's or decoder's own words. It renders itself the way each
// output needs it.
struct RecordFailure {
    enum class Step { Read, Decode };

    RecordKind record = RecordKind::Block;
    Step step = Step::Read;
    std::string reason;  // e.g. "Error opening block file for height 7: Os { … }"

    // What crestview or swarmview prints for it: "Error: …", or for a torrent
    // record that does not decode "Failed to parse torrent: …".
    std::string tool_line() const {
        const bool unparsed_torrent = record == RecordKind::Torrent && step == Step::Decode;
        return (unparsed_torrent ? "Failed to parse torrent: " : "Error: ") + reason;
    }
    // The same without "Error: ": what verify says after the code.
    std::string message() const {
        const bool unparsed_torrent = record == RecordKind::Torrent && step == Step::Decode;
        return unparsed_torrent ? "Failed to parse torrent: " + reason : reason;
    }
};

}  // namespace quorvane

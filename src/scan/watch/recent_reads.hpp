#pragma once

// Which records of the heights a follow run handled lately were written
// again since they were read: an event about such a height may name a write
// that the read already saw, and then asks for nothing.

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <map>

#include "scan/store/store_layout.hpp"

namespace quorvane {

// Nanoseconds since the epoch, on the clock that stamps files' modification times.
using FileTime = std::int64_t;

// Now, on the file system's own coarse clock: a file written after this
// call has a modification time at or after it.
FileTime file_clock_now();

// Kept for the last thousand heights only; an event about an older one is
// always a rewrite.
class RecentReads {
public:
    explicit RecentReads(const StoreLayout& layout) : layout_(layout) {}

    // Heights followed: their records as they were just before the read.
    // Only the last KEPT of a batch are looked at; the rest would be let go.
    void note_heights(std::uint32_t first, std::uint32_t last);
    void note_height(std::uint32_t height);

    // Heights of the catch-up, read from `started` on: too many to look at
    // one by one, so only a record modified before that counts as read
    // whole. One modified in the same tick of the coarse clock may have been
    // written after the read.
    void note_window(std::uint32_t first, std::uint32_t last, FileTime started);

    bool unchanged_since_read(std::uint32_t height) const;

    static constexpr std::size_t KEPT = 1024;

private:
    // What a record looked like just before it was read.
    struct Signature {
        bool present = false;
        ino_t inode = 0;
        off_t size = 0;
        FileTime modified = 0;
        friend bool operator==(const Signature&, const Signature&) = default;
    };
    struct Signatures {
        Signature block;
        Signature torrent;
        friend bool operator==(const Signatures&, const Signatures&) = default;
    };
    struct Window {
        std::uint32_t first;
        std::uint32_t last;
        FileTime started;
    };

    Signature signature_of(RecordKind kind, std::uint32_t height) const;
    Signatures signatures_of(std::uint32_t height) const;

    StoreLayout layout_;
    std::map<std::uint32_t, Signatures> signatures_;
    std::deque<std::uint32_t> order_;
    std::deque<Window> windows_;
};

}  // namespace quorvane

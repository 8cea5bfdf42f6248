#pragma once

// Tells when records are written into the two record directories: inotify
// where it works, listing the directories every second where it does not
// (or after the kernel's queue overflowed), and a directory that goes away
// waited for by name.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/store/store_layout.hpp"
#include "scan/watch/follow_readiness.hpp"

namespace quorvane {

struct WrittenRecord {
    RecordKind kind;
    std::uint32_t height;
};

struct Wake {
    std::vector<WrittenRecord> written;
    bool stop = false;         // SIGINT or SIGTERM
    bool reader_gone = false;  // standard output is a pipe whose reader closed it
};

class StoreWatch {
public:
    // `note` takes the lines for standard error (polling, a directory gone),
    // each said once.
    StoreWatch(const StoreLayout& layout, std::function<void(std::string_view)> note);
    ~StoreWatch();
    StoreWatch(const StoreWatch&) = delete;
    StoreWatch& operator=(const StoreWatch&) = delete;

    // Sets up the watches; called before the store is first listed, so that
    // nothing written after the listing is missed.
    void start();

    // Waits at most `timeout` for records to be written at `lowest` or above
    // (re-listed ones) or anywhere (events), a stop, or the reader to go.
    Wake wait(std::chrono::milliseconds timeout, std::uint64_t lowest);

    // The records at `lowest` or above that the store holds now: block files
    // of full size (a shorter one is still being written) and every torrent
    // record.
    std::vector<WrittenRecord> present_records(std::uint64_t lowest) const;

private:
    struct Directory {
        RecordKind kind;
        int watch = -1;
        bool gone = false;
    };
    using Clock = std::chrono::steady_clock;

    void watch_directory(Directory& directory);
    void fall_back_to_polling(const Directory& directory, const std::string& reason);
    void read_events(Wake& wake);
    void relist(Wake& wake, std::uint64_t lowest);
    // Whether a torrent record counts as finished as soon as it is there
    // (Ignored), or only once unchanged for a second (Awaited).
    enum class Settling { Ignored, Awaited };
    struct Listed {
        std::vector<WrittenRecord> finished;
        bool unsettled = false;  // some records found may still be written
    };
    // Records that a listing finds and that look finished: a block file of
    // full size; a torrent record present, settled as asked.
    Listed list_finished(const Directory& directory, std::uint64_t lowest, Settling settling) const;

    StoreLayout layout_;
    std::vector<Directory> directories_;
    std::function<void(std::string_view)> note_;
    int inotify_ = -1;
    bool polling_ = false;
    bool said_polling_ = false;
    bool stdout_is_pipe_ = false;
    Clock::time_point next_relist_ = Clock::time_point::max();
};

}  // namespace quorvane

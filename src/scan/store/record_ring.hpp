#pragma once

// Reading a height's records through io_uring: each file is an open, then
// a read linked to a close, so a batch of files costs a system call or two
// where plain reads cost three or four a file, and a thread keeps many
// files in flight on a cold disk without a thread for each.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>

#include "scan/store/height_scan.hpp"
#include "scan/store/store_layout.hpp"

namespace quorvane {


// Both record directories opened for lookups (O_PATH) for as long as a scan
// lasts.
class RecordDirectories {
public:
    explicit RecordDirectories(const StoreLayout& layout);
    ~RecordDirectories();
    RecordDirectories(const RecordDirectories&) = delete;
    RecordDirectories& operator=(const RecordDirectories&) = delete;

    int blocks() const { return blocks_; }
    int torrents() const { return torrents_; }

private:
    int blocks_;
    int torrents_;
};

// Where a ring's opened files are kept until they are closed.
//  - Process: the process's descriptor table. An open that waits on the
//    disk runs on one of the kernel's io-wq workers, which then hands the
//    descriptor over without taking the ring's own lock; the read and close
//    follow in the next submission.
//  - Ring: slots registered with the ring, with open, read and close linked
//    in one submission. Costs no descriptors, but every worker that opens a
//    file waits for the ring's lock, which the thread holds while it takes
//    completions: on a cold disk the workers queue behind it.
enum class DescriptorTable { Process, Ring };

// One thread's ring; it is used from the thread that opened it only.
class RecordRing {
public:
    // Heights started at once, and batches that may be in flight.
    static constexpr std::size_t BATCH_HEIGHTS = 16;
    static constexpr std::size_t MAX_BATCHES = 4;

    // A ring for the calling thread, or why there is none (the kernel lacks
    // io_uring or one of the operations, it is switched off or refused by a
    // seccomp profile, the memory-lock limit is reached). Its files go to
    // the process's table while the process has room for them beside its
    // other rings' (see descriptor_room), to the ring's own otherwise.
    static std::expected<std::unique_ptr<RecordRing>, std::string> open();
    static std::expected<std::unique_ptr<RecordRing>, std::string> open(DescriptorTable table);

    ~RecordRing();
    RecordRing(const RecordRing&) = delete;
    RecordRing& operator=(const RecordRing&) = delete;

    // Starts reading the records of `batch` (at most BATCH_HEIGHTS heights,
    // with fewer than MAX_BATCHES batches in flight), which stay where they
    // are until finish() has returned for them.
    void start(std::span<HeightScan> batch, const RecordReads& reads);

    // Ends the oldest batch started: each height's records are in its slot
    // as read_height would have left them. Whatever the ring did not read
    // whole (an error of any kind, a file shorter or longer than a record can
    // be, a ring that stopped working) is read again the plain way, so every
    // outcome and its text are the plain reads' own.
    void finish();

    // False once the ring has stopped working: what is left is read the plain way.
    bool working() const;

    DescriptorTable table() const;

    // Records the ring read whole itself, rather than leaving them to the
    // plain reads.
    std::uint64_t records_read() const;

    struct State;

private:
    explicit RecordRing(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace quorvane

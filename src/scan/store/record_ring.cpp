#include "scan/store/record_ring.hpp"

#include <fcntl.h>
#include <liburing.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include "common/io_error.hpp"
#include "records/unpack_block/unpack_header.hpp"
#include "scan/store/height_scan.hpp"
#include "torrent/structs.hpp"
#include "torrent/torrent_file.hpp"

namespace quorvane {

namespace {

constexpr unsigned BATCHES = RecordRing::MAX_BATCHES;
constexpr unsigned FILES_PER_BATCH = RecordRing::BATCH_HEIGHTS * 2;
constexpr unsigned FILE_SLOTS = BATCHES * FILES_PER_BATCH;
// Three requests a file, with room to spare: a read and close queued after
// an open always find room.
constexpr unsigned RING_ENTRIES = 512;
static_assert(RING_ENTRIES >= FILE_SLOTS * 3);
// The kernel's io-wq workers a ring's thread may have of each kind. A
// request that would wait (an open or read of a file not in the page cache)
// goes to one of them, and the kernel's default of a few per processor
// leaves most files in flight queued behind a few that wait on the disk.
constexpr unsigned IO_WORKERS = FILE_SLOTS;
// Descriptors left to everything else the process opens while its rings
// hold theirs: the plain reads, listings, settings, its output, the watch.
constexpr rlim_t DESCRIPTOR_MARGIN = 256;
// One byte more than the longest torrent record tells a record from a longer
// file; a block file needs less.
constexpr std::size_t BUFFER_SIZE = TORRENT_MAX_SIZE + 1;
static_assert(BUFFER_SIZE >= BLOCK_HEADER_AND_PROOF_SIZE);
// Submissions or waits refused in a row as busy or interrupted before the
// ring is given up: a signal storm must not keep the scan from its end.
constexpr unsigned RETRIES = 1000;

enum class Step : std::uint64_t { Open = 0, Read = 1, Close = 2 };

struct Request {
    HeightScan* slot = nullptr;
    RecordKind kind = RecordKind::Block;
    int directory = AT_FDCWD;  // `path` is looked up from there
    std::string path;
    int opened = -ECANCELED;
    int read = -ECANCELED;
    unsigned awaited = 0;  // completions still to come
    // A descriptor opened into the process's table, until its close is done,
    // and where that close sits in the submission queue.
    int descriptor = -1;
    unsigned close_entry = 0;
};

struct Batch {
    std::vector<Request> requests;
    RecordReads reads;
};

std::uint64_t tag(unsigned batch, unsigned request, Step step) {
    return (std::uint64_t{batch} << 32) | (std::uint64_t{request} << 2) | static_cast<std::uint64_t>(step);
}

std::string refusal(const char* step, int code) { return std::string(step) + ": " + os_error_message(code); }

unsigned read_length(RecordKind kind) {
    return kind == RecordKind::Block ? static_cast<unsigned>(BLOCK_HEADER_AND_PROOF_SIZE) : static_cast<unsigned>(BUFFER_SIZE);
}

// How many more descriptors the rings may hold in the process's table.
std::atomic<long long>& descriptor_room() {
    static std::atomic<long long> room = [] {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0LL;
        if (limit.rlim_cur == RLIM_INFINITY) return std::numeric_limits<long long>::max() / 2;
        return limit.rlim_cur > DESCRIPTOR_MARGIN ? static_cast<long long>(limit.rlim_cur - DESCRIPTOR_MARGIN) : 0LL;
    }();
    return room;
}

bool take_descriptor_room() {
    auto& room = descriptor_room();
    long long left = room.load();
    while (left >= FILE_SLOTS) {
        if (room.compare_exchange_weak(left, left - FILE_SLOTS)) return true;
    }
    return false;
}

void close_descriptor(int descriptor) {
    // Not asked again on EINTR: the descriptor is gone whatever close says.
    static_cast<void>(::close(descriptor));
}

// The plain reads of one record, as read_height makes them.
void read_plainly(const Request& request, const RecordReads& reads) {
    if (request.kind == RecordKind::Block) {
        read_block_record(reads, *request.slot);
    } else {
        read_torrent_record(reads, *request.slot);
    }
}

}  // namespace

struct RecordRing::State {
    io_uring ring{};
    DescriptorTable table = DescriptorTable::Ring;
    bool holds_room = false;  // FILE_SLOTS of descriptor_room() taken
    bool set_up = false;
    bool working = true;
    unsigned outstanding = 0;  // completions the kernel still owes
    std::uint64_t records_read = 0;
    std::unique_ptr<std::uint8_t[]> buffers{new std::uint8_t[std::size_t{FILE_SLOTS} * BUFFER_SIZE]};
    std::array<Batch, BATCHES> batches;
    // The batches in flight, oldest first from `oldest`. A batch started
    // takes the lowest one free, so that a ring kept two deep touches two
    // batches' buffers only.
    std::array<unsigned, BATCHES> in_flight{};
    std::array<bool, BATCHES> busy{};
    unsigned oldest = 0;
    unsigned active = 0;

    std::uint8_t* buffer(unsigned batch, unsigned request) {
        return buffers.get() + (std::size_t{batch} * FILES_PER_BATCH + request) * BUFFER_SIZE;
    }

    ~State() {
        // Requests the kernel may still be working on write into the
        // buffers: those are left to the process's end rather than freed.
        if (outstanding > 0) static_cast<void>(buffers.release());
        if (set_up) io_uring_queue_exit(&ring);
        if (holds_room) descriptor_room() += FILE_SLOTS;
    }

    // The ring is not used again. Descriptors whose close never reached the
    // kernel are closed here; one whose close did is the kernel's to close.
    void give_up() {
        working = false;
        const unsigned consumed = io_uring_smp_load_acquire(ring.sq.khead);
        for (Batch& batch : batches) {
            for (Request& request : batch.requests) {
                if (request.descriptor >= 0 && static_cast<int>(consumed - request.close_entry) <= 0) {
                    close_descriptor(request.descriptor);
                    request.descriptor = -1;
                }
            }
        }
    }

    // A file opened into the process's table is read, then closed whatever
    // the read gave; both go with the next submission.
    void read_and_close(unsigned batch, unsigned index, Request& request, int descriptor) {
        request.descriptor = descriptor;
        if (io_uring_sq_space_left(&ring) < 2) {
            // Never so (the queue has room for three entries a file), but
            // should it be, the plain reads take the file.
            close_descriptor(descriptor);
            request.descriptor = -1;
            return;
        }
        io_uring_sqe* read = io_uring_get_sqe(&ring);
        io_uring_prep_read(read, descriptor, buffer(batch, index), read_length(request.kind), 0);
        read->flags |= IOSQE_IO_HARDLINK;
        io_uring_sqe_set_data64(read, tag(batch, index, Step::Read));
        io_uring_sqe* close = io_uring_get_sqe(&ring);
        io_uring_prep_close(close, descriptor);
        io_uring_sqe_set_data64(close, tag(batch, index, Step::Close));
        request.close_entry = ring.sq.sqe_tail - 1;
        request.awaited += 2;
        outstanding += 2;
    }

    void take(const io_uring_cqe& cqe) {
        const unsigned batch = static_cast<unsigned>(cqe.user_data >> 32);
        const unsigned index = static_cast<unsigned>((cqe.user_data & 0xffffffffu) >> 2);
        const auto step = static_cast<Step>(cqe.user_data & 3);
        if (batch >= BATCHES || index >= batches[batch].requests.size()) return;
        Request& request = batches[batch].requests[index];
        if (request.awaited > 0) --request.awaited;
        if (outstanding > 0) --outstanding;
        switch (step) {
        case Step::Open:
            request.opened = cqe.res;
            if (table == DescriptorTable::Process && cqe.res >= 0) read_and_close(batch, index, request, cqe.res);
            break;
        case Step::Read:
            request.read = cqe.res;
            break;
        case Step::Close:
            request.descriptor = -1;
            break;
        }
    }

    // Hands what the kernel sent back to the requests.
    void reap() {
        io_uring_cqe* cqe = nullptr;
        unsigned head = 0;
        unsigned seen = 0;
        io_uring_for_each_cqe(&ring, head, cqe) {
            take(*cqe);
            ++seen;
        }
        io_uring_cq_advance(&ring, seen);
    }

    void submit() {
        if (!working) return;
        for (unsigned tries = 0; tries < RETRIES; ++tries) {
            const int submitted = io_uring_submit(&ring);
            if (submitted >= 0) return;
            if (submitted == -EINTR) continue;
            if (submitted == -EAGAIN || submitted == -EBUSY) {
                reap();
                continue;
            }
            break;
        }
        give_up();
    }

    // Waits until every request of the batch is complete, or the ring fails.
    void wait_for(const Batch& batch) {
        const auto complete = [&] {
            for (const Request& request : batch.requests) {
                if (request.awaited > 0) return false;
            }
            return true;
        };
        unsigned refused = 0;
        while (working) {
            reap();
            if (complete()) return;
            // Sends the reads and closes queued after opens, if any, and
            // waits for at least one completion.
            io_uring_cqe* cqe = nullptr;
            const int waited = io_uring_sq_ready(&ring) > 0 ? io_uring_submit_and_wait(&ring, 1)
                                                             : io_uring_wait_cqe(&ring, &cqe);
            if (waited >= 0) {
                refused = 0;
                continue;
            }
            if ((waited == -EINTR || waited == -EAGAIN || waited == -EBUSY) && ++refused < RETRIES) continue;
            give_up();
        }
    }

    // A request that is not queued is left to the plain reads.
    void queue(unsigned batch, unsigned index, Request& request) {
        // The kernel would stop at the NUL and open another file.
        if (request.path.find('\0') != std::string::npos) return;
        if (io_uring_sq_space_left(&ring) < 3) return;
        // Non-blocking as the plain open is: a FIFO without a writer must not
        // hold the ring; what such a file gives is then read the plain way.
        io_uring_sqe* open = io_uring_get_sqe(&ring);
        if (table == DescriptorTable::Process) {
            io_uring_prep_openat(open, request.directory, request.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
            io_uring_sqe_set_data64(open, tag(batch, index, Step::Open));
            request.awaited = 1;
            outstanding += 1;
            return;
        }
        const unsigned slot = batch * FILES_PER_BATCH + index;
        io_uring_prep_openat_direct(open, request.directory, request.path.c_str(), O_RDONLY | O_NONBLOCK, 0, slot);
        open->flags |= IOSQE_IO_LINK;
        io_uring_sqe_set_data64(open, tag(batch, index, Step::Open));
        io_uring_sqe* read = io_uring_get_sqe(&ring);
        io_uring_prep_read(read, static_cast<int>(slot), buffer(batch, index), read_length(request.kind), 0);
        // A hard link: the slot is closed even when the read fails.
        read->flags |= IOSQE_FIXED_FILE | IOSQE_IO_HARDLINK;
        io_uring_sqe_set_data64(read, tag(batch, index, Step::Read));
        io_uring_sqe* close = io_uring_get_sqe(&ring);
        io_uring_prep_close_direct(close, slot);
        io_uring_sqe_set_data64(close, tag(batch, index, Step::Close));
        request.awaited = 3;
        outstanding += 3;
    }

    // Moves a record the ring read whole into its slot; false when it must
    // be read again the plain way.
    bool accept(unsigned batch, unsigned index, const Request& request, const RecordReads& reads) {
        if (request.opened < 0 || request.read < 0) return false;
        const std::uint8_t* bytes = buffer(batch, index);
        const auto size = static_cast<std::size_t>(request.read);
        HeightScan& slot = *request.slot;
        if (request.kind == RecordKind::Block) {
            // A shorter file may have ended early or be no regular file: the
            // plain reads tell which, with their own text.
            if (size != BLOCK_HEADER_AND_PROOF_SIZE) return false;
            RawBlock raw;
            std::memcpy(raw.bytes.data(), bytes, size);
            raw.size = size;
            slot.raw.block = std::move(raw);
            ++records_read;
            return true;
        }
        // An empty file, or one longer than any record, is left to the plain
        // reads: one may be a FIFO, the other is measured, not kept.
        if (size == 0 || size > TORRENT_MAX_SIZE) return false;
        if (reads.read_torrent) {
            TorrentFileContent content;
            content.kept.assign(bytes, bytes + size);
            content.total_length = size;
            slot.raw.torrent = std::move(content);
        }
        ++records_read;
        return true;
    }
};

RecordRing::RecordRing(std::unique_ptr<State> state) : state_(std::move(state)) {}

RecordRing::~RecordRing() = default;

std::expected<std::unique_ptr<RecordRing>, std::string> RecordRing::open() {
    const bool room = take_descriptor_room();
    auto ring = open(room ? DescriptorTable::Process : DescriptorTable::Ring);
    if (ring) {
        (*ring)->state_->holds_room = room;
    } else if (room) {
        descriptor_room() += FILE_SLOTS;
    }
    return ring;
}

std::expected<std::unique_ptr<RecordRing>, std::string> RecordRing::open(DescriptorTable table) {
    auto state = std::make_unique<State>();
    state->table = table;
    // The cheapest way the kernel offers first: completions handed over only
    // when this thread asks for them.
    constexpr std::array<unsigned, 3> FLAG_SETS = {IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN,
                                                   IORING_SETUP_COOP_TASKRUN, 0};
    int created = -EINVAL;
    for (const unsigned flags : FLAG_SETS) {
        io_uring_params params{};
        params.flags = flags;
        created = io_uring_queue_init_params(RING_ENTRIES, &state->ring, &params);
        if (created != -EINVAL) break;
    }
    if (created < 0) return std::unexpected(refusal("io_uring_setup", -created));
    state->set_up = true;
    auto ring = std::unique_ptr<RecordRing>(new RecordRing(std::move(state)));
    io_uring& handle = ring->state_->ring;
    // Where the kernel cannot raise it (before 5.15, or a seccomp profile
    // refuses the call), its own limit stays: fewer files wait on the disk
    // at once, and nothing else changes.
    std::array<unsigned, 2> workers = {IO_WORKERS, IO_WORKERS};
    static_cast<void>(io_uring_register_iowq_max_workers(&handle, workers.data()));
    io_uring_probe* probe = io_uring_get_probe_ring(&handle);
    const bool has_operations = probe != nullptr && io_uring_opcode_supported(probe, IORING_OP_OPENAT) &&
                                io_uring_opcode_supported(probe, IORING_OP_READ) &&
                                io_uring_opcode_supported(probe, IORING_OP_CLOSE);
    if (probe != nullptr) io_uring_free_probe(probe);
    if (!has_operations) return std::unexpected(std::string("io_uring lacks open, read or close"));
    if (table == DescriptorTable::Process) return ring;
    int registered = io_uring_register_files_sparse(&handle, FILE_SLOTS);
    if (registered < 0) {
        // Kernels before sparse tables take a table of empty slots.
        std::array<int, FILE_SLOTS> empty;
        empty.fill(-1);
        registered = io_uring_register_files(&handle, empty.data(), FILE_SLOTS);
    }
    if (registered < 0) return std::unexpected(refusal("io_uring_register", -registered));
    return ring;
}

void RecordRing::start(std::span<HeightScan> heights, const RecordReads& reads) {
    State& s = *state_;
    const unsigned index = static_cast<unsigned>(std::find(s.busy.begin(), s.busy.end(), false) - s.busy.begin());
    s.busy[index] = true;
    s.in_flight[(s.oldest + s.active) % BATCHES] = index;
    ++s.active;
    // Opens of earlier batches that are done get their reads sent with
    // this batch's opens.
    s.reap();
    Batch& batch = s.batches[index];
    batch.reads = reads;
    batch.requests.clear();
    const StoreLayout& layout = *reads.layout;
    for (HeightScan& slot : heights) {
        const auto request = [&](RecordKind kind) {
            const int directory = reads.opened_directory(kind);
            return directory >= 0 ? Request{&slot, kind, directory, layout.name(kind, slot.height)}
                                  : Request{&slot, kind, AT_FDCWD, layout.path(kind, slot.height)};
        };
        if (slot.block_present) batch.requests.push_back(request(RecordKind::Block));
        if (slot.torrent_present && (reads.read_torrent || reads.probe)) batch.requests.push_back(request(RecordKind::Torrent));
    }
    for (unsigned i = 0; s.working && i < batch.requests.size(); ++i) s.queue(index, i, batch.requests[i]);
    if (io_uring_sq_ready(&s.ring) > 0) s.submit();
}

void RecordRing::finish() {
    State& s = *state_;
    if (s.active == 0) return;
    const unsigned index = s.in_flight[s.oldest];
    s.oldest = (s.oldest + 1) % BATCHES;
    --s.active;
    Batch& batch = s.batches[index];
    s.wait_for(batch);
    for (unsigned i = 0; i < batch.requests.size(); ++i) {
        const Request& request = batch.requests[i];
        // A request still awaited belongs to a ring that failed: its buffer
        // is not looked at.
        if (request.awaited > 0 || !s.accept(index, i, request, batch.reads)) read_plainly(request, batch.reads);
    }
    batch.requests.clear();
    s.busy[index] = false;
}

bool RecordRing::working() const { return state_->working; }

DescriptorTable RecordRing::table() const { return state_->table; }

std::uint64_t RecordRing::records_read() const { return state_->records_read; }

namespace {

int open_directory(const std::string& path) {
    // A path with a NUL names no directory; an empty one means the current
    // directory, which whole paths handle.
    if (path.empty() || path.find('\0') != std::string::npos) return -1;
    int fd;
    do {
        fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

RecordDirectories::RecordDirectories(const StoreLayout& layout)
    : blocks_(open_directory(layout.directory(RecordKind::Block))),
      torrents_(open_directory(layout.directory(RecordKind::Torrent))) {}

RecordDirectories::~RecordDirectories() {
    if (blocks_ >= 0) ::close(blocks_);
    if (torrents_ >= 0) ::close(torrents_);
}

}  // namespace quorvane

#include "scan/store/record_ring.hpp"

#include <fcntl.h>
#include <liburing.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "common/io_error.hpp"
#include "records/unpack_block/unpack_header.hpp"
#include "scan/store/height_scan.hpp"
#include "torrent/structs.hpp"
#include "torrent/torrent_file.hpp"

namespace quorvane {

namespace {

constexpr unsigned BATCHES = 2;
constexpr unsigned FILES_PER_BATCH = RecordRing::BATCH_HEIGHTS * 2;
constexpr unsigned FILE_SLOTS = BATCHES * FILES_PER_BATCH;
// Three requests a file, with room to spare.
constexpr unsigned RING_ENTRIES = 256;
static_assert(RING_ENTRIES >= FILE_SLOTS * 3);
// One byte more than the longest torrent record tells a record from a longer
// file; a block file needs less.
constexpr std::size_t BUFFER_SIZE = TORRENT_MAX_SIZE + 1;
static_assert(BUFFER_SIZE >= BLOCK_HEADER_AND_PROOF_SIZE);
// Submissions or waits refused in a row as busy or interrupted before the
// ring is given up: a signal storm must not keep the scan from its end.
constexpr unsigned RETRIES = 1000;

enum class Step : std::uint64_t { Open = 0, Read = 1, Close = 2 };
enum class Kind { Block, Torrent };

struct Request {
    HeightScan* slot = nullptr;
    Kind kind = Kind::Block;
    int directory = AT_FDCWD;  // `path` is looked up from there
    std::string path;
    int opened = -ECANCELED;
    int read = -ECANCELED;
    unsigned awaited = 0;  // completions still to come
};

struct Batch {
    std::vector<Request> requests;
    RecordReads reads;
};

std::uint64_t tag(unsigned batch, unsigned request, Step step) {
    return (std::uint64_t{batch} << 32) | (std::uint64_t{request} << 2) | static_cast<std::uint64_t>(step);
}

std::string refusal(const char* step, int code) { return std::string(step) + ": " + os_error_message(code); }

// The plain reads of one record, as read_height makes them.
void read_plainly(const Request& request, const RecordReads& reads) {
    if (request.kind == Kind::Block) {
        read_block_record(reads, *request.slot);
    } else {
        read_torrent_record(reads, *request.slot);
    }
}

}  // namespace

struct RecordRing::State {
    io_uring ring{};
    bool set_up = false;
    bool working = true;
    unsigned outstanding = 0;  // completions the kernel still owes
    std::unique_ptr<std::uint8_t[]> buffers{new std::uint8_t[std::size_t{FILE_SLOTS} * BUFFER_SIZE]};
    std::array<Batch, BATCHES> batches;
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
    }

    void take(const io_uring_cqe& cqe) {
        const unsigned batch = static_cast<unsigned>(cqe.user_data >> 32);
        const unsigned index = static_cast<unsigned>((cqe.user_data & 0xffffffffu) >> 2);
        const auto step = static_cast<Step>(cqe.user_data & 3);
        if (batch >= BATCHES || index >= batches[batch].requests.size()) return;
        Request& request = batches[batch].requests[index];
        if (step == Step::Open) request.opened = cqe.res;
        if (step == Step::Read) request.read = cqe.res;
        if (request.awaited > 0) --request.awaited;
        if (outstanding > 0) --outstanding;
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
        for (unsigned tries = 0; working && tries < RETRIES; ++tries) {
            const int submitted = io_uring_submit(&ring);
            if (submitted >= 0) return;
            if (submitted == -EINTR) continue;
            if (submitted == -EAGAIN || submitted == -EBUSY) {
                reap();
                continue;
            }
            break;
        }
        working = false;
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
        while (working && !complete()) {
            io_uring_cqe* cqe = nullptr;
            const int waited = io_uring_wait_cqe(&ring, &cqe);
            if (waited == 0) {
                refused = 0;
                reap();
                continue;
            }
            if ((waited == -EINTR || waited == -EAGAIN || waited == -EBUSY) && ++refused < RETRIES) continue;
            working = false;
        }
    }

    bool queue(unsigned batch, unsigned index, Request& request) {
        // The kernel would stop at the NUL and open another file.
        if (request.path.find('\0') != std::string::npos) return false;
        if (io_uring_sq_space_left(&ring) < 3) return false;
        const unsigned slot = batch * FILES_PER_BATCH + index;
        const unsigned length = request.kind == Kind::Block ? static_cast<unsigned>(BLOCK_HEADER_AND_PROOF_SIZE)
                                                            : static_cast<unsigned>(BUFFER_SIZE);
        // Non-blocking as the plain open is: a FIFO without a writer must not
        // hold the ring; what such a file gives is then read the plain way.
        io_uring_sqe* open = io_uring_get_sqe(&ring);
        io_uring_prep_openat_direct(open, request.directory, request.path.c_str(), O_RDONLY | O_NONBLOCK, 0, slot);
        open->flags |= IOSQE_IO_LINK;
        io_uring_sqe_set_data64(open, tag(batch, index, Step::Open));
        io_uring_sqe* read = io_uring_get_sqe(&ring);
        io_uring_prep_read(read, static_cast<int>(slot), buffer(batch, index), length, 0);
        // A hard link: the slot is closed even when the read fails.
        read->flags |= IOSQE_FIXED_FILE | IOSQE_IO_HARDLINK;
        io_uring_sqe_set_data64(read, tag(batch, index, Step::Read));
        io_uring_sqe* close = io_uring_get_sqe(&ring);
        io_uring_prep_close_direct(close, slot);
        io_uring_sqe_set_data64(close, tag(batch, index, Step::Close));
        request.awaited = 3;
        outstanding += 3;
        return true;
    }

    // Moves a record the ring read whole into its slot; false when it must
    // be read again the plain way.
    bool accept(unsigned batch, unsigned index, const Request& request, const RecordReads& reads) {
        if (request.opened < 0 || request.read < 0) return false;
        const std::uint8_t* bytes = buffer(batch, index);
        const auto size = static_cast<std::size_t>(request.read);
        HeightScan& slot = *request.slot;
        if (request.kind == Kind::Block) {
            // A shorter file may have ended early or be no regular file: the
            // plain reads tell which, with their own text.
            if (size != BLOCK_HEADER_AND_PROOF_SIZE) return false;
            RawBlock raw;
            std::memcpy(raw.bytes.data(), bytes, size);
            raw.size = size;
            slot.raw.block = std::move(raw);
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
        return true;
    }
};

RecordRing::RecordRing(std::unique_ptr<State> state) : state_(std::move(state)) {}

RecordRing::~RecordRing() = default;

std::expected<std::unique_ptr<RecordRing>, std::string> RecordRing::open() {
    auto state = std::make_unique<State>();
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
    io_uring_probe* probe = io_uring_get_probe_ring(&handle);
    const bool has_operations = probe != nullptr && io_uring_opcode_supported(probe, IORING_OP_OPENAT) &&
                                io_uring_opcode_supported(probe, IORING_OP_READ) &&
                                io_uring_opcode_supported(probe, IORING_OP_CLOSE);
    if (probe != nullptr) io_uring_free_probe(probe);
    if (!has_operations) return std::unexpected(std::string("io_uring lacks open, read or close"));
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
    const unsigned index = (s.oldest + s.active) % BATCHES;
    ++s.active;
    Batch& batch = s.batches[index];
    batch.reads = reads;
    batch.requests.clear();
    const StoreLayout& layout = *reads.layout;
    for (HeightScan& slot : heights) {
        const std::uint32_t h = slot.height;
        if (slot.block_present) {
            batch.requests.push_back(reads.block_directory >= 0
                                         ? Request{&slot, Kind::Block, reads.block_directory, layout.block_name(h)}
                                         : Request{&slot, Kind::Block, AT_FDCWD, layout.block_path(h)});
        }
        if (slot.torrent_present && (reads.read_torrent || reads.probe)) {
            batch.requests.push_back(reads.torrent_directory >= 0
                                         ? Request{&slot, Kind::Torrent, reads.torrent_directory, layout.torrent_name(h)}
                                         : Request{&slot, Kind::Torrent, AT_FDCWD, layout.torrent_path(h)});
        }
    }
    bool queued = false;
    for (unsigned i = 0; s.working && i < batch.requests.size(); ++i) queued = s.queue(index, i, batch.requests[i]) || queued;
    if (queued) s.submit();
}

void RecordRing::finish() {
    State& s = *state_;
    if (s.active == 0) return;
    const unsigned index = s.oldest;
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
}

bool RecordRing::working() const { return state_->working; }

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
    : blocks_(open_directory(layout.block_directory())), torrents_(open_directory(layout.torrent_directory())) {}

RecordDirectories::~RecordDirectories() {
    if (blocks_ >= 0) ::close(blocks_);
    if (torrents_ >= 0) ::close(torrents_);
}

}  // namespace quorvane

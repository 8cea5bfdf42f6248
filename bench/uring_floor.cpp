// The floor under any reader of a store through io_uring: lists the given
// directories, then opens, reads (up to 4 KiB) and closes every file in them
// on THREADS threads, one ring each, FILES_IN_FLIGHT files a ring, each file
// a linked open -> read -> close chain on a registered slot. Nothing is
// decoded; prints the bytes read, so that the work cannot be left out.
// With --max-workers, each ring's io-wq pool (the kernel threads that
// take requests that would block) may grow to N workers of each kind.
//   uring_floor [--threads N] [--in-flight N] [--max-workers N] DIRECTORY...

#include <dirent.h>
#include <fcntl.h>
#include <liburing.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr unsigned BUFFER_SIZE = 4096;
constexpr std::uint64_t READ = 1ull << 32;
constexpr std::uint64_t OPEN = 1ull << 33;
constexpr std::uint64_t UNUSED = ~0ull;

// A file by its name in an opened directory: the kernel looks up one name,
// not the whole path.
struct File {
    int directory;
    std::string name;
};

void list(const std::string& directory, std::vector<File>& files) {
    DIR* listing = opendir(directory.c_str());
    const int handle = open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (listing == nullptr || handle < 0) {
        std::perror(directory.c_str());
        std::exit(1);
    }
    while (const dirent* entry = readdir(listing)) {
        if (entry->d_name[0] != '.') files.push_back({handle, entry->d_name});
    }
    closedir(listing);
}

struct Totals {
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<std::uint64_t> failures{0};
};

void read_all(const std::vector<File>& paths, std::atomic<std::size_t>& next, unsigned in_flight,
              unsigned max_workers, bool plain_descriptors, Totals& totals) {
    io_uring ring{};
    io_uring_params params{};
    params.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN;
    if (io_uring_queue_init_params(in_flight * 4, &ring, &params) < 0 ||
        io_uring_register_files_sparse(&ring, in_flight) < 0) {
        std::fprintf(stderr, "uring_floor: no io_uring here\n");
        std::exit(1);
    }
    if (max_workers > 0) {
        // The ring's io-wq pool: requests that would block (a file not in
        // the page cache) wait for one of these workers.
        unsigned limits[2] = {max_workers, max_workers};
        if (io_uring_register_iowq_max_workers(&ring, limits) < 0) {
            std::fprintf(stderr, "uring_floor: the worker limit cannot be raised here\n");
            std::exit(1);
        }
    }
    std::vector<char> buffers(std::size_t{in_flight} * BUFFER_SIZE);
    std::vector<unsigned> free_slots;
    for (unsigned slot = 0; slot < in_flight; ++slot) free_slots.push_back(slot);
    std::uint64_t bytes = 0;
    std::uint64_t failures = 0;
    unsigned busy = 0;
    bool more = true;
    while (more || busy > 0) {
        // Fill every free slot, then one system call submits and waits.
        while (more && !free_slots.empty()) {
            const std::size_t index = next.fetch_add(1);
            if (index >= paths.size()) {
                more = false;
                break;
            }
            const unsigned slot = free_slots.back();
            free_slots.pop_back();
            io_uring_sqe* open = io_uring_get_sqe(&ring);
            if (plain_descriptors) {
                // The descriptor comes back in the completion; the read and
                // close follow it in the next submission.
                io_uring_prep_openat(open, paths[index].directory, paths[index].name.c_str(), O_RDONLY | O_CLOEXEC, 0);
                io_uring_sqe_set_data64(open, OPEN | slot);
                ++busy;
                continue;
            }
            io_uring_prep_openat_direct(open, paths[index].directory, paths[index].name.c_str(), O_RDONLY, 0, slot);
            open->flags |= IOSQE_IO_LINK | IOSQE_CQE_SKIP_SUCCESS;
            io_uring_sqe_set_data64(open, UNUSED);
            io_uring_sqe* read = io_uring_get_sqe(&ring);
            io_uring_prep_read(read, static_cast<int>(slot), buffers.data() + std::size_t{slot} * BUFFER_SIZE,
                               BUFFER_SIZE, 0);
            read->flags |= IOSQE_FIXED_FILE | IOSQE_IO_HARDLINK;
            io_uring_sqe_set_data64(read, READ | slot);
            io_uring_sqe* close = io_uring_get_sqe(&ring);
            // The slot is free again once its close is done.
            io_uring_prep_close_direct(close, slot);
            io_uring_sqe_set_data64(close, slot);
            ++busy;
        }
        if (busy == 0) break;
        if (io_uring_submit_and_wait(&ring, 1) < 0) continue;
        io_uring_cqe* cqe = nullptr;
        unsigned head = 0;
        unsigned seen = 0;
        io_uring_for_each_cqe(&ring, head, cqe) {
            ++seen;
            if (cqe->user_data == UNUSED) continue;
            const auto slot = static_cast<unsigned>(cqe->user_data);
            if ((cqe->user_data & OPEN) != 0) {
                if (cqe->res < 0) {
                    ++failures;
                    free_slots.push_back(slot);
                    --busy;
                    continue;
                }
                io_uring_sqe* read = io_uring_get_sqe(&ring);
                io_uring_prep_read(read, cqe->res, buffers.data() + std::size_t{slot} * BUFFER_SIZE, BUFFER_SIZE, 0);
                read->flags |= IOSQE_IO_HARDLINK;
                io_uring_sqe_set_data64(read, READ | slot);
                io_uring_sqe* close = io_uring_get_sqe(&ring);
                io_uring_prep_close(close, cqe->res);
                io_uring_sqe_set_data64(close, slot);
                continue;
            }
            if ((cqe->user_data & READ) != 0) {
                if (cqe->res < 0) ++failures;
                else bytes += static_cast<std::uint64_t>(cqe->res);
                continue;
            }
            free_slots.push_back(slot);
            --busy;
        }
        io_uring_cq_advance(&ring, seen);
    }
    io_uring_queue_exit(&ring);
    totals.bytes += bytes;
    totals.failures += failures;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned threads = 2;
    unsigned in_flight = 32;
    unsigned max_workers = 0;
    bool plain_descriptors = false;
    std::vector<File> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--threads" && i + 1 < argc) {
            threads = static_cast<unsigned>(std::atoi(argv[++i]));
        } else if (argument == "--plain-descriptors") {
            plain_descriptors = true;
        } else if (argument == "--max-workers" && i + 1 < argc) {
            max_workers = static_cast<unsigned>(std::atoi(argv[++i]));
        } else if (argument == "--in-flight" && i + 1 < argc) {
            in_flight = static_cast<unsigned>(std::atoi(argv[++i]));
        } else {
            list(argument, paths);
        }
    }
    std::atomic<std::size_t> next{0};
    Totals totals;
    {
        std::vector<std::jthread> workers;
        for (unsigned t = 0; t < threads; ++t) {
            workers.emplace_back([&] { read_all(paths, next, in_flight, max_workers, plain_descriptors, totals); });
        }
    }
    std::printf("%zu files, %llu bytes, %llu failed\n", paths.size(),
                static_cast<unsigned long long>(totals.bytes.load()),
                static_cast<unsigned long long>(totals.failures.load()));
    return 0;
}

#include "scan/watch/store_watch.hpp"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "blocks/block.hpp"
#include "common/file_reading.hpp"
#include "common/io_error.hpp"
#include "common/utf8.hpp"
#include "scan/store/height_listing.hpp"
#include "scan/watch/stop_signals.hpp"
#include "torrent/torrent_file.hpp"

namespace quorvane {

namespace {

constexpr auto POLL_INTERVAL = std::chrono::seconds(1);
// A torrent record that a listing finds is taken as finished once it has
// not changed for this long.
constexpr auto SETTLED_AFTER = std::chrono::seconds(1);
constexpr std::uint64_t BLOCK_FILE_SIZE = BLOCK_HEADER_AND_PROOF_SIZE;
constexpr std::uint32_t WATCHED_EVENTS =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// File systems whose changes made elsewhere give no inotify events.
bool gives_no_events(const std::string& path) {
    struct statfs status {};
    if (::statfs(path.c_str(), &status) != 0) return false;
    switch (static_cast<unsigned long>(status.f_type)) {
        case 0x6969:      // NFS
        case 0xFF534D42:  // CIFS
        case 0xFE534D42:  // SMB2
        case 0x517B:      // SMB
        case 0x65735546:  // FUSE
        case 0x01021997:  // 9P
        case 0x00C36400:  // Ceph
            return true;
        default:
            return false;
    }
}

bool is_pipe_or_socket(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
}

std::chrono::system_clock::time_point modified_time(const struct stat& status) {
    return std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
        std::chrono::seconds(status.st_mtim.tv_sec) + std::chrono::nanoseconds(status.st_mtim.tv_nsec)));
}

}  // namespace

StoreWatch::StoreWatch(const StoreLayout& layout, std::function<void(std::string_view)> note)
    : layout_(layout), note_(std::move(note)), stdout_is_pipe_(is_pipe_or_socket(STDOUT_FILENO)) {
    for (const RecordKind kind : RECORD_KINDS) directories_.push_back({kind});
}

StoreWatch::~StoreWatch() {
    if (inotify_ >= 0) ::close(inotify_);
}

void StoreWatch::start() {
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    for (Directory& directory : directories_) {
        if (inotify_ < 0) {
            fall_back_to_polling(directory, os_error_message(errno));
        } else {
            watch_directory(directory);
        }
    }
}

void StoreWatch::watch_directory(Directory& directory) {
    const std::string& path = layout_.directory(directory.kind);
    if (nul_in_file_name(path)) return;
    if (gives_no_events(path)) {
        fall_back_to_polling(directory, "its file system gives no change events");
        return;
    }
    directory.watch = ::inotify_add_watch(inotify_, path.c_str(), WATCHED_EVENTS);
    if (directory.watch >= 0) return;
    if (errno == ENOENT || errno == ENOTDIR) {
        // Not there (yet): waited for by name.
        directory.gone = true;
        next_relist_ = std::min(next_relist_, Clock::now() + POLL_INTERVAL);
    } else {
        fall_back_to_polling(directory, os_error_message(errno));
    }
}

void StoreWatch::fall_back_to_polling(const Directory& directory, const std::string& reason) {
    polling_ = true;
    next_relist_ = std::min(next_relist_, Clock::now() + POLL_INTERVAL);
    if (said_polling_) return;
    said_polling_ = true;
    note_("Warning: cannot watch the " + std::string(StoreLayout::noun(directory.kind)) + " directory " +
          utf8::to_text_lossy(layout_.directory(directory.kind)) +
          " for changes (" + reason + "); listing the record directories every second instead");
}

Wake StoreWatch::wait(std::chrono::milliseconds timeout, std::uint64_t lowest) {
    Wake wake;
    const auto now = Clock::now();
    if (now >= next_relist_) {
        relist(wake, lowest);
        if (!wake.written.empty()) return wake;
    }
    auto until = now + timeout;
    if (next_relist_ < until) until = next_relist_;
    const auto wait_ms = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();

    std::array<pollfd, 3> watched{};
    nfds_t count = 0;
    watched[count++] = {stop_descriptor(), POLLIN, 0};
    if (inotify_ >= 0) watched[count++] = {inotify_, POLLIN, 0};
    // A pipe's writing end reports an error once its reader has gone.
    if (stdout_is_pipe_) watched[count++] = {STDOUT_FILENO, 0, 0};
    const int ready = ::poll(watched.data(), count, static_cast<int>(std::max<long long>(0, wait_ms)));
    if (ready < 0 && errno != EINTR) {
        // Waiting itself failed: go on as if by polling.
        fall_back_to_polling(directories_.front(), os_error_message(errno));
    }
    if (stop_requested()) wake.stop = true;
    for (nfds_t i = 0; i < count; ++i) {
        if (watched[i].revents == 0) continue;
        if (watched[i].fd == STDOUT_FILENO) wake.reader_gone = true;
        if (watched[i].fd == inotify_) read_events(wake);
    }
    if (Clock::now() >= next_relist_) relist(wake, lowest);
    return wake;
}

void StoreWatch::read_events(Wake& wake) {
    alignas(inotify_event) std::array<char, 64 * 1024> buffer;
    for (;;) {
        const ssize_t got = ::read(inotify_, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        for (std::size_t offset = 0; offset < static_cast<std::size_t>(got);) {
            inotify_event header;
            std::memcpy(&header, buffer.data() + offset, sizeof header);
            const char* name = buffer.data() + offset + sizeof header;
            offset += sizeof header + header.len;
            const int watch = header.wd;
            const std::uint32_t mask = header.mask;
            if (mask & IN_Q_OVERFLOW) {
                // Events were lost: list both directories now, and again once
                // records written meanwhile have settled.
                next_relist_ = Clock::now();
                continue;
            }
            const auto directory = std::find_if(directories_.begin(), directories_.end(),
                                                [watch](const Directory& d) { return d.watch == watch; });
            if (directory == directories_.end()) continue;
            if (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                if (!directory->gone) {
                    note_("Warning: the " + std::string(StoreLayout::noun(directory->kind)) + " directory " +
                          utf8::to_text_lossy(layout_.directory(directory->kind)) +
                          " was removed or renamed; waiting for it to appear again");
                }
                ::inotify_rm_watch(inotify_, directory->watch);
                directory->watch = -1;
                directory->gone = true;
                next_relist_ = std::min(next_relist_, Clock::now() + POLL_INTERVAL);
                continue;
            }
            if (header.len == 0) continue;
            const auto height = height_of_file_name(std::string_view(name), layout_.suffix(directory->kind));
            if (!height) continue;
            if (mask & IN_CREATE) {
                // A new name is a finished record only when it is a link to
                // one; a file created here is still being written.
                struct stat status {};
                const std::string path = layout_.path(directory->kind, *height);
                if (::lstat(path.c_str(), &status) != 0) continue;
                if (!S_ISLNK(status.st_mode) && status.st_nlink < 2) continue;
            }
            wake.written.push_back({directory->kind, *height});
        }
    }
}

std::vector<WrittenRecord> StoreWatch::present_records(std::uint64_t lowest) const {
    std::vector<WrittenRecord> found;
    for (const Directory& directory : directories_) {
        const Listed listed = list_finished(directory, lowest, Settling::Ignored);
        found.insert(found.end(), listed.finished.begin(), listed.finished.end());
    }
    return found;
}

StoreWatch::Listed StoreWatch::list_finished(const Directory& directory, std::uint64_t lowest, Settling settling) const {
    Listed listed;
    const auto heights = list_heights(layout_.directory(directory.kind), layout_.suffix(directory.kind), lowest);
    if (!heights) return listed;
    const auto settled_before = std::chrono::system_clock::now() - SETTLED_AFTER;
    for (const std::uint32_t height : *heights) {
        const std::string path = layout_.path(directory.kind, height);
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0) {
            // Not a file that can be read, nor one that is being written.
            listed.finished.push_back({directory.kind, height});
            continue;
        }
        // A block file is finished at its full size (a shorter one waits for
        // its writer, or for the node to move past it); a torrent record,
        // whose size varies, once it has not changed for a while.
        const bool finished = directory.kind == RecordKind::Block
                                  ? !S_ISREG(status.st_mode) || static_cast<std::uint64_t>(status.st_size) >= BLOCK_FILE_SIZE
                                  : settling == Settling::Ignored || modified_time(status) < settled_before;
        if (finished) {
            listed.finished.push_back({directory.kind, height});
        } else {
            listed.unsettled = true;
        }
    }
    return listed;
}

void StoreWatch::relist(Wake& wake, std::uint64_t lowest) {
    next_relist_ = polling_ ? Clock::now() + POLL_INTERVAL : Clock::time_point::max();
    for (Directory& directory : directories_) {
        if (directory.gone) {
            struct stat status {};
            if (::stat(layout_.directory(directory.kind).c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
                next_relist_ = std::min(next_relist_, Clock::now() + POLL_INTERVAL);
                continue;
            }
            directory.gone = false;
            if (inotify_ >= 0 && !polling_) watch_directory(directory);
        }
        const Listed listed = list_finished(directory, lowest, Settling::Awaited);
        wake.written.insert(wake.written.end(), listed.finished.begin(), listed.finished.end());
        // Records still being written are looked at again once settled.
        if (listed.unsettled) {
            next_relist_ = std::min(next_relist_, Clock::now() + SETTLED_AFTER + std::chrono::milliseconds(100));
        }
    }
}

}  // namespace quorvane

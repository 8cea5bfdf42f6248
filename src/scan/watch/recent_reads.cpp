#include "scan/watch/recent_reads.hpp"

#include <sys/stat.h>
#include <time.h>

#include "common/file_reading.hpp"

namespace quorvane {

FileTime file_clock_now() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return FileTime{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

RecentReads::Signature RecentReads::signature_of(RecordKind kind, std::uint32_t height) const {
    const std::string path = layout_.path(kind, height);
    struct stat status {};
    if (nul_in_file_name(path) || ::stat(path.c_str(), &status) != 0) return {};
    return {true, status.st_ino, status.st_size, FileTime{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec};
}

RecentReads::Signatures RecentReads::signatures_of(std::uint32_t height) const {
    return {signature_of(RecordKind::Block, height), signature_of(RecordKind::Torrent, height)};
}

void RecentReads::note_heights(std::uint32_t first, std::uint32_t last) {
    const std::uint32_t kept_from = last - first >= KEPT ? static_cast<std::uint32_t>(last - KEPT + 1) : first;
    for (std::uint64_t h = kept_from; h <= last; ++h) note_height(static_cast<std::uint32_t>(h));
}

void RecentReads::note_height(std::uint32_t height) {
    if (signatures_.insert_or_assign(height, signatures_of(height)).second) order_.push_back(height);
    if (order_.size() > KEPT) {
        signatures_.erase(order_.front());
        order_.pop_front();
    }
}

void RecentReads::note_window(std::uint32_t first, std::uint32_t last, FileTime started) {
    windows_.push_back({first, last, started});
    if (windows_.size() > KEPT) windows_.pop_front();
}

bool RecentReads::unchanged_since_read(std::uint32_t height) const {
    if (const auto kept = signatures_.find(height); kept != signatures_.end()) return kept->second == signatures_of(height);
    for (auto window = windows_.rbegin(); window != windows_.rend(); ++window) {
        if (height < window->first || height > window->last) continue;
        for (const RecordKind kind : RECORD_KINDS) {
            const Signature now = signature_of(kind, height);
            if (now.present && now.modified >= window->started) return false;
        }
        return true;
    }
    return false;
}

}  // namespace quorvane

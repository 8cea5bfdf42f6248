// Drops the page cache's copy of every file below the given directories, as
// `vmtouch -e` does: posix_fadvise(POSIX_FADV_DONTNEED) on each, which needs
// no privilege. Directories and inodes stay cached.
//   evict_files DIR...

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>

int main(int argc, char** argv) {
    std::uint64_t files = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
            if (!entry.is_regular_file()) continue;
            const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) continue;
            if (::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0) ++files;
            ::close(fd);
        }
    }
    if (files == 0) {
        std::cerr << "evict_files: no file evicted\n";
        return 1;
    }
    return 0;
}

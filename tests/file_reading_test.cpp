#include "common/file_reading.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <string>
#include <utility>
#include <thread>
#include <vector>

#include "support/cli_harness.hpp"

namespace quorvane {
namespace {

// A pipe whose writer sends `size` bytes and then closes, opened again by
// name as a reader would open a FIFO.
class FeedingPipe {
public:
    explicit FeedingPipe(std::size_t size) {
        if (::pipe(fds_) != 0) throw std::runtime_error("pipe failed");
        writer_ = std::thread([this, size] {
            const std::string chunk(4096, 'x');
            std::size_t left = size;
            bool first = true;
            while (left > 0) {
                const ssize_t wrote = ::write(fds_[1], chunk.data(), std::min(left, chunk.size()));
                if (wrote <= 0) break;
                left -= static_cast<std::size_t>(wrote);
                // The reader then sees a short read that is not the end.
                if (std::exchange(first, false)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            ::close(fds_[1]);
        });
    }
    ~FeedingPipe() {
        writer_.join();
        ::close(fds_[0]);
    }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fds_[0]); }

private:
    int fds_[2]{};
    std::thread writer_;
};

TEST(FileReading, CountsWhatAPipeCarriesUpToTheLimit) {
    struct Case {
        std::size_t size;
        std::uint64_t limit;
        std::uint64_t at_least;
        std::uint64_t at_most;
    };
    const std::vector<Case> cases = {
        {0, 1 << 20, 0, 0},
        {1, 1 << 20, 1, 1},
        {65536, 1 << 20, 65536, 65536},
        {65537, 1 << 20, 65537, 65537},
        {200000, 1 << 20, 200000, 200000},
        {200000, 1000, 1001, 1000 + 65536},  // stops soon after the limit
    };
    for (const auto& c : cases) {
        FeedingPipe pipe(c.size);
        auto file = ReadOnlyFile::open(pipe.path());
        ASSERT_TRUE(file.has_value());
        const auto counted = file->count_remaining(c.limit);
        ASSERT_TRUE(counted.has_value());
        EXPECT_GE(*counted, c.at_least) << c.size;
        EXPECT_LE(*counted, c.at_most) << c.size;
        if (c.size > *counted) {
            // The rest is left to the writer; drain it so that it can finish.
            (void)file->count_remaining(UINT64_MAX);
        }
    }
}

TEST(FileReading, ReadsWholeFilesUpToTheLimit) {
    struct Case {
        std::string name;
        bool through_pipe;
        std::size_t size;
        std::size_t limit;
        bool fits;
    };
    const std::vector<Case> cases = {
        {"pipe of more than 16 KiB", true, 40000, 1 << 20, true},
        {"pipe at the limit", true, 5000, 5000, true},
        {"pipe one byte over", true, 5001, 5000, false},
        {"empty pipe", true, 0, 5000, true},
        {"file at the limit", false, 5000, 5000, true},
        {"file one byte over", false, 5001, 5000, false},
        {"empty file", false, 0, 5000, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::expected<std::string, IoError> content;
        if (c.through_pipe) {
            FeedingPipe pipe(c.size);
            content = read_whole_file(pipe.path(), c.limit, "too long");
            if (!content) {
                auto rest = ReadOnlyFile::open(pipe.path());
                if (rest) (void)rest->count_remaining(UINT64_MAX);
            }
        } else {
            testing::TempDir dir;
            dir.write("file", std::string(c.size, 'x'));
            content = read_whole_file(dir / "file", c.limit, "too long");
        }
        if (c.fits) {
            ASSERT_TRUE(content.has_value()) << content.error().diagnostic();
            EXPECT_EQ(content->size(), c.size);
        } else {
            ASSERT_FALSE(content.has_value());
            EXPECT_EQ(content.error().diagnostic(), R"(Error { kind: InvalidData, message: "too long" })");
        }
    }
}

TEST(FileReading, PathsWithANulByteReachNoSystemCall) {
    const std::string path("/etc/passwd\0x", 13);
    const auto file = ReadOnlyFile::open(path);
    ASSERT_FALSE(file.has_value());
    EXPECT_EQ(file.error().diagnostic(),
              R"(Error { kind: InvalidInput, message: "file name contained an unexpected NUL byte" })");
    EXPECT_FALSE(path_exists(path));
    EXPECT_FALSE(entry_exists(path));
    EXPECT_TRUE(entry_exists("/etc/passwd"));
}

}  // namespace
}  // namespace quorvane

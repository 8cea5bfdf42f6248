// The tools only read: checked under strace, and with record files that are
// not plain files.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_harness.hpp"
#include "support/record_builders.hpp"

namespace quorvane::testing {
namespace {

const std::string CRESTVIEW = CRESTVIEW_BINARY;
const std::string SWARMVIEW = SWARMVIEW_BINARY;
const std::string STRACE = "/usr/bin/strace";

// The part of a strace line after the process id: "openat(AT_FDCWD, ...) = 3".
std::string call_of(const std::string& line) {
    const auto space = line.find(' ');
    return space == std::string::npos ? line : line.substr(line.find_first_not_of(' ', space));
}

std::vector<std::string> forbidden_calls(const std::string& log) {
    std::vector<std::string> problems;
    std::istringstream lines(log);
    std::string line;
    int executions = 0;
    // Coverage builds write their counters at exit; those files are not the tool's doing.
    std::vector<std::string> counter_fds;
    while (std::getline(lines, line)) {
        const std::string call = call_of(line);
        if (call.starts_with("+++") || call.starts_with("---")) continue;
        const std::string name = call.substr(0, call.find('('));
        if (name == "execve") {
            if (++executions > 1) problems.push_back(line);
        } else if (name == "open" || name == "openat" || name == "openat2") {
            if (call.find(".gcda\"") != std::string::npos) {
                counter_fds.push_back(call.substr(call.rfind("= ") + 2));
                continue;
            }
            const bool read_only = call.find("O_RDONLY") != std::string::npos &&
                                   call.find("O_WRONLY") == std::string::npos &&
                                   call.find("O_RDWR") == std::string::npos &&
                                   call.find("O_CREAT") == std::string::npos &&
                                   call.find("O_TRUNC") == std::string::npos;
            if (!read_only) problems.push_back(line);
        } else if (name == "write" || name == "writev" || name == "pwrite64" || name == "pwritev") {
            const std::string fd = call.substr(name.size() + 1, call.find(',') - name.size() - 1);
            const bool to_counters = std::find(counter_fds.begin(), counter_fds.end(), fd) != counter_fds.end();
            if (fd != "1" && fd != "2" && !to_counters) problems.push_back(line);
        } else {
            problems.push_back(line);  // only the calls above were traced as allowed
        }
    }
    if (problems.size() > 5) problems.resize(5);
    return problems;
}

TEST(ReadOnly, ToolsOpenForReadingAndWriteOnlyTheirStreams) {
    if (!std::filesystem::exists(STRACE)) GTEST_SKIP() << "strace is not installed";
#ifdef VIEWERS_SANITIZED
    // Sanitizer runtimes start threads and write to pipes of their own at exit.
    GTEST_SKIP() << "the tools are built with sanitizers; the release build runs this check";
#endif
    const std::string settings = std::string(EXAMPLE_NODE_DIR) + "/settings.ini";
    struct Case {
        std::string tool;
        std::vector<std::string> arguments;
    };
    const std::vector<Case> cases = {
        {CRESTVIEW, {"7", "--config", settings}},
        {CRESTVIEW, {"8", "--config", settings}},
        {CRESTVIEW, {"99", "--config", settings}},
        {SWARMVIEW, {"7", "--config", settings}},
        {SWARMVIEW, {"10", "--config", settings}},
        {SWARMVIEW, {"99", "--config", settings}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string log = dir / "strace.log";
        std::vector<std::string> arguments = {
            "-f", "-qq", "-o", log, "-e",
            "trace=open,openat,openat2,creat,write,writev,pwrite64,pwritev,socket,connect,"
            "clone,clone3,fork,vfork,execve,execveat,rename,renameat,renameat2,unlink,unlinkat,"
            "mkdir,mkdirat,rmdir,truncate,ftruncate,link,linkat,symlink,symlinkat,chmod,fchmod,"
            "fchmodat,chown,fchown,fchownat,mknod,mknodat",
            c.tool};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const auto result = run_program(STRACE, arguments);
        ASSERT_NE(result.status, 126);
        std::ifstream in(log);
        std::stringstream content;
        content << in.rdbuf();
        ASSERT_NE(content.str().find("execve("), std::string::npos) << "strace did not trace";
        EXPECT_EQ(forbidden_calls(content.str()), std::vector<std::string>{}) << c.arguments[0];
    }
}

enum class FileKind { Regular, Symlink, FifoWithoutWriter, Directory, Unreadable };

std::string kind_name(FileKind kind) {
    switch (kind) {
        case FileKind::Regular: return "regular file";
        case FileKind::Symlink: return "symlink";
        case FileKind::FifoWithoutWriter: return "FIFO without a writer";
        case FileKind::Directory: return "directory";
        case FileKind::Unreadable: return "unreadable file";
    }
    return "?";
}

// Puts a record at `path` in the given form.
void place(const TempDir& dir, const std::string& relative, FileKind kind, const std::string& content) {
    const std::string path = dir / relative;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    switch (kind) {
        case FileKind::Regular:
        case FileKind::Unreadable:
            dir.write(relative, content);
            if (kind == FileKind::Unreadable) ::chmod(path.c_str(), 0);
            break;
        case FileKind::Symlink:
            dir.write("elsewhere/record", content);
            std::filesystem::create_symlink(dir / "elsewhere/record", path);
            break;
        case FileKind::FifoWithoutWriter:
            ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
            break;
        case FileKind::Directory:
            std::filesystem::create_directories(path);
            break;
    }
}

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

RunResult run_on(const std::string& tool, const TempDir& dir, bool unprivileged) {
    RunOptions options;
    options.working_directory = dir.path();
    options.unprivileged = unprivileged;
    const std::string program = unprivileged ? open_node_to_others(tool, dir) : tool;
    auto result = run_program(program, {"7", "--config", dir / "settings.ini"}, options);
    // A coverage build run as another user cannot store its counters and says so.
    std::string kept;
    std::istringstream lines(result.err);
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("profiling:")) kept += line + "\n";
    }
    result.err = kept;
    return result;
}

void expect_outcomes(const std::string& tool, const std::string& relative, const std::string& content,
                     const std::vector<std::pair<FileKind, Outcome>>& cases) {
    for (const auto& [kind, expected] : cases) {
        TempDir dir;
        dir.write("settings.ini", valid_settings_text());
        place(dir, relative, kind, content);
        const bool unprivileged = kind == FileKind::Unreadable;
        const auto result = run_on(tool, dir, unprivileged);
        EXPECT_EQ(result.status, expected.status) << kind_name(kind);
        EXPECT_EQ(result.out, expected.out) << kind_name(kind);
        EXPECT_EQ(result.err, expected.err) << kind_name(kind);
    }
}

const std::string PERMISSION_DENIED = R"(Os { code: 13, kind: PermissionDenied, message: "Permission denied" })";
const std::string IS_A_DIRECTORY = R"(Os { code: 21, kind: IsADirectory, message: "Is a directory" })";

TEST(SpecialFiles, CrestviewTreatsEachKindOfBlockFileSoundly) {
    const std::string content = as_text(block_file(worked_example_header(), zero_proof()));
    TempDir reference_dir;
    reference_dir.write("settings.ini", valid_settings_text());
    reference_dir.write("blocks/testnet/7.vetq", content);
    const auto reference = run_on(CRESTVIEW, reference_dir, false);
    ASSERT_EQ(reference.status, 0);

    const std::string empty_file =
        R"(Error: Error parsing block: Custom { kind: Other, error: "Invalid Byte Count for Block" })" "\n";
    expect_outcomes(CRESTVIEW, "blocks/testnet/7.vetq", content, {
        {FileKind::Symlink, {0, reference.out, ""}},
        {FileKind::FifoWithoutWriter, {2, "", empty_file}},
        {FileKind::Directory, {2, "", "Error: Error reading block header for height 7: " + IS_A_DIRECTORY + "\n"}},
        {FileKind::Unreadable, {2, "", "Error: Error opening block file for height 7: " + PERMISSION_DENIED + "\n"}},
    });
}

TEST(SpecialFiles, SwarmviewTreatsEachKindOfTorrentFileSoundly) {
    const std::string content = as_text(encode_torrent(worked_example_torrent()));
    TempDir reference_dir;
    reference_dir.write("settings.ini", valid_settings_text());
    reference_dir.write("torrents/testnet/7.torrent", content);
    const auto reference = run_on(SWARMVIEW, reference_dir, false);
    ASSERT_EQ(reference.status, 0);

    expect_outcomes(SWARMVIEW, "torrents/testnet/7.torrent", content, {
        {FileKind::Symlink, {0, reference.out, ""}},
        {FileKind::FifoWithoutWriter, {1, "", "Failed to parse torrent: Invalid Torrent Byte Count\n"}},
        {FileKind::Directory, {1, "", "Error: " + IS_A_DIRECTORY + "\n"}},
        {FileKind::Unreadable, {1, "", "Error: " + PERMISSION_DENIED + "\n"}},
    });
}

TEST(SpecialFiles, SwarmviewReadsAFifoLikeAFile) {
    for (const std::size_t size : {std::size_t{162}, std::size_t{1} << 20}) {
        TempDir dir;
        dir.write("settings.ini", valid_settings_text());
        place(dir, "torrents/testnet/7.torrent", FileKind::FifoWithoutWriter, "");
        std::string content = as_text(encode_torrent(worked_example_torrent()));
        content.resize(size, '\0');
        // The test holds the FIFO open (read-write, which never blocks) from
        // before the tool starts, so the tool always finds a writer; once the
        // tool has drained everything written, closing it gives the tool EOF.
        const int fd = ::open((dir / "torrents/testnet/7.torrent").c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        std::thread writer([&] {
            std::size_t written = 0;
            while (written < content.size()) {
                const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
                if (n <= 0) break;
                written += static_cast<std::size_t>(n);
            }
            int unread = 1;
            for (int wait = 0; wait < 10000 && unread > 0; ++wait) {
                if (::ioctl(fd, FIONREAD, &unread) != 0) break;
                if (unread > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            ::close(fd);
        });
        const auto result = run_on(SWARMVIEW, dir, false);
        writer.join();
        if (size == 162) {
            EXPECT_EQ(result.status, 0);
            EXPECT_NE(result.out.find("\"mined_by\": "), std::string::npos);
        } else {
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.err, "Failed to parse torrent: Invalid Torrent piece section length\n");
        }
    }
}

}  // namespace
}  // namespace quorvane::testing

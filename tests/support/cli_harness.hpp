#pragma once

// Runs the built tools as a user would and captures what they print.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::testing {

struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

struct RunOptions {
    std::filesystem::path working_directory;           // empty: the test's own
    std::map<std::string, std::optional<std::string>> environment;  // nullopt: unset
    std::optional<std::string> argv0;                  // default: the binary path
    std::optional<std::string> stdout_path;            // e.g. /dev/full
    bool unprivileged = false;  // when run as root, drop to user and group 65534 (nobody)
};

// Whether permission checks apply to the tools as run (false for root
// without `unprivileged`).
bool running_as_root();

// Lets the unprivileged user reach everything in the node but what a test
// made unreadable on purpose (mode 0), whatever the umask and wherever the
// build tree lies: the tool is copied into the node, and the copy returned.
class TempDir;
std::string open_node_to_others(const std::string& tool, const TempDir& dir);

// SETTINGS_PATH is removed from the environment unless the options set it.
RunResult run_program(const std::string& binary, const std::vector<std::string>& arguments,
                      const RunOptions& options = {});

// A tool running in the background, with its standard output and error read
// as they come, so that a test can act when a line appears. Killed, if still
// running, when it goes out of scope.
class BackgroundRun {
public:
    BackgroundRun(const std::string& binary, const std::vector<std::string>& arguments);
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // Waits until standard output (or error) holds `text`, for at most
    // `timeout_seconds`; false when it never did.
    bool wait_for_out(const std::string& text, int timeout_seconds = 20);
    bool wait_for_err(const std::string& text, int timeout_seconds = 20);
    void signal(int number) const;
    int pid() const { return pid_; }
    // Waits for the end (killing the tool after `timeout_seconds`) and returns
    // everything it printed.
    RunResult finish(int timeout_seconds = 20);
    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    bool wait_for(const std::string& stream, const std::string& text, int timeout_seconds);
    // Reads what is there, waiting at most `milliseconds`; false once both streams ended.
    bool pump(int milliseconds);

    int pid_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    std::string out_;
    std::string err_;
    int status_ = -1;
};

// The lines of a text, without their line ends.
std::vector<std::string> lines_of(const std::string& text);

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string operator/(std::string_view relative) const { return (path_ / relative).string(); }

    // Writes a file, creating its directories.
    void write(std::string_view relative, std::string_view content) const;

private:
    std::filesystem::path path_;
};

// A complete, valid settings file; `overrides` replaces whole lines by key
// ("Paths.BLOCK_PATH" -> "BLOCK_PATH = /abs") or drops them (empty text).
std::string valid_settings_text(const std::map<std::string, std::string>& overrides = {});

}  // namespace quorvane::testing

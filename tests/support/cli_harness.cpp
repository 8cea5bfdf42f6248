#include "support/cli_harness.hpp"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace quorvane::testing {

namespace {

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace

RunResult run_program(const std::string& binary, const std::vector<std::string>& arguments,
                      const RunOptions& options) {
    TempDir capture;
    const std::string out_path = options.stdout_path.value_or(capture / "stdout");
    const std::string err_path = capture / "stderr";

    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const auto equals = text.find('=');
        if (equals != std::string::npos) environment[text.substr(0, equals)] = text.substr(equals + 1);
    }
    environment.erase("SETTINGS_PATH");
    for (const auto& [name, value] : options.environment) {
        if (value) {
            environment[name] = *value;
        } else {
            environment.erase(name);
        }
    }
    std::vector<std::string> env_texts;
    for (const auto& [name, value] : environment) env_texts.push_back(name + "=" + value);

    std::vector<std::string> argv_texts{options.argv0.value_or(binary)};
    argv_texts.insert(argv_texts.end(), arguments.begin(), arguments.end());

    std::vector<char*> argv;
    for (auto& text : argv_texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& text : env_texts) envp.push_back(text.data());
    envp.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        if (!options.working_directory.empty() && ::chdir(options.working_directory.c_str()) != 0) {
            ::_exit(126);
        }
        const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) ::_exit(126);
        if (options.unprivileged && ::geteuid() == 0) {
            constexpr id_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
                ::_exit(126);
            }
        }
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execve(binary.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    int wait_status = 0;
    ::waitpid(child, &wait_status, 0);

    RunResult result;
    if (WIFEXITED(wait_status)) {
        result.status = WEXITSTATUS(wait_status);
    } else if (WIFSIGNALED(wait_status)) {
        result.status = 128 + WTERMSIG(wait_status);
    }
    if (!options.stdout_path) result.out = slurp(out_path);
    result.err = slurp(err_path);
    return result;
}

BackgroundRun::BackgroundRun(const std::string& binary, const std::vector<std::string>& arguments) {
    int out_pipe[2];
    int err_pipe[2];
    if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> argv_texts{binary};
    argv_texts.insert(argv_texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& text : argv_texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(out_pipe[1], 1);
        ::dup2(err_pipe[1], 2);
        ::unsetenv("SETTINGS_PATH");
        ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    out_fd_ = out_pipe[0];
    err_fd_ = err_pipe[0];
}

BackgroundRun::~BackgroundRun() {
    if (status_ < 0 && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (out_fd_ >= 0) ::close(out_fd_);
    if (err_fd_ >= 0) ::close(err_fd_);
}

bool BackgroundRun::pump(int milliseconds) {
    pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
    if (out_fd_ < 0 && err_fd_ < 0) return false;
    if (::poll(fds, 2, milliseconds) <= 0) return true;
    char buffer[65536];
    for (auto [fd, text] : {std::pair{&out_fd_, &out_}, std::pair{&err_fd_, &err_}}) {
        const pollfd& polled = fd == &out_fd_ ? fds[0] : fds[1];
        if (*fd < 0 || polled.revents == 0) continue;
        const ssize_t got = ::read(*fd, buffer, sizeof buffer);
        if (got > 0) {
            text->append(buffer, static_cast<std::size_t>(got));
        } else {
            ::close(*fd);
            *fd = -1;
        }
    }
    return out_fd_ >= 0 || err_fd_ >= 0;
}

bool BackgroundRun::wait_for(const std::string& stream, const std::string& text, int timeout_seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    const std::string& seen = stream == "out" ? out_ : err_;
    while (seen.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (!pump(100)) return seen.find(text) != std::string::npos;
    }
    return true;
}

bool BackgroundRun::wait_for_out(const std::string& text, int timeout_seconds) {
    return wait_for("out", text, timeout_seconds);
}

bool BackgroundRun::wait_for_err(const std::string& text, int timeout_seconds) {
    return wait_for("err", text, timeout_seconds);
}

void BackgroundRun::signal(int number) const { ::kill(pid_, number); }

RunResult BackgroundRun::finish(int timeout_seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    while (pump(100)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
        }
    }
    int wait_status = 0;
    ::waitpid(pid_, &wait_status, 0);
    status_ = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    return RunResult{status_, out_, err_};
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool running_as_root() { return ::geteuid() == 0; }

// Lets the unprivileged user reach everything in the node but what a test
// made unreadable on purpose (mode 0), whatever the umask and wherever the
// build tree lies: the tool itself is copied into the node.
std::string open_node_to_others(const std::string& tool, const TempDir& dir) {
    namespace fs = std::filesystem;
    const std::string copy = dir / "bin/tool";
    fs::create_directories(dir / "bin");
    fs::copy_file(tool, copy, fs::copy_options::overwrite_existing);
    const auto readable = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const auto passable = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    fs::permissions(dir.path(), readable | passable, fs::perm_options::add);
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        if (entry.is_symlink()) continue;
        const auto mode = fs::symlink_status(entry.path()).permissions();
        if (mode == fs::perms::none) continue;
        const bool passes = entry.is_directory() || entry.path() == copy;
        fs::permissions(entry.path(), passes ? readable | passable : readable, fs::perm_options::add);
    }
    return copy;
}


TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "viewers-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Directories made unreadable by a test must not keep their contents alive.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(
             path_, std::filesystem::directory_options::skip_permission_denied, ignored)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
}

void TempDir::write(std::string_view relative, std::string_view content) const {
    const auto target = path_ / relative;
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + target.string());
}

std::string valid_settings_text(const std::map<std::string, std::string>& overrides) {
    const std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>
        sections = {
            {"Quorvane", {{"QUORVANE_NETWORK", "testnet"}}},
            {"Settings",
             {{"THREADS", "4"},
              {"PUBLIC_IP", "127.0.0.1"},
              {"RPC_PORT", "9650"},
              {"TESTNET_RPC_PORT", "19650"},
              {"OUTGOING_CONNECTIONS", "8"},
              {"INCOMING_CONNECTIONS", "16"}}},
            {"Paths",
             {{"BLOCK_PATH", "blocks"},
              {"TORRENT_PATH", "torrents"},
              {"DB_PATH", "db"},
              {"WALLET_PATH", "wallets"},
              {"WALLET_NAME", "main.wallet"},
              {"BALANCE_SHEET", "balances"}}},
            {"Postgres-Testnet", {{"user", "quorvane"}, {"dbname", "quorvane_testnet"}}},
        };
    std::string text;
    for (const auto& [section, keys] : sections) {
        text += "[" + section + "]\n";
        for (const auto& [key, value] : keys) {
            const auto replaced = overrides.find(section + "." + key);
            if (replaced == overrides.end()) {
                text += key + " = " + value + "\n";
            } else if (!replaced->second.empty()) {
                text += replaced->second + "\n";
            }
        }
        const auto added = overrides.find(section + ".+");
        if (added != overrides.end()) text += added->second + "\n";
    }
    return text;
}

}  // namespace quorvane::testing

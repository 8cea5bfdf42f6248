#include "scan/watch/stop_signals.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <optional>

#include "common/io_error.hpp"

namespace quorvane {

namespace {

std::atomic<bool> requested{false};
int pipe_ends[2] = {-1, -1};

extern "C" void on_stop_signal(int signal_number) {
    const int saved = errno;
    if (requested.exchange(true) && signal_number == SIGINT) {
        ::signal(SIGINT, SIG_DFL);
        ::raise(SIGINT);
    }
    const char byte = 's';
    (void)!::write(pipe_ends[1], &byte, 1);
    errno = saved;
}

}  // namespace

std::expected<void, std::string> install_stop_signals() {
    std::optional<std::string> no_pipe;
    if (pipe_ends[0] < 0 && ::pipe2(pipe_ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        no_pipe = os_error_message(errno);
        pipe_ends[0] = pipe_ends[1] = -1;
    }
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    // Calls that a signal interrupts are made again where the system can.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    if (no_pipe) return std::unexpected(*no_pipe);
    return {};
}

bool stop_requested() { return requested.load(); }

int stop_descriptor() { return pipe_ends[0]; }

}  // namespace quorvane

#include "common/tool_entry.hpp"

#include <malloc.h>
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "common/process_arguments.hpp"

namespace quorvane {

namespace {

BrokenPipe broken_pipe_rule = BrokenPipe::Reported;

// Under BrokenPipe::EndsRun, a write that found its reader gone ends the run.
void end_if_reader_gone(const std::expected<void, IoError>& written) {
    if (written || broken_pipe_rule != BrokenPipe::EndsRun) return;
    const auto* os = std::get_if<IoError::Os>(&written.error().shape());
    if (os != nullptr && os->code == EPIPE) end_by_broken_pipe();
}

}  // namespace

void start_tool(int argc, const char* const* argv, BrokenPipe broken_pipe) {
    // Ignored either way, so that the first write that finds the reader gone
    // is seen here, before any other thread can read further.
    std::signal(SIGPIPE, SIG_IGN);
    broken_pipe_rule = broken_pipe;
    // The settings are loaded again and again within one short run: keep
    // freed memory for the next load instead of returning it to the system
    // and faulting it in afresh each time.
    ::mallopt(M_MMAP_THRESHOLD, 64 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 128 << 20);
    record_process_arguments(argc, argv);
}

void print(Stream stream, std::string_view text) {
    if (const auto written = write_all(stream, text); !written) stop_on_failed_write(stream, written.error());
}

void stop_on_failed_write(Stream stream, const IoError& error) {
    end_if_reader_gone(std::unexpected(error));
    fatal_stop("failed printing to " + std::string(stream_name(stream)) + ": " + error.message());
}

void fatal_stop(std::string_view text) {
    std::string line = "Error: ";
    line += text;
    line += '\n';
    // Standard error is the last place left to report to; if it fails too
    // the exit status still tells.
    end_if_reader_gone(write_all(Stream::Stderr, line));
    std::exit(EXIT_STATUS_FATAL);
}

void end_by_broken_pipe() {
    std::signal(SIGPIPE, SIG_DFL);
    sigset_t pipe_only;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    pthread_sigmask(SIG_UNBLOCK, &pipe_only, nullptr);
    // Directed at this thread, so the process dies here and now.
    ::raise(SIGPIPE);
    std::_Exit(128 + SIGPIPE);  // only if the signal could not end it
}

int report_usage(std::string_view program) {
    std::string line = "Usage: ";
    line += program;
    line += " <block_number>\n";
    print(Stream::Stderr, line);
    return EXIT_STATUS_FAILURE;
}

int report_error(std::string_view text) {
    std::string line = "Error: ";
    line += text;
    line += '\n';
    print(Stream::Stderr, line);
    return EXIT_STATUS_FAILURE;
}

std::optional<std::uint32_t> parse_block_height(std::string_view text) {
    if (text.starts_with('+')) text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > UINT32_MAX) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

int finish_flow(const std::expected<void, IoError>& outcome) {
    if (outcome) return EXIT_STATUS_SUCCESS;
    return report_error(outcome.error().diagnostic());
}

int finish_flow(const std::expected<void, FlowError>& outcome) {
    if (outcome) return EXIT_STATUS_SUCCESS;
    if (const auto* error = std::get_if<IoError>(&outcome.error())) {
        return report_error(error->diagnostic());
    }
    return EXIT_STATUS_FAILURE;
}

}  // namespace quorvane

#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "common/io_error.hpp"
#include "common/output.hpp"

namespace quorvane {

inline constexpr int EXIT_STATUS_SUCCESS = 0;
// Usage errors, invalid block numbers, --config without a path, and errors
// that a flow returns.
inline constexpr int EXIT_STATUS_FAILURE = 1;
// Failures that stop a flow at once.
inline constexpr int EXIT_STATUS_FATAL = 2;

inline constexpr std::string_view INVALID_BLOCK_NUMBER =
    "The provided block number must be a valid unsigned 32-bit integer.";

// What a write to a pipe whose reader has gone does.
enum class BrokenPipe {
    Reported,  // a failed write like any other: "failed printing to ...", fatal status
    EndsRun,   // the run ends at once, quietly, as if killed by SIGPIPE (as cat and find do)
};

// Ignores SIGPIPE (so a closed pipe shows as a failed write, not a silent
// death) and records the command line for the settings loader.
void start_tool(int argc, const char* const* argv, BrokenPipe broken_pipe = BrokenPipe::Reported);

// Writes text to a stream; a failed write is a fatal stop (or, for a reader
// that has gone under BrokenPipe::EndsRun, the end of the run by SIGPIPE).
void print(Stream stream, std::string_view text);

// A failed write as print() takes it: the end of the run by SIGPIPE for a
// reader that has gone under BrokenPipe::EndsRun, a fatal stop otherwise.
[[noreturn]] void stop_on_failed_write(Stream stream, const IoError& error);

// Ends the process as SIGPIPE's default action would: status 141 in a shell.
[[noreturn]] void end_by_broken_pipe();

// Writes "Error: " + text to standard error and ends the process with the
// fatal status.
[[noreturn]] void fatal_stop(std::string_view text);

// Writes the usage line for `program` and returns the failure status.
int report_usage(std::string_view program);

// Writes "Error: " + text and returns the failure status.
int report_error(std::string_view text);

// A decimal unsigned 32-bit block height: one optional leading "+", digits
// only, leading zeros allowed.
std::optional<std::uint32_t> parse_block_height(std::string_view text);

// A failure that the flow has already reported in its own words.
struct ReportedFailure {};
using FlowError = std::variant<IoError, ReportedFailure>;

// Exit status for a flow's outcome, reporting a returned I/O error as
// "Error: " and its diagnostic form.
int finish_flow(const std::expected<void, IoError>& outcome);
int finish_flow(const std::expected<void, FlowError>& outcome);

}  // namespace quorvane

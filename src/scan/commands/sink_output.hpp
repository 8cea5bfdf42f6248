#pragma once

// Where a sink's text goes. A sink is handed its output and returns a
// failed write as a value; the flow that runs it turns that into the
// message and exit status.

#include <expected>
#include <string_view>

#include "common/io_error.hpp"
#include "common/output.hpp"
#include "scan/views/progress_line.hpp"

namespace quorvane {

struct WriteFailure {
    Stream stream;
    IoError error;
};

using Written = std::expected<void, WriteFailure>;
// A run's end: its exit status, or the write that failed.
using Finished = std::expected<int, WriteFailure>;

class SinkOutput {
public:
    virtual ~SinkOutput() = default;
    virtual Written write(Stream stream, std::string_view text) = 0;
    // Before the closing output: the progress line goes for good.
    virtual void end_progress() {}
};

// The process's standard output and error, the progress line erased
// whenever text would land on the same terminal.
class StandardOutput final : public SinkOutput {
public:
    explicit StandardOutput(ProgressLine& progress) : progress_(progress) {}
    Written write(Stream stream, std::string_view text) override;
    void end_progress() override { progress_.hide(); }

private:
    ProgressLine& progress_;
};

// The exit status of a run, or for a failed write the run's end as print()
// ends it ("failed printing to stdout: ..." and the fatal status, or as if
// killed by SIGPIPE when the reader has gone).
int exit_status(const Finished& finished);

}  // namespace quorvane

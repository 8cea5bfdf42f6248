#pragma once

// What dump and verify make of the heights they are given, in ascending
// order, a window at a time: the same for a one-shot run and for a run that
// follows the store as it grows.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "scan/store/height_scan.hpp"
#include "scan/views/progress_line.hpp"
#include "scan/commands/run_setup.hpp"
#include "scan/commands/scan_options.hpp"
#include "scan/views/dump_lines.hpp"
#include "scan/views/sql_schema.hpp"

namespace quorvane {

class HeightSink {
public:
    virtual ~HeightSink() = default;

    // The output that comes before any height (the CSV header).
    virtual void begin() {}
    // What the workers read for this command, and what they make of it.
    virtual void configure(ScanPlan& plan) const = 0;
    // Whether a height waits for its torrent record as well as its block.
    virtual bool needs_torrents() const = 0;
    // Heights in ascending order, each once.
    virtual void take(std::span<HeightScan> window) = 0;
    // A height taken before whose records were written again.
    virtual void take_again(const StoreLayout& layout, std::uint32_t height, std::uint64_t next) = 0;
    // Every height through `last` was taken, those without records too.
    virtual void covered(std::uint32_t /*last*/) {}
    // From now on lines go out as soon as they are known.
    virtual void stream() {}
    // The closing output, after the last height taken (none: nothing was);
    // returns the exit status.
    virtual int finish(std::optional<std::uint32_t> last) = 0;
};

// Makes the sink for a run over the range (0-0 when the range holds nothing).
using SinkMaker = std::function<std::unique_ptr<HeightSink>(ProgressLine& progress, HeightRange range)>;

// The store as it stands: every height of the range once, through the sink;
// returns the exit status.
int scan_once(const ScanOptions& options, const char* command, const SinkMaker& make_sink);

// A SQL stream, from `from` on.
std::unique_ptr<HeightSink> sql_sink(SqlEngine engine, const std::string& table, ProgressLine& progress,
                                     std::uint32_t from);

// The sink the command line asks for: dump's JSON Lines, CSV or SQL stream,
// or verify's.
std::unique_ptr<HeightSink> sink_for(const ScanOptions& options, ProgressLine& progress, std::uint32_t from,
                                     std::uint32_t to);

}  // namespace quorvane

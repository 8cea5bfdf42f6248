#pragma once

// What a command makes of the heights it is given, in ascending order, a
// window at a time: the same for a run over the store as it stands and for
// one that follows it as it grows. A sink writes to the output it is handed
// and returns a failed write; it reads no file itself.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "scan/commands/run_setup.hpp"
#include "scan/commands/scan_options.hpp"
#include "scan/commands/sink_output.hpp"
#include "scan/store/height_scan.hpp"
#include "scan/views/dump_lines.hpp"
#include "scan/views/sql_schema.hpp"

namespace quorvane {

class HeightSink {
public:
    virtual ~HeightSink() = default;

    // The output that comes before any height (the CSV header).
    virtual Written begin() { return {}; }
    // What the workers read for this command, and what they make of it.
    virtual void configure(ScanPlan& plan) const = 0;
    // Heights in ascending order, each once.
    virtual Written take(const ScannedWindow& window) = 0;
    // The closing output, after the last height taken (none: nothing was).
    virtual Finished finish(std::optional<std::uint32_t> last) = 0;
    // The run so far through `last` (none: no height yet) as metrics, for a
    // metrics file written at `now`; empty for a command that keeps none.
    virtual std::string metrics(std::optional<std::uint32_t> /*last*/,
                                std::chrono::system_clock::time_point /*now*/) const {
        return {};
    }
};

// Whether a height read again is read with the heights next to it.
enum class Neighbours { Skipped, Read };

// What a sink needs of a height read again.
struct RereadShape {
    TorrentRecord torrent = TorrentRecord::Skipped;
    Neighbours neighbours = Neighbours::Skipped;
};

// A height handled before whose records were written again, read anew with
// its neighbours where the sink asked for them: the one below when it is in
// the range, the one above when it was handled too.
struct RereadHeight {
    HeightScan scan;
    std::optional<HeightScan> below;
    std::optional<HeightScan> above;
};

// A sink that can follow a store as the node writes it.
class FollowSink : public HeightSink {
public:
    // Whether a height waits for its torrent record as well as its block.
    virtual bool needs_torrents() const = 0;
    virtual RereadShape reread_shape() const = 0;
    virtual Written take_again(const RereadHeight& height) = 0;
    // Every height through `last` was taken, those without records too.
    virtual Written covered(std::uint32_t /*last*/) { return {}; }
    // From now on output goes out as soon as it is known.
    virtual Written stream() { return {}; }
};

// How a verify run goes: a followed one keeps what it needs to correct its
// counts when records arrive late.
enum class VerifyRun { Once, Followed };

std::unique_ptr<FollowSink> dump_sink(const DumpShape& shape, SinkOutput& output, std::uint32_t from);
std::unique_ptr<FollowSink> sql_sink(SqlEngine engine, const std::string& table, TorrentTables torrents,
                                     SinkOutput& output, std::uint32_t from);
std::unique_ptr<FollowSink> verify_sink(VerifyForm form, VerifyRun run, SinkOutput& output, HeightRange range);
std::unique_ptr<HeightSink> stats_report_sink(StatsReportForm form, SinkOutput& output, HeightRange range);

// The sink the command line asks for: dump's JSON Lines, CSV or SQL stream,
// or verify's.
std::unique_ptr<FollowSink> sink_for(const ScanOptions& options, SinkOutput& output, HeightRange range);

}  // namespace quorvane

#pragma once

// The metrics a run keeps in a file while it goes on: dump's counts, the
// moment of the update, and, while following, how far the node has written.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace quorvane {

struct DumpTally {
    std::uint64_t records = 0;  // lines or rows written
    std::uint64_t errors = 0;   // records that could not be had

    // Error lines as dump writes them, one a record.
    void count_errors(const std::string& lines);
};

// The heights handled are those from `from` through `to_height`.
std::string dump_metrics(const DumpTally& tally, std::uint32_t from, std::optional<std::uint32_t> to_height,
                         std::chrono::system_clock::time_point updated);

// "chainscan_verify_last_update_timestamp_seconds": when the file was written.
std::string verify_update_metrics(std::chrono::system_clock::time_point updated);

// What the watch saw of the node while following: the highest height it
// has written a record of, and when it last wrote one. Beside the run's
// to_height, they tell a run that falls behind from a node that is quiet.
struct FollowGauges {
    std::optional<std::uint32_t> store_to_height;
    std::optional<std::chrono::system_clock::time_point> last_store_write;
};

std::string follow_metrics(const FollowGauges& gauges);

}  // namespace quorvane

#pragma once

// The Prometheus text exposition format, as node_exporter's textfile
// collector reads it: each family's HELP and TYPE lines, then its samples.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

class MetricsText {
public:
    // `prefix` comes before every name: "chainscan_verify_".
    explicit MetricsText(std::string_view prefix) : prefix_(prefix) {}

    // A family of gauges, its samples to follow.
    void family(std::string_view name, std::string_view help);
    void sample(std::string_view name, std::string_view value, std::string_view labels = {});
    // A family with one sample.
    void gauge(std::string_view name, std::string_view help, std::string_view value);

    const std::string& text() const { return out_; }

private:
    std::string prefix_;
    std::string out_;
};

// A height, or NaN for one that does not exist.
std::string height_value(const std::optional<std::uint32_t>& height);
// Fixed-point seconds to the microsecond; the C locale is never changed here.
std::string seconds_value(double seconds);
// Seconds since the Unix epoch.
std::string timestamp_value(std::chrono::system_clock::time_point when);

}  // namespace quorvane

#include "scan/report/metrics_text.hpp"

#include <cstdio>

namespace quorvane {

void MetricsText::family(std::string_view name, std::string_view help) {
    out_.append("# HELP ").append(prefix_).append(name).append(" ").append(help);
    out_.append("\n# TYPE ").append(prefix_).append(name).append(" gauge\n");
}

void MetricsText::sample(std::string_view name, std::string_view value, std::string_view labels) {
    out_.append(prefix_).append(name).append(labels).append(" ").append(value).append("\n");
}

void MetricsText::gauge(std::string_view name, std::string_view help, std::string_view value) {
    family(name, help);
    sample(name, value);
}

std::string height_value(const std::optional<std::uint32_t>& height) {
    return height ? std::to_string(*height) : "NaN";
}

std::string seconds_value(double seconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

std::string timestamp_value(std::chrono::system_clock::time_point when) {
    return seconds_value(std::chrono::duration<double>(when.time_since_epoch()).count());
}

}  // namespace quorvane

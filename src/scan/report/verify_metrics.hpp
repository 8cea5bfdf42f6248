#pragma once

#include <chrono>
#include <string>

#include "scan/checks/problem_finder.hpp"

namespace quorvane {

// A verify run in the Prometheus text exposition format, for node_exporter's
// textfile collector: every metric with its HELP and TYPE lines, each problem
// code present (0 where there was none), NaN for a height that does not exist.
std::string verify_metrics(const VerifySummary& summary, std::chrono::duration<double> duration,
                           std::chrono::system_clock::time_point finished);

}  // namespace quorvane

#pragma once

// diff's words: a line for each run of differences and a summary, as text
// or as JSON Lines, each with its newline.

#include <string>

#include "scan/checks/store_comparison.hpp"

namespace quorvane {

// "120-149: block differs (this 1a2b…, other 3c4d…)", "7: torrent unreadable".
std::string difference_text(const DifferenceRun& run);
// {"type":"difference","record":"block","code":"differs","from":120,"to":149,"this_hash":…,"other_hash":…}
std::string difference_json(const DifferenceRun& run);

std::string comparison_summary_text(const ComparisonSummary& summary);
std::string comparison_summary_json(const ComparisonSummary& summary);

}  // namespace quorvane

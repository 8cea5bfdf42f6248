#pragma once

// How verify words what it found: a problem as a line of text or of JSON,
// and the closing summary in both forms.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/json.hpp"
#include "scan/checks/problem_finder.hpp"

namespace quorvane {

// "7", or "7-9" for a range.
std::string problem_heights(const Problem& problem);
// What the line says after the code; empty for missing records.
std::string problem_detail(const Problem& problem);
// One line of the report, without its newline.
std::string problem_text(const Problem& problem);
std::string problem_json(const Problem& problem);

// The closing line of the text and JSON Lines reports, with its newline.
std::string summary_text(const VerifySummary& summary);
std::string summary_json(const VerifySummary& summary);
// The codes found, in report order, with how often each was.
std::vector<std::pair<std::string_view, std::uint64_t>> codes_found(const VerifySummary& summary);
// {"<code name>": count, ...}: the codes found.
Json by_code_json(const VerifySummary& summary);

}  // namespace quorvane

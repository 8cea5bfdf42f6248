#include "scan/report/problem_lines.hpp"

#include "common/uint128.hpp"
#include "scan/report/json_lines.hpp"
#include "scan/views/text_forms.hpp"

namespace quorvane {

namespace {

std::string plain(const Json& value) { return value.is_string() ? value.get<std::string>() : compact(value); }

}  // namespace

std::string problem_heights(const Problem& problem) {
    std::string heights = std::to_string(problem.first);
    if (problem.last != problem.first) {
        heights += '-';
        heights += std::to_string(problem.last);
    }
    return heights;
}

std::string problem_detail(const Problem& problem) {
    switch (problem.code) {
        case ProblemCode::BlockMissing:
        case ProblemCode::TorrentMissing:
            return {};
        case ProblemCode::BlockInvalid:
        case ProblemCode::TorrentInvalid:
            return problem.failure ? problem.failure->message() : std::string();
        case ProblemCode::ChainBroken:
            return "previous_hash " + problem.found + " is not the hash of block " + std::to_string(problem.first - 1) +
                   " (" + problem.expected + ")";
        case ProblemCode::TorrentMismatch: {
            std::string detail;
            for (std::size_t i = 0; i < problem.fields.size(); ++i) {
                const auto& field = problem.fields[i];
                if (i > 0) detail += ", ";
                detail += field.field + " (block " + plain(field.block) + ", torrent " + plain(field.torrent) + ")";
            }
            return detail;
        }
    }
    return {};
}

std::string problem_text(const Problem& problem) {
    std::string line = problem_heights(problem) + ": " + std::string(problem_code_name(problem.code));
    const std::string detail = problem_detail(problem);
    if (!detail.empty()) line += ": " + detail;
    return line;
}

std::string problem_json(const Problem& problem) {
    Json line = Json::object();
    line["type"] = "problem";
    line["code"] = std::string(problem_code_name(problem.code));
    switch (problem.code) {
        case ProblemCode::BlockMissing:
        case ProblemCode::TorrentMissing:
            line["from"] = problem.first;
            line["to"] = problem.last;
            break;
        case ProblemCode::BlockInvalid:
        case ProblemCode::TorrentInvalid:
            line["height"] = problem.first;
            line["message"] = problem.failure ? problem.failure->message() : std::string();
            break;
        case ProblemCode::ChainBroken:
            line["height"] = problem.first;
            line["expected"] = problem.expected;
            line["found"] = problem.found;
            break;
        case ProblemCode::TorrentMismatch: {
            line["height"] = problem.first;
            Json fields = Json::array();
            for (const auto& field : problem.fields) {
                Json entry = Json::object();
                entry["field"] = field.field;
                entry["block"] = field.block;
                entry["torrent"] = field.torrent;
                fields.push_back(std::move(entry));
            }
            line["fields"] = std::move(fields);
            break;
        }
    }
    return compact(line);
}

std::vector<std::pair<std::string_view, std::uint64_t>> codes_found(const VerifySummary& summary) {
    std::vector<std::pair<std::string_view, std::uint64_t>> found;
    for (std::size_t i = 0; i < PROBLEM_CODE_COUNT; ++i) {
        if (summary.by_code[i] > 0) found.emplace_back(PROBLEM_CODES[i].name, summary.by_code[i]);
    }
    return found;
}

Json by_code_json(const VerifySummary& summary) {
    Json by_code = Json::object();
    for (const auto& [code, count] : codes_found(summary)) by_code[std::string(code)] = count;
    return by_code;
}

std::string summary_json(const VerifySummary& summary) {
    Json line = Json::object();
    line["type"] = "summary";
    line["from"] = height_or_null(summary.from);
    line["to"] = height_or_null(summary.to);
    line["blocks"] = summary.blocks;
    line["torrents"] = summary.torrents;
    line["problems"] = summary.problems;
    line["by_code"] = by_code_json(summary);
    line["verified_through"] = height_or_null(summary.verified_through);
    line["first_bad_height"] = height_or_null(summary.first_bad_height);
    return compact(line) + "\n";
}

std::string summary_text(const VerifySummary& summary) {
    const std::string counts =
        counted(summary.blocks, "block") + ", " + counted(summary.torrents, "torrent record") + ", ";
    if (!summary.from || !summary.to) return "checked no heights: " + counts + "no problems found\n";
    std::string text = "checked heights " + std::to_string(*summary.from) + "-" + std::to_string(*summary.to) +
                       ": " + counts;
    if (summary.problems == 0) return text + "no problems found\n";
    text += counted(summary.problems, "problem") + " (";
    bool first = true;
    for (const auto& [code, count] : codes_found(summary)) {
        if (!first) text += ", ";
        first = false;
        text += std::string(code) + " " + std::to_string(count);
    }
    text += ")";
    text += summary.verified_through ? "; verified through " + std::to_string(*summary.verified_through)
                                     : "; no height verified";
    return text + "\n";
}

}  // namespace quorvane

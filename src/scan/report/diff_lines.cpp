#include "scan/report/diff_lines.hpp"

#include "common/json.hpp"
#include "scan/report/json_lines.hpp"
#include "scan/store/store_layout.hpp"
#include "scan/views/text_forms.hpp"

namespace quorvane {

namespace {

std::string heights_text(std::uint32_t from, std::uint32_t to) {
    return from == to ? std::to_string(from) : std::to_string(from) + "-" + std::to_string(to);
}

}  // namespace

std::string difference_text(const DifferenceRun& run) {
    std::string line = heights_text(run.from, run.to) + ": " + std::string(StoreLayout::noun(run.record)) + " " +
                       std::string(difference_name(run.code));
    if (run.hashes) line += " (this " + run.hashes->mine + ", other " + run.hashes->theirs + ")";
    return line + "\n";
}

std::string difference_json(const DifferenceRun& run) {
    Json line = Json::object();
    line["type"] = "difference";
    line["record"] = std::string(StoreLayout::noun(run.record));
    line["code"] = std::string(difference_name(run.code));
    line["from"] = run.from;
    line["to"] = run.to;
    if (run.hashes) {
        line["this_hash"] = run.hashes->mine;
        line["other_hash"] = run.hashes->theirs;
    }
    return compact(line) + "\n";
}

std::string comparison_summary_text(const ComparisonSummary& summary) {
    if (!summary.from || !summary.to) return "compared no heights: neither store holds a record in the range\n";
    std::string text = "compared heights " + heights_text(*summary.from, *summary.to) + " (" +
                       counted(summary.heights, "height") + "): " + counted(summary.same_blocks, "block") + " and " +
                       counted(summary.same_torrents, "torrent record") + " the same; ";
    if (!summary.differ()) return text + "no differences\n";
    std::uint64_t total = 0;
    std::string codes;
    for (std::size_t i = 0; i < DIFFERENCE_CODE_COUNT; ++i) {
        total += summary.differences[i];
        if (summary.differences[i] == 0) continue;
        codes.append(codes.empty() ? "" : ", ").append(DIFFERENCE_CODE_NAMES[i]).append(" ");
        codes.append(std::to_string(summary.differences[i]));
    }
    text += counted(total, "difference") + " (" + codes + "); first at " + std::to_string(*summary.first_difference);
    text += summary.agree_through ? ", the stores agree through " + std::to_string(*summary.agree_through)
                                  : ", no height agrees";
    text += summary.fork_height ? "; the chains part at " + std::to_string(*summary.fork_height) : "; no fork";
    return text + "\n";
}

std::string comparison_summary_json(const ComparisonSummary& summary) {
    Json line = Json::object();
    line["type"] = "summary";
    line["from"] = height_or_null(summary.from);
    line["to"] = height_or_null(summary.to);
    line["heights"] = summary.heights;
    line["same_blocks"] = summary.same_blocks;
    line["same_torrents"] = summary.same_torrents;
    Json differences = Json::object();
    for (std::size_t i = 0; i < DIFFERENCE_CODE_COUNT; ++i) {
        differences[std::string(DIFFERENCE_CODE_NAMES[i])] = summary.differences[i];
    }
    line["differences"] = std::move(differences);
    line["first_difference"] = height_or_null(summary.first_difference);
    line["agree_through"] = height_or_null(summary.agree_through);
    line["fork_height"] = height_or_null(summary.fork_height);
    return compact(line) + "\n";
}

}  // namespace quorvane

#include "scan/views/text_forms.hpp"
#include "scan/report/stats_format.hpp"
#include "scan/report/problem_lines.hpp"

#include <cmath>
#include <cstdio>

namespace quorvane {

namespace {

template <class Value>
std::string number_or_none(const std::optional<Value>& value) {
    return value ? std::to_string(*value) : "none";
}

std::string seconds_or_none(const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) + " s" : "none";
}

template <class Value>
Json json_or_null(const std::optional<Value>& value) {
    return value ? Json(*value) : Json(nullptr);
}

std::string timestamp_text(const std::optional<std::uint32_t>& timestamp) {
    return timestamp ? utc_text(*timestamp) + " (" + std::to_string(*timestamp) + ")" : "none";
}

Json timestamp_json(const std::optional<std::uint32_t>& timestamp) {
    if (!timestamp) return nullptr;
    Json value = Json::object();
    value["timestamp"] = *timestamp;
    value["utc"] = utc_text(*timestamp);
    return value;
}

template <class Value>
std::string three(const ValueCounts<Value>& counts) {
    return number_or_none(counts.min()) + " / " + number_or_none(counts.percentile(50)) + " / " +
           number_or_none(counts.max());
}


}  // namespace

std::vector<StatsRow> stats_rows(const ChainStats& s, const VerifySummary& problems) {
    std::vector<StatsRow> rows;
    // A row of the text with the JSON values it stands for, in the JSON's
    // order; a row without text adds to the JSON only.
    const auto row = [&](const char* section, std::string label, std::string text, std::vector<StatsValue> json) {
        rows.push_back({section, std::move(label), std::move(text), std::move(json), true});
    };
    const auto json_only = [&](const char* section, std::vector<StatsValue> json) {
        rows.push_back({section, {}, {}, std::move(json), false});
    };
    const auto spread = [](const std::string& at, const auto& counts) {
        return std::vector<StatsValue>{{at + "/min", json_or_null(counts.min())},
                                       {at + "/median", json_or_null(counts.percentile(50))},
                                       {at + "/max", json_or_null(counts.max())}};
    };
    const std::uint64_t heights = problems.from ? std::uint64_t{s.to} - s.from + 1 : 0;
    row("heights", "range",
        problems.from ? std::to_string(s.from) + " - " + std::to_string(s.to) + " (" + std::to_string(heights) + " heights)"
                      : "none",
        {{"/heights/from", json_or_null(problems.from ? std::optional(s.from) : std::nullopt)},
         {"/heights/to", json_or_null(problems.from ? std::optional(s.to) : std::nullopt)}});
    row("heights", "blocks", std::to_string(s.blocks), {{"/heights/blocks", s.blocks}});
    row("heights", "torrent records", std::to_string(s.torrents), {{"/heights/torrents", s.torrents}});
    row("heights", "missing", std::to_string(s.missing) + " in " + std::to_string(s.gaps) + (s.gaps == 1 ? " gap" : " gaps"),
        {{"/heights/missing", s.missing}, {"/heights/gaps", s.gaps}});

    row("time", "first block", timestamp_text(s.first_timestamp), {{"/time/first", timestamp_json(s.first_timestamp)}});
    row("time", "last block", timestamp_text(s.last_timestamp), {{"/time/last", timestamp_json(s.last_timestamp)}});
    const auto span = s.span_seconds();
    row("time", "span", span ? std::to_string(*span) + " s (" + duration_text(*span) + ")" : "none",
        {{"/time/span_seconds", json_or_null(span)}});
    const std::string interval = "/time/interval_seconds";
    row("time", "intervals", std::to_string(s.intervals.total()), {{interval + "/count", s.intervals.total()}});
    const auto mean = s.interval_mean();
    row("time", "interval mean", mean ? fixed(*mean, 3) + " s" : "none",
        {{interval + "/mean", mean ? Json(std::round(*mean * 1000.0) / 1000.0) : Json(nullptr)}});
    row("time", "interval median", seconds_or_none(s.intervals.percentile(50)),
        {{interval + "/median", json_or_null(s.intervals.percentile(50))}});
    row("time", "interval p10 / p90 / p99",
        number_or_none(s.intervals.percentile(10)) + " / " + number_or_none(s.intervals.percentile(90)) + " / " +
            seconds_or_none(s.intervals.percentile(99)),
        {{interval + "/p10", json_or_null(s.intervals.percentile(10))},
         {interval + "/p90", json_or_null(s.intervals.percentile(90))},
         {interval + "/p99", json_or_null(s.intervals.percentile(99))}});
    row("time", "interval min / max", number_or_none(s.intervals.min()) + " / " + seconds_or_none(s.intervals.max()),
        {{interval + "/min", json_or_null(s.intervals.min())}, {interval + "/max", json_or_null(s.intervals.max())}});
    row("time", "zero or negative", std::to_string(s.zero_or_negative),
        {{interval + "/zero_or_negative", s.zero_or_negative}});

    row("difficulty", "first / last", number_or_none(s.first_difficulty) + " / " + number_or_none(s.last_difficulty),
        {{"/difficulty/first", json_or_null(s.first_difficulty)}, {"/difficulty/last", json_or_null(s.last_difficulty)}});
    row("difficulty", "min / median / max", three(s.difficulties), spread("/difficulty", s.difficulties));
    row("difficulty", "changes", std::to_string(s.difficulty_changes), {{"/difficulty/changes", s.difficulty_changes}});

    row("miners", "distinct", std::to_string(s.miners.distinct()), {{"/miners/distinct", s.miners.distinct()}});
    json_only("miners", {{"/miners/top", Json::array()}});
    std::size_t rank = 0;
    for (const auto& [miner, count] : s.miners.most_common(TOP_MINERS)) {
        Json entry = Json::object();
        entry["miner"] = miner;
        entry["blocks"] = count;
        entry["share_percent"] = rounded_percent(count, s.miners.total());
        const std::string index = std::to_string(rank);
        // Built up, not "#" + text: GCC 12 warns wrongly about the latter.
        std::string label = "#";
        label += std::to_string(++rank);
        row("miners", std::move(label),
            miner + "  " + std::to_string(count) + " (" + percent_text(count, s.miners.total()) + "%)",
            {{"/miners/top/" + index, std::move(entry)}});
    }
    json_only("miners", {{"/miners/by_network", Json::object()}});
    for (const auto& [network, count] : s.networks.counts()) {
        row("miners", "network " + network, std::to_string(count), {{"/miners/by_network/" + network, count}});
    }

    row("torrents", "total length", to_decimal(s.total_length) + " bytes", {{"/torrents/total_length", s.total_length}});
    row("torrents", "pieces min / median / max", three(s.pieces), spread("/torrents/pieces", s.pieces));
    row("torrents", "piece lengths", std::to_string(s.piece_lengths.distinct()) + " distinct",
        {{"/torrents/piece_lengths_distinct", s.piece_lengths.distinct()}});
    json_only("torrents", {{"/torrents/piece_lengths", Json::array()}});
    std::size_t listed = 0;
    for (const auto& [length, count] : s.piece_lengths.most_common(TOP_PIECE_LENGTHS)) {
        Json entry = Json::object();
        entry["piece_length"] = length;
        entry["records"] = count;
        row("torrents", "piece length " + std::to_string(length), std::to_string(count) + (count == 1 ? " record" : " records"),
            {{"/torrents/piece_lengths/" + std::to_string(listed++), std::move(entry)}});
    }

    row("problems", "total", std::to_string(problems.problems), {{"/problems/total", problems.problems}});
    json_only("problems", {{"/problems/by_code", Json::object()}});
    // As verify's summary: only the codes that were found.
    for (const auto& [code, count] : codes_found(problems)) {
        row("problems", std::string(code), std::to_string(count), {{"/problems/by_code/" + std::string(code), count}});
    }
    return rows;
}

std::string stats_text(const ChainStats& stats, const VerifySummary& problems) {
    auto rows = stats_rows(stats, problems);
    std::erase_if(rows, [](const StatsRow& row) { return !row.shown; });
    std::size_t width = 0;
    for (const auto& row : rows) width = std::max(width, row.label.size());
    std::string text;
    std::string section;
    for (const auto& row : rows) {
        if (row.section != section) {
            section = row.section;
            text += section + '\n';
        }
        text += "  " + row.label + std::string(width - row.label.size() + 2, ' ') + row.value + '\n';
    }
    return text;
}

std::string stats_json(const ChainStats& stats, const VerifySummary& problems) {
    Json out = Json::object();
    for (const auto& row : stats_rows(stats, problems)) {
        for (const auto& [pointer, value] : row.json) out[Json::json_pointer(pointer)] = value;
    }
    return out.dump(JSON_INDENT) + '\n';
}

}  // namespace quorvane

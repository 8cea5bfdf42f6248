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

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Rounded to two decimals and printed as such in JSON as well.
double rounded_percent(std::uint64_t part, std::uint64_t whole) {
    if (whole == 0) return 0;
    return std::round(static_cast<double>(part) * 10000.0 / static_cast<double>(whole)) / 100.0;
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

// The JSON twin of `three`.
template <class Value>
void add_spread(Json& into, const ValueCounts<Value>& counts) {
    into["min"] = json_or_null(counts.min());
    into["median"] = json_or_null(counts.percentile(50));
    into["max"] = json_or_null(counts.max());
}

}  // namespace

std::string percent_text(std::uint64_t part, std::uint64_t whole) {
    return fixed(rounded_percent(part, whole), 2);
}

std::vector<StatsRow> stats_rows(const ChainStats& s, const VerifySummary& problems) {
    std::vector<StatsRow> rows;
    const auto row = [&](const char* section, std::string label, std::string value) {
        rows.push_back({section, std::move(label), std::move(value)});
    };
    const std::uint64_t heights = problems.from ? std::uint64_t{s.to} - s.from + 1 : 0;
    row("heights", "range", problems.from ? std::to_string(s.from) + " - " + std::to_string(s.to) + " (" +
                                                std::to_string(heights) + " heights)"
                                          : "none");
    row("heights", "blocks", std::to_string(s.blocks));
    row("heights", "torrent records", std::to_string(s.torrents));
    row("heights", "missing", std::to_string(s.missing) + " in " + std::to_string(s.gaps) + (s.gaps == 1 ? " gap" : " gaps"));

    row("time", "first block", timestamp_text(s.first_timestamp));
    row("time", "last block", timestamp_text(s.last_timestamp));
    const auto span = s.span_seconds();
    row("time", "span", span ? std::to_string(*span) + " s (" + duration_text(*span) + ")" : "none");
    row("time", "intervals", std::to_string(s.intervals.total()));
    const auto mean = s.interval_mean();
    row("time", "interval mean", mean ? fixed(*mean, 3) + " s" : "none");
    row("time", "interval median", seconds_or_none(s.intervals.percentile(50)));
    row("time", "interval p10 / p90 / p99", number_or_none(s.intervals.percentile(10)) + " / " +
                                                number_or_none(s.intervals.percentile(90)) + " / " +
                                                seconds_or_none(s.intervals.percentile(99)));
    row("time", "interval min / max", number_or_none(s.intervals.min()) + " / " + seconds_or_none(s.intervals.max()));
    row("time", "zero or negative", std::to_string(s.zero_or_negative));

    row("difficulty", "first / last", number_or_none(s.first_difficulty) + " / " + number_or_none(s.last_difficulty));
    row("difficulty", "min / median / max", three(s.difficulties));
    row("difficulty", "changes", std::to_string(s.difficulty_changes));

    row("miners", "distinct", std::to_string(s.miners.distinct()));
    std::size_t rank = 0;
    for (const auto& [miner, count] : s.miners.most_common(TOP_MINERS)) {
        std::string label = "#";
        label += std::to_string(++rank);
        row("miners", std::move(label), miner + "  " + std::to_string(count) + " (" +
                                                          percent_text(count, s.miners.total()) + "%)");
    }
    for (const auto& [network, count] : s.networks.counts()) row("miners", "network " + network, std::to_string(count));

    row("torrents", "total length", to_decimal(s.total_length) + " bytes");
    row("torrents", "pieces min / median / max", three(s.pieces));
    row("torrents", "piece lengths", std::to_string(s.piece_lengths.distinct()) + " distinct");
    for (const auto& [length, count] : s.piece_lengths.most_common(TOP_PIECE_LENGTHS)) {
        row("torrents", "piece length " + std::to_string(length), std::to_string(count) + (count == 1 ? " record" : " records"));
    }

    row("problems", "total", std::to_string(problems.problems));
    // As verify's summary: only the codes that were found.
    for (const auto& [code, count] : codes_found(problems)) row("problems", std::string(code), std::to_string(count));
    return rows;
}

std::string stats_text(const ChainStats& stats, const VerifySummary& problems) {
    const auto rows = stats_rows(stats, problems);
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

std::string stats_json(const ChainStats& s, const VerifySummary& problems) {
    Json out = Json::object();
    Json heights = Json::object();
    heights["from"] = json_or_null(problems.from ? std::optional(s.from) : std::nullopt);
    heights["to"] = json_or_null(problems.from ? std::optional(s.to) : std::nullopt);
    heights["blocks"] = s.blocks;
    heights["torrents"] = s.torrents;
    heights["missing"] = s.missing;
    heights["gaps"] = s.gaps;
    out["heights"] = std::move(heights);

    Json time = Json::object();
    time["first"] = timestamp_json(s.first_timestamp);
    time["last"] = timestamp_json(s.last_timestamp);
    time["span_seconds"] = json_or_null(s.span_seconds());
    Json interval = Json::object();
    interval["count"] = s.intervals.total();
    const auto mean = s.interval_mean();
    interval["mean"] = mean ? Json(std::round(*mean * 1000.0) / 1000.0) : Json(nullptr);
    interval["median"] = json_or_null(s.intervals.percentile(50));
    interval["p10"] = json_or_null(s.intervals.percentile(10));
    interval["p90"] = json_or_null(s.intervals.percentile(90));
    interval["p99"] = json_or_null(s.intervals.percentile(99));
    interval["min"] = json_or_null(s.intervals.min());
    interval["max"] = json_or_null(s.intervals.max());
    interval["zero_or_negative"] = s.zero_or_negative;
    time["interval_seconds"] = std::move(interval);
    out["time"] = std::move(time);

    Json difficulty = Json::object();
    difficulty["first"] = json_or_null(s.first_difficulty);
    difficulty["last"] = json_or_null(s.last_difficulty);
    add_spread(difficulty, s.difficulties);
    difficulty["changes"] = s.difficulty_changes;
    out["difficulty"] = std::move(difficulty);

    Json miners = Json::object();
    miners["distinct"] = s.miners.distinct();
    Json top = Json::array();
    for (const auto& [miner, count] : s.miners.most_common(TOP_MINERS)) {
        Json entry = Json::object();
        entry["miner"] = miner;
        entry["blocks"] = count;
        entry["share_percent"] = rounded_percent(count, s.miners.total());
        top.push_back(std::move(entry));
    }
    miners["top"] = std::move(top);
    Json networks = Json::object();
    for (const auto& [network, count] : s.networks.counts()) networks[network] = count;
    miners["by_network"] = std::move(networks);
    out["miners"] = std::move(miners);

    Json torrents = Json::object();
    torrents["total_length"] = s.total_length;
    Json pieces = Json::object();
    add_spread(pieces, s.pieces);
    torrents["pieces"] = std::move(pieces);
    torrents["piece_lengths_distinct"] = s.piece_lengths.distinct();
    Json lengths = Json::array();
    for (const auto& [length, count] : s.piece_lengths.most_common(TOP_PIECE_LENGTHS)) {
        Json entry = Json::object();
        entry["piece_length"] = length;
        entry["records"] = count;
        lengths.push_back(std::move(entry));
    }
    torrents["piece_lengths"] = std::move(lengths);
    out["torrents"] = std::move(torrents);

    Json found = Json::object();
    found["total"] = problems.problems;
    found["by_code"] = by_code_json(problems);
    out["problems"] = std::move(found);
    return out.dump(JSON_INDENT) + '\n';
}

}  // namespace quorvane

#include "scan/views/text_forms.hpp"
#include "scan/report/report_charts.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "scan/views/progress_line.hpp"
#include "scan/report/stats_format.hpp"

namespace quorvane {

namespace {

// The view box of a chart over height; the plot area is one unit per column.
constexpr double LEFT = 140;
constexpr double PLOT_WIDTH = PLOT_COLUMNS;
constexpr double VIEW_WIDTH = LEFT + PLOT_WIDTH + 60;  // room for half the last height label
// The width of a digit or comma of a tick label, and the space between labels.
constexpr double LABEL_CHARACTER = 9;
constexpr double LABEL_GAP = 30;
constexpr double TOP = 16;
constexpr double PLOT_HEIGHT = 220;
constexpr double BOTTOM = 56;  // tick labels and the axis label below the plot

// At most this many bars in the interval histogram.
constexpr std::uint64_t HISTOGRAM_BARS = 40;
// A few bars stay bars rather than becoming blocks.
constexpr double MAX_BAR_WIDTH = 80;

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    std::string out = text;
    if (out.size() > 2 && out.ends_with(".0")) out.resize(out.size() - 2);
    if (out == "-0") out = "0";
    return out;
}

// Tick labels: grouped digits up to a million, then a short form ("1.5G").
std::string tick_text(double value) {
    const double size = std::fabs(value);
    if (size < 1e6) {
        const auto whole = static_cast<std::int64_t>(std::llround(value));
        return (whole < 0 ? "-" : "") + grouped(static_cast<std::uint64_t>(whole < 0 ? -whole : whole));
    }
    static constexpr std::pair<double, const char*> SCALES[] = {
        {1e18, "E"}, {1e15, "P"}, {1e12, "T"}, {1e9, "G"}, {1e6, "M"}};
    for (const auto& [scale, suffix] : SCALES) {
        if (size >= scale) {
            char text[32];
            std::snprintf(text, sizeof text, "%.3g%s", value / scale, suffix);
            return text;
        }
    }
    return number(value);
}

// A step of 1, 2 or 5 times a power of ten giving about `target` ticks,
// never below `smallest`.
double nice_step(double span, int target, double smallest) {
    if (span <= 0) return smallest;
    const double raw = span / target;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double normal = raw / magnitude;
    const double step = (normal < 1.5 ? 1 : normal < 3 ? 2 : normal < 7 ? 5 : 10) * magnitude;
    return std::max(step, smallest);
}

// A value axis widened to whole steps.
struct Scale {
    double low = 0;
    double high = 1;
    double step = 1;

    Scale(double min, double max, double smallest_step) {
        if (min == max) {
            min -= smallest_step;
            max += smallest_step;
        }
        step = nice_step(max - min, 4, smallest_step);
        low = std::floor(min / step) * step;
        high = std::ceil(max / step) * step;
    }
    double y(double value) const { return TOP + (high - value) / (high - low) * PLOT_HEIGHT; }
};

std::string svg_open(const std::string& label, double view_height) {
    return "<div class=\"chart\"><svg viewBox=\"0 0 " + number(VIEW_WIDTH) + " " + number(view_height) +
           "\" role=\"img\" aria-label=\"" + html_escaped(label) + "\">";
}

const char* SVG_CLOSE = "</svg></div>";

std::string figure(const std::string& id, const std::string& title, const std::string& body,
                   const std::string& note = {}) {
    std::string out = "<figure id=\"" + id + "\"><figcaption>" + html_escaped(title) + "</figcaption>" + body;
    if (!note.empty()) out += "<p class=\"note\">" + html_escaped(note) + "</p>";
    return out + "</figure>\n";
}

std::string text_at(double x, double y, const std::string& text, const char* anchor, const char* css = "tick") {
    return "<text class=\"" + std::string(css) + "\" x=\"" + number(x) + "\" y=\"" + number(y) +
           "\" text-anchor=\"" + anchor + "\">" + html_escaped(text) + "</text>";
}

std::string line(const char* css, double x1, double x2, double y1, double y2) {
    return "<line class=\"" + std::string(css) + "\" x1=\"" + number(x1) + "\" x2=\"" + number(x2) + "\" y1=\"" +
           number(y1) + "\" y2=\"" + number(y2) + "\"/>";
}

// A line across the whole plot area at `y`.
std::string across(const char* css, double y) { return line(css, LEFT, LEFT + PLOT_WIDTH, y, y); }

std::string y_axis_label(const std::string& label, double plot_height) {
    return "<text class=\"label\" transform=\"translate(18 " + number(TOP + plot_height / 2) +
           ") rotate(-90)\" text-anchor=\"middle\">" + html_escaped(label) + "</text>";
}

std::string value_axis(const Scale& scale, const std::string& label) {
    std::string out;
    for (double tick = scale.low; tick <= scale.high + scale.step / 2; tick += scale.step) {
        const double y = scale.y(tick);
        out += across("grid", y);
        out += text_at(LEFT - 8, y + 5, tick_text(tick), "end");
    }
    return out + y_axis_label(label, PLOT_HEIGHT);
}

double height_x(const HeightColumns& columns, double height) {
    return LEFT + (height - columns.from + 0.5) * PLOT_WIDTH / static_cast<double>(columns.heights);
}

std::string height_axis(const HeightColumns& columns) {
    const double bottom = TOP + PLOT_HEIGHT;
    std::string out = across("axis", bottom);
    const double last = static_cast<double>(columns.from) + static_cast<double>(columns.heights) - 1;
    // As many labels as fit side by side, at most six.
    const double label_width = static_cast<double>(grouped(static_cast<std::uint64_t>(last)).size()) * LABEL_CHARACTER;
    const int labels = std::clamp(static_cast<int>(PLOT_WIDTH / (label_width + LABEL_GAP)) - 1, 2, 6);
    const double step = nice_step(last - columns.from, labels, 1);
    for (double tick = std::ceil(columns.from / step) * step; tick <= last; tick += step) {
        const double x = height_x(columns, tick);
        out += line("axis", x, x, bottom, bottom + 5);
        out += text_at(x, bottom + 22, grouped(static_cast<std::uint64_t>(tick)), "middle");
    }
    return out + text_at(LEFT + PLOT_WIDTH / 2, bottom + 46, "height", "middle", "label");
}

std::string no_values(double plot_height) {
    return text_at(LEFT + PLOT_WIDTH / 2, TOP + plot_height / 2, "no values in this range", "middle", "label");
}

double column_x(const HeightColumns& columns, std::uint32_t column) {
    return LEFT + (column + 0.5) * PLOT_WIDTH / columns.count;
}

// One point per column, two where its minimum and maximum differ; the line
// breaks over columns without a value.
template <class Value>
std::string series_path(const HeightColumns& columns, const std::vector<ColumnExtremes<Value>>& values,
                        const Scale& scale) {
    std::string d;
    std::size_t in_segment = 0;
    const auto close_segment = [&] {
        if (in_segment == 1) d += "l0,0";  // a lone point still shows, as a dot
        in_segment = 0;
    };
    for (std::uint32_t column = 0; column < values.size(); ++column) {
        const auto& value = values[column];
        if (!value.any) {
            close_segment();
            continue;
        }
        const std::string x = number(column_x(columns, column));
        d += (in_segment == 0 ? "M" : "L") + x + "," + number(scale.y(static_cast<double>(value.low)));
        ++in_segment;
        if (value.high != value.low) {
            d += "L" + x + "," + number(scale.y(static_cast<double>(value.high)));
            ++in_segment;
        }
    }
    close_segment();
    return "<path class=\"series\" d=\"" + d + "\"/>";
}

template <class Value>
std::optional<std::pair<double, double>> extent(const std::vector<ColumnExtremes<Value>>& values) {
    std::optional<std::pair<double, double>> out;
    for (const auto& value : values) {
        if (!value.any) continue;
        const double low = static_cast<double>(value.low);
        const double high = static_cast<double>(value.high);
        out = out ? std::pair(std::min(out->first, low), std::max(out->second, high)) : std::pair(low, high);
    }
    return out;
}

template <class Value>
std::string line_chart(const HeightColumns& columns, const std::vector<ColumnExtremes<Value>>& values,
                       const std::string& label, const std::string& y_label,
                       const std::function<std::string(const Scale&)>& extra = {}) {
    std::string body = svg_open(label, TOP + PLOT_HEIGHT + BOTTOM);
    const auto range = extent(values);
    if (!range) {
        body += no_values(PLOT_HEIGHT) + height_axis(columns) + y_axis_label(y_label, PLOT_HEIGHT);
        return body + SVG_CLOSE;
    }
    const Scale scale(range->first, range->second, 1);
    body += value_axis(scale, y_label) + height_axis(columns);
    if (extra) body += extra(scale);  // under the line
    return body + series_path(columns, values, scale) + SVG_CLOSE;
}

std::string reduction_note(const HeightColumns& columns) {
    if (columns.count == columns.heights) return {};
    return "Each of the " + grouped(columns.count) + " columns covers about " +
           grouped(columns.heights / columns.count) + " heights and shows their lowest and highest value.";
}

std::string short_miner(const std::string& miner) {
    const auto dot = miner.find('.');
    if (dot == std::string::npos || dot <= 16) return miner;
    return miner.substr(0, 8) + "\u2026" + miner.substr(dot - 8);
}

}  // namespace

std::string difficulty_chart(const ChainSeries& series) {
    return figure("difficulty", "Difficulty over height",
                  line_chart(series.columns, series.difficulty, "next_block_difficulty over height",
                             "next_block_difficulty"),
                  reduction_note(series.columns));
}

std::string interval_chart(const ChainSeries& series, const ChainStats& stats) {
    const auto median = stats.intervals.percentile(50);
    const auto mark_median = [&](const Scale& scale) -> std::string {
        if (!median) return {};
        const double y = scale.y(static_cast<double>(*median));
        return across("median", y) +
               text_at(LEFT + 6, y - 6, "median " + std::to_string(*median) + " s", "start", "median-label");
    };
    return figure("interval", "Block interval over height",
                  line_chart(series.columns, series.interval, "seconds between a block and the one below it",
                             "interval (s)", mark_median),
                  reduction_note(series.columns));
}

std::string interval_histogram(const ChainStats& stats) {
    const double view_height = TOP + PLOT_HEIGHT + BOTTOM;
    std::string body = svg_open("how many intervals had each length", view_height);
    const auto low = stats.intervals.percentile(1);
    if (!low) {
        body += no_values(PLOT_HEIGHT) + y_axis_label("intervals", PLOT_HEIGHT);
        return figure("histogram", "Block intervals", body + SVG_CLOSE);
    }
    // Bars span the 1st to 99th percentile; the end bars also hold what lies beyond.
    const std::int64_t first = *low;
    const std::int64_t last = *stats.intervals.percentile(99);
    const auto values = static_cast<std::uint64_t>(last - first) + 1;
    const std::uint64_t width = (values + HISTOGRAM_BARS - 1) / HISTOGRAM_BARS;
    const std::uint64_t bars = (values + width - 1) / width;
    std::vector<std::uint64_t> counts(bars);
    for (const auto& [interval, count] : stats.intervals.counts()) {
        const std::uint64_t bar =
            interval < first ? 0 : interval > last ? bars - 1 : static_cast<std::uint64_t>(interval - first) / width;
        counts[bar] += count;
    }
    const Scale scale(0, static_cast<double>(*std::max_element(counts.begin(), counts.end())), 1);
    body += value_axis(scale, "intervals");
    const double bottom = TOP + PLOT_HEIGHT;
    const double slot = PLOT_WIDTH / static_cast<double>(bars);
    const std::uint64_t label_every = (bars + 9) / 10;
    for (std::uint64_t bar = 0; bar < bars; ++bar) {
        const std::int64_t from = first + static_cast<std::int64_t>(bar * width);
        const std::int64_t to = std::min(last, from + static_cast<std::int64_t>(width) - 1);
        std::string range = width == 1 ? std::to_string(from) : std::to_string(from) + "\u2013" + std::to_string(to);
        if (bar == 0 && stats.intervals.min() < first) range = "\u2264 " + std::to_string(to);
        if (bar + 1 == bars && stats.intervals.max() > last) range = "\u2265 " + std::to_string(from);
        const double x = LEFT + static_cast<double>(bar) * slot;
        if (counts[bar] > 0) {
            const double y = scale.y(static_cast<double>(counts[bar]));
            const double bar_width = std::clamp(slot - 2, 1.0, MAX_BAR_WIDTH);
            body += "<rect class=\"bar\" x=\"" + number(x + (slot - bar_width) / 2) + "\" y=\"" + number(y) +
                    "\" width=\"" + number(bar_width) + "\" height=\"" + number(bottom - y) + "\"><title>" +
                    html_escaped(range) + " s: " + grouped(counts[bar]) + " intervals</title></rect>";
        }
        if (bar % label_every == 0) body += text_at(x + slot / 2, bottom + 22, range, "middle");
    }
    body += across("axis", bottom);
    body += text_at(LEFT + PLOT_WIDTH / 2, bottom + 46, "interval (s)", "middle", "label");
    std::string note = "Median " + std::to_string(*stats.intervals.percentile(50)) + " s over " +
                       grouped(stats.intervals.total()) + " intervals.";
    if (stats.intervals.min() < first || stats.intervals.max() > last) {
        note += " The bars span the 1st to 99th percentile; the end bars also hold the intervals beyond it.";
    }
    return figure("histogram", "Block intervals", body + SVG_CLOSE, note);
}

std::string miner_chart(const ChainStats& stats) {
    const auto top = stats.miners.most_common(TOP_MINERS);
    std::vector<std::pair<std::string, std::uint64_t>> rows(top.begin(), top.end());
    std::uint64_t shown = 0;
    for (const auto& row : rows) shown += row.second;
    std::string others_label;
    if (shown < stats.miners.total()) {
        others_label = "others (" + grouped(stats.miners.distinct() - rows.size()) + ")";
        rows.emplace_back(others_label, stats.miners.total() - shown);
    }
    constexpr double ROW = 26;
    constexpr double BAR_LEFT = 240;
    constexpr double BAR_WIDTH = 560;
    const double plot_height = std::max(1.0, static_cast<double>(rows.size())) * ROW;
    std::string body = svg_open("blocks per miner", TOP + plot_height + 44);
    if (rows.empty()) {
        body += no_values(plot_height);
    }
    std::uint64_t most = 0;
    for (const auto& row : rows) most = std::max(most, row.second);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& [miner, count] = rows[i];
        const double y = TOP + static_cast<double>(i) * ROW;
        const bool others = !others_label.empty() && i + 1 == rows.size();
        const double width = std::max(1.0, BAR_WIDTH * static_cast<double>(count) / static_cast<double>(most));
        body += text_at(BAR_LEFT - 8, y + 18, others ? miner : short_miner(miner), "end");
        body += "<rect class=\"bar" + std::string(others ? " others" : "") + "\" x=\"" + number(BAR_LEFT) +
                "\" y=\"" + number(y + 4) + "\" width=\"" + number(width) + "\" height=\"" + number(ROW - 8) +
                "\"><title>" + html_escaped(miner) + ": " + grouped(count) + " blocks</title></rect>";
        body += text_at(BAR_LEFT + width + 6, y + 18,
                        grouped(count) + " (" + percent_text(count, stats.miners.total()) + "%)", "start");
    }
    body += text_at(BAR_LEFT + BAR_WIDTH / 2, TOP + plot_height + 30, "blocks (share of all blocks that decode)",
                    "middle", "label");
    return figure("miners", "Blocks per miner", body + SVG_CLOSE,
                  grouped(stats.miners.distinct()) + " distinct miners.");
}

std::string length_chart(const ChainSeries& series) {
    return figure("length", "Torrent length over height",
                  line_chart(series.columns, series.length, "torrent length over height", "length (bytes)"),
                  reduction_note(series.columns));
}

std::string problem_strip(const ChainSeries& series) {
    constexpr double ROW = 22;
    const double plot_height = ROW * PROBLEM_CODE_COUNT;
    const HeightColumns& columns = series.columns;
    std::string body = svg_open("missing heights and problems over height", TOP + plot_height + BOTTOM);
    const double column_width = PLOT_WIDTH / columns.count;
    for (std::size_t code = 0; code < PROBLEM_CODE_COUNT; ++code) {
        const double y = TOP + static_cast<double>(code) * ROW;
        const std::string name(problem_code_name(static_cast<ProblemCode>(code)));
        body += across("grid", y + ROW / 2);
        body += text_at(LEFT - 8, y + 16, name, "end");
        const ProblemCodeSet bit = problem_code_bit(static_cast<ProblemCode>(code));
        for (std::uint32_t column = 0; column < columns.count;) {
            if (!(series.problem_codes[column] & bit)) {
                ++column;
                continue;
            }
            std::uint32_t end = column;
            while (end < columns.count && (series.problem_codes[end] & bit)) ++end;
            const std::uint64_t last_height = end < columns.count
                                                  ? std::uint64_t{columns.first_height(end)} - 1
                                                  : std::uint64_t{columns.from} + columns.heights - 1;
            body += "<rect class=\"mark code-" + std::to_string(code) + "\" x=\"" +
                    number(LEFT + column * column_width) + "\" y=\"" + number(y + 3) + "\" width=\"" +
                    number(std::max(2.0, (end - column) * column_width)) + "\" height=\"" + number(ROW - 6) +
                    "\"><title>" + name + " in heights " + grouped(columns.first_height(column)) + "\u2013" +
                    grouped(last_height) + "</title></rect>";
            column = end;
        }
    }
    // The height axis sits under the rows.
    std::string axis = height_axis(columns);
    const double shift = plot_height - PLOT_HEIGHT;
    body += "<g transform=\"translate(0 " + number(shift) + ")\">" + axis + "</g>";
    return figure("problem-heights", "Missing heights and problems over height", body + SVG_CLOSE);
}

}  // namespace quorvane

#include "scan/views/text_forms.hpp"
#include "scan/report/report_html.hpp"

#include "scan/views/progress_line.hpp"
#include "scan/report/report_charts.hpp"
#include "scan/report/stats_format.hpp"
#include "scan/report/problem_lines.hpp"

namespace quorvane {

namespace {

// Longer messages (a torrent record that disagrees in every field) are cut,
// so a thousand of them cannot make the page large.
constexpr std::size_t MESSAGE_LIMIT = 400;

// The style sheet, less what each problem code adds (see style_sheet).
constexpr std::string_view STYLE_START = R"(
:root{color-scheme:light dark;--bg:#ffffff;--fg:#1b1f24;--muted:#57606a;--grid:#d8dee4;--card:#f6f8fa;
--accent:#0969da;--accent2:#bc4c00;)";
constexpr std::string_view STYLE_DARK = R"(}
@media (prefers-color-scheme:dark){:root{--bg:#0d1117;--fg:#e6edf3;--muted:#8d96a0;--grid:#30363d;--card:#161b22;
--accent:#58a6ff;--accent2:#ffa657;)";
constexpr std::string_view STYLE_MARKS = R"(}}
*{box-sizing:border-box}
body{margin:0;background:var(--bg);color:var(--fg);font:16px/1.5 system-ui,-apple-system,"Segoe UI",Roboto,"DejaVu Sans",sans-serif}
header,main,footer{max-width:1200px;margin:0 auto;padding:12px 16px}
h1{font-size:1.5rem;margin:.5rem 0}h2{font-size:1.25rem;margin:1.5rem 0 .5rem}
a{color:var(--accent)}
.facts{display:flex;flex-wrap:wrap;gap:8px 24px;margin:0;padding:0;list-style:none}
.facts b{font-variant-numeric:tabular-nums}
.grid-charts{display:grid;grid-template-columns:minmax(0,1fr);gap:16px}
figure{margin:0;background:var(--card);border-radius:8px;padding:12px;min-width:0}
figcaption{font-weight:600;margin-bottom:6px}
.chart{overflow-x:auto}
.chart svg{display:block;width:100%;min-width:720px;height:auto}
svg text{fill:var(--fg);font-size:15px}
svg .tick{fill:var(--muted)}
svg .label{fill:var(--fg);font-size:16px}
svg .grid{stroke:var(--grid);stroke-width:1}
svg .axis{stroke:var(--muted);stroke-width:1}
svg .series{fill:none;stroke:var(--accent);stroke-width:1.5;stroke-linejoin:round;stroke-linecap:round}
svg .median{stroke:var(--accent2);stroke-width:1.5;stroke-dasharray:6 4}
svg .median-label{fill:var(--accent2);paint-order:stroke;stroke:var(--card);stroke-width:4px}
svg .bar{fill:var(--accent)}
svg .bar.others{fill:var(--muted)}
)";
constexpr std::string_view STYLE_END = R"(.note{color:var(--muted);font-size:.875rem;margin:.25rem 0 0}
.table-wrap{overflow-x:auto}
table{border-collapse:collapse;width:100%;font-variant-numeric:tabular-nums}
th,td{text-align:left;vertical-align:top;padding:4px 8px;border-bottom:1px solid var(--grid)}
thead th{border-bottom:2px solid var(--muted)}
tbody th{padding-top:12px}
td.message{overflow-wrap:anywhere}
@media (max-width:640px){body{font-size:15px}header,main,footer{padding:8px}}
)";

// Each code's colour in both schemes and the rule that gives its marks that
// colour, from the table of problem codes.
std::string style_sheet() {
    const auto colours = [](std::string_view ProblemCodeRow::*scheme) {
        std::string out;
        for (const ProblemCodeRow& row : PROBLEM_CODES) {
            if (!out.empty()) out += ';';
            out += "--c" + std::to_string(static_cast<int>(row.code)) + ":" + std::string(row.*scheme);
        }
        return out;
    };
    std::string marks;
    for (const ProblemCodeRow& row : PROBLEM_CODES) {
        const std::string n = std::to_string(static_cast<int>(row.code));
        marks += "svg .code-" + n + "{fill:var(--c" + n + ")}";
        // Three rules a line.
        if (static_cast<std::size_t>(row.code) % 3 == 2 || row.code == PROBLEM_CODES.back().code) marks += '\n';
    }
    return std::string(STYLE_START) + colours(&ProblemCodeRow::light_colour) + std::string(STYLE_DARK) +
           colours(&ProblemCodeRow::dark_colour) + std::string(STYLE_MARKS) + marks + std::string(STYLE_END);
}

std::string problem_links(const VerifySummary& problems) {
    if (problems.problems == 0) return "no problems found";
    std::string out = "<a href=\"#problems\">" + grouped(problems.problems) + " problems</a>: ";
    bool first = true;
    for (const auto& [code, count] : codes_found(problems)) {
        if (!first) out += ", ";
        first = false;
        out += std::string(code) + " " + grouped(count);
    }
    return out;
}

std::string header(const ChainStats& stats, const VerifySummary& problems) {
    std::string out = "<header><h1>";
    if (!problems.from) {
        out += "Chain report: no heights</h1><p>The store holds no height in the range asked for.</p></header>\n";
        return out;
    }
    out += "Chain report: heights " + grouped(stats.from) + "\u2013" + grouped(stats.to) + "</h1><ul class=\"facts\">";
    const auto fact = [&](const std::string& label, const std::string& value) {
        out += "<li>" + label + " <b>" + value + "</b></li>";
    };
    fact("heights", grouped(std::uint64_t{stats.to} - stats.from + 1));
    fact("blocks", grouped(stats.blocks));
    fact("torrent records", grouped(stats.torrents));
    fact("missing", grouped(stats.missing) + " in " + grouped(stats.gaps) + (stats.gaps == 1 ? " gap" : " gaps"));
    if (stats.first_timestamp) {
        fact("time", utc_text(*stats.first_timestamp) + " to " + utc_text(*stats.last_timestamp));
        fact("span", duration_text(*stats.span_seconds()));
    }
    out += "<li>" + problem_links(problems) + "</li></ul></header>\n";
    return out;
}

std::string problem_table(const ChainSeries& series, const VerifySummary& problems) {
    std::string out = "<section id=\"problems\"><h2>Problems</h2>";
    if (series.listed_problems.empty()) return out + "<p>No problems found.</p></section>\n";
    out += "<div class=\"table-wrap\"><table><thead><tr><th>Height</th><th>Code</th><th>Message</th></tr></thead><tbody>";
    for (const Problem& problem : series.listed_problems) {
        std::string message = problem_detail(problem);
        if (message.size() > MESSAGE_LIMIT) message = message.substr(0, MESSAGE_LIMIT) + "\u2026";
        out += "<tr><td>" + problem_heights(problem) + "</td><td>" + std::string(problem_code_name(problem.code)) +
               "</td><td class=\"message\">" + html_escaped(message) + "</td></tr>";
    }
    out += "</tbody></table></div>";
    if (series.unlisted_problems > 0) {
        const bool one = series.unlisted_problems == 1;
        out += "<p class=\"more\">" + grouped(series.unlisted_problems) +
               (one ? " more problem is not listed here (" : " more problems are not listed here (") +
               grouped(problems.problems) + " in all); chainscan verify lists every one.</p>";
    }
    return out + "</section>\n";
}

std::string stats_table(const ChainStats& stats, const VerifySummary& problems) {
    std::string out = "<section id=\"stats\"><h2>Statistics</h2><div class=\"table-wrap\"><table>";
    std::string section;
    for (const auto& row : stats_rows(stats, problems)) {
        if (!row.shown) continue;
        if (row.section != section) {
            if (!section.empty()) out += "</tbody>";
            section = row.section;
            out += "<tbody><tr><th colspan=\"2\">" + html_escaped(section) + "</th></tr>";
        }
        out += "<tr><td>" + html_escaped(row.label) + "</td><td>" + html_escaped(row.value) + "</td></tr>";
    }
    return out + "</tbody></table></div></section>\n";
}

}  // namespace

std::string report_html(const ChainStats& stats, const VerifySummary& problems, const ChainSeries& series) {
    std::string title = problems.from ? "Chain report: heights " + std::to_string(stats.from) + "\u2013" +
                                            std::to_string(stats.to)
                                      : std::string("Chain report: no heights");
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<meta name=\"color-scheme\" content=\"light dark\">"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'; "
        "img-src data:\">"
        "<link rel=\"icon\" href=\"data:,\">"
        "<title>" + html_escaped(title) + "</title><style>" + style_sheet() + "</style></head>\n<body>\n";
    out += header(stats, problems);
    out += "<main>\n";
    if (problems.from) {
        out += "<section id=\"charts\"><h2>Charts</h2><div class=\"grid-charts\">\n";
        out += difficulty_chart(series) + interval_chart(series, stats) + interval_histogram(stats) +
               miner_chart(stats) + length_chart(series) + problem_strip(series);
        out += "</div></section>\n";
    }
    out += problem_table(series, problems);
    out += stats_table(stats, problems);
    out += "</main>\n<footer class=\"note\">Made by chainscan report from the block store alone; nothing on this "
           "page is fetched from elsewhere.</footer>\n</body></html>\n";
    return out;
}

}  // namespace quorvane

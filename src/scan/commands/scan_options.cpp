#include "scan/commands/scan_options.hpp"

#include <optional>
#include <string_view>

#include "common/tool_entry.hpp"
#include "common/utf8.hpp"

namespace quorvane {

namespace {

// SQL identifiers that need no quoting in any of the engines, and fit
// PostgreSQL's 63-byte limit.
bool is_plain_identifier(std::string_view name) {
    constexpr std::size_t MAX_IDENTIFIER = 63;
    if (name.empty() || name.size() > MAX_IDENTIFIER || (name.front() >= '0' && name.front() <= '9')) return false;
    for (const char c : name) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(c >= '0' && c <= '9') && c != '_') return false;
    }
    return true;
}

// A word of `table`, or the parser's own message for one that is not.
template <typename Value, std::size_t N>
std::expected<Value, std::string> word_value(std::string_view option, const WordTable<Value, N>& table,
                                             const std::string& word) {
    if (const auto value = value_named(table, word)) return *value;
    std::string message(option);
    message.append(": ").append(word).append(" not in {");
    for (std::size_t i = 0; i < N; ++i) message.append(i > 0 ? "," : "").append(table[i].first);
    return std::unexpected(message.append("}"));
}

}  // namespace

std::expected<ScanOptions, std::string> check_options(const CommandLine& line) {
    ScanOptions options;
    options.command = line.command;
    options.config = line.config;
    options.against = line.against;
    options.metrics_file = line.metrics_file;
    options.jobs = line.jobs;
    options.follow = line.follow;
    options.verbose = line.verbose;
    for (const auto& [name, text, height] : {std::tuple{"--from", &line.from, &options.from},
                                             std::tuple{"--to", &line.to, &options.to}}) {
        if (!*text) continue;
        *height = parse_block_height(**text);
        if (!*height) {
            return std::unexpected(std::string(name) + ": " + **text +
                                   " is not a block height (a decimal number from 0 to 4294967295)");
        }
    }
    if (options.from && options.to && *options.from > *options.to) {
        return std::unexpected("--from " + *line.from + " is above --to " + *line.to);
    }
    // Each word option's word, as the value its table gives it.
    std::optional<std::string> unknown_word;
    const auto take = [&](auto& value, std::string_view option, const auto& table, const std::string& word) {
        if (unknown_word) return;
        if (const auto named = word_value(option, table, word)) {
            value = *named;
        } else {
            unknown_word = named.error();
        }
    };
    take(options.format, "--format", OUTPUT_FORMAT_WORDS, line.format);
    if (!line.engine.empty()) take(options.engine, "--for", SQL_ENGINE_WORDS, line.engine);
    take(options.read_threads, "--read-threads", READ_THREADS_WORDS, line.read_threads);
    take(options.read_engine, "--read-engine", READ_ENGINE_WORDS, line.read_engine);
    take(options.directory, "directory", RECORD_DIRECTORY_WORDS, line.directory);
    if (line.csv_table) take(options.csv_table, "--csv-table", STORE_TABLE_WORDS, *line.csv_table);
    if (unknown_word) return std::unexpected(*unknown_word);

    options.proof = !line.no_proof;
    options.torrents = line.torrents;
    options.verify_form = line.prometheus ? VerifyForm::Prometheus : line.json ? VerifyForm::JsonLines : VerifyForm::Text;
    options.stats_form = line.command == Command::Report ? StatsReportForm::Html
                         : line.json                     ? StatsReportForm::JsonObject
                                                         : StatsReportForm::Text;
    options.diff_form = line.json ? DiffForm::JsonLines : DiffForm::Text;
    options.progress = line.no_progress ? ProgressChoice::Never
                       : line.progress  ? ProgressChoice::Always
                                        : ProgressChoice::WhenTerminal;
    if (options.torrents && options.format == OutputFormat::Csv) {
        return std::unexpected("--torrents cannot be used with --format csv (a table at a time: --csv-table " +
                               words_listed(STORE_TABLE_WORDS) + ")");
    }
    if (options.command == Command::Dump) {
        if (options.format == OutputFormat::Sql && !options.engine) {
            return std::unexpected("--format sql needs --for " + words_listed(SQL_ENGINE_WORDS));
        }
        if (options.format != OutputFormat::Sql && options.engine) return std::unexpected("--for needs --format sql");
        if (options.format != OutputFormat::Csv && line.csv_table) return std::unexpected("--csv-table needs --format csv");
    }
    if (!is_plain_identifier(line.table)) {
        return std::unexpected("--table: " + utf8::to_text_lossy(line.table) +
                               " is not a plain SQL name (ASCII letters, digits and _, not starting with a digit, at most 63)");
    }
    // The torrent tables are named after it, and must be plain names too.
    const std::string pieces = table_name(StoreTable::TorrentPieces, line.table);
    if (options.torrents && !is_plain_identifier(pieces)) {
        return std::unexpected("--table: " + line.table + " is too long to name the torrent tables after it (" +
                               pieces + " is over 63)");
    }
    options.table = line.table;
    return options;
}

}  // namespace quorvane

#pragma once

// What a chainscan command line asks for: the words as the parser found
// them (CommandLine), and the typed values that check_options makes of them
// once (ScanOptions). Nothing after check_options reads a word.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <thread>

#include "common/word_table.hpp"
#include "scan/store/height_scan.hpp"
#include "scan/store/record_kind.hpp"
#include "scan/views/sql_schema.hpp"
#include "scan/views/store_tables.hpp"

namespace quorvane {

enum class Command { Dump, Verify, Stats, Report, Diff, Schema, CompleteHeights };

// dump's output: JSON Lines, CSV, or a SQL stream.
enum class OutputFormat { JsonLines, Csv, Sql };
inline constexpr WordTable<OutputFormat, 3> OUTPUT_FORMAT_WORDS = {{
    {"jsonl", OutputFormat::JsonLines}, {"csv", OutputFormat::Csv}, {"sql", OutputFormat::Sql}}};

// verify's output: a line per problem and a summary as text or JSON Lines,
// or the summary alone as Prometheus metrics.
enum class VerifyForm { Text, JsonLines, Prometheus };
// diff's: a line per run of differences and a summary, as text or JSON Lines.
enum class DiffForm { Text, JsonLines };
// stats' and report's: aligned text, one JSON object, or an HTML page.
enum class StatsReportForm { Text, JsonObject, Html };

// Whether a run draws its progress line on standard error.
enum class ProgressChoice { WhenTerminal, Always, Never };

// The command line word for word, as the parser fills it.
struct CommandLine {
    Command command = Command::Dump;
    std::optional<std::string> from;
    std::optional<std::string> to;
    std::optional<std::string> config;
    std::optional<std::string> against;  // diff
    std::optional<std::string> metrics_file;  // dump, verify
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    std::string format = "jsonl";
    std::string engine;  // --for
    std::string table = "blocks";
    std::string read_threads = "adapting";
    std::string read_engine = "auto";
    std::optional<std::string> csv_table;  // dump
    std::string directory = "blocks";  // complete-heights
    bool torrents = false;
    bool no_proof = false;
    bool json = false;
    bool prometheus = false;
    bool follow = false;
    bool progress = false;
    bool no_progress = false;
    bool verbose = false;
};

struct ScanOptions {
    Command command = Command::Dump;
    std::optional<std::uint32_t> from;
    std::optional<std::uint32_t> to;
    std::optional<std::string> config;
    std::optional<std::string> against;  // diff: the other store's settings file
    std::optional<std::string> metrics_file;  // dump, verify: kept current while the run goes on
    unsigned jobs = 1;
    bool follow = false;
    bool verbose = false;  // say on standard error what the run does beside its output
    ProgressChoice progress = ProgressChoice::WhenTerminal;
    ReadThreads read_threads = ReadThreads::Adapting;
    ReadEngine read_engine = ReadEngine::Auto;
    // dump
    OutputFormat format = OutputFormat::JsonLines;
    bool proof = true;
    bool torrents = false;            // also schema: the torrent tables beside blocks
    StoreTable csv_table = StoreTable::Blocks;
    std::optional<SqlEngine> engine;  // also schema
    std::string table = "blocks";     // also schema
    VerifyForm verify_form = VerifyForm::Text;
    StatsReportForm stats_form = StatsReportForm::Text;
    DiffForm diff_form = DiffForm::Text;
    RecordKind directory = RecordKind::Block;  // complete-heights
};

// The typed options, or the text of the usage error.
std::expected<ScanOptions, std::string> check_options(const CommandLine& line);

}  // namespace quorvane

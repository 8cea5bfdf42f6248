#include "scan/commands/scan_options.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace quorvane {
namespace {

// The command line's words become typed options once, or one usage error;
// the messages the process-level usage table checks are not repeated here.
TEST(ScanOptions, WordsBecomeTypedOptionsOrOneError) {
    struct Case {
        const char* label;
        std::function<void(CommandLine&)> words;
        std::function<bool(const ScanOptions&)> typed;  // checked when there is no error
        std::string error = {};
    };
    const auto dump_sql = [](CommandLine& line) {
        line.format = "sql";
        line.engine = "postgresql";
    };
    const std::vector<Case> cases = {
        {"defaults", [](CommandLine&) {},
         [](const ScanOptions& o) {
             return o.format == OutputFormat::JsonLines && o.proof && !o.torrents && !o.engine && !o.from && !o.to &&
                    o.verify_form == VerifyForm::Text && o.stats_form == StatsReportForm::Text &&
                    o.progress == ProgressChoice::WhenTerminal && o.read_engine == ReadEngine::Auto &&
                    o.read_threads == ReadThreads::Adapting && o.directory == RecordKind::Block && o.table == "blocks" &&
                    o.csv_table == StoreTable::Blocks;
         }},
        {"heights, leading zeros and a plus",
         [](CommandLine& l) { l.from.emplace("+007"); l.to.emplace("4294967295"); },
         [](const ScanOptions& o) { return o.from == 7u && o.to == 4294967295u; }},
        {"one height", [](CommandLine& l) { l.from.emplace("5"); l.to.emplace("5"); }, [](const ScanOptions& o) { return o.from == o.to; }},
        {"from not a height", [](CommandLine& l) { l.from.emplace("-1"); }, {},
         "--from: -1 is not a block height (a decimal number from 0 to 4294967295)"},
        {"csv without proof", [](CommandLine& l) { l.format = "csv"; l.no_proof = true; },
         [](const ScanOptions& o) { return o.format == OutputFormat::Csv && !o.proof; }},
        {"an unknown format", [](CommandLine& l) { l.format = "xml"; }, {}, "--format: xml not in {jsonl,csv,sql}"},
        {"the SQL stream", dump_sql,
         [](const ScanOptions& o) { return o.format == OutputFormat::Sql && o.engine == SqlEngine::PostgreSql; }},
        {"a table of pieces as CSV", [](CommandLine& l) { l.format = "csv"; l.csv_table.emplace("torrent_pieces"); },
         [](const ScanOptions& o) { return o.csv_table == StoreTable::TorrentPieces; }},
        {"the SQL stream with the torrent tables", [&](CommandLine& l) { dump_sql(l); l.torrents = true; },
         [](const ScanOptions& o) { return o.torrents; }},
        {"the torrent tables of schema, named after a table of 48",
         [](CommandLine& l) { l.command = Command::Schema; l.engine = "sqlite"; l.torrents = true; l.table = std::string(48, 'b'); },
         [](const ScanOptions& o) { return o.torrents && o.table.size() == 48; }},
        {"an engine for schema", [](CommandLine& l) { l.command = Command::Schema; l.engine = "duckdb"; },
         [](const ScanOptions& o) { return o.engine == SqlEngine::DuckDb; }},
        {"a table name of 63", [](CommandLine& l) { l.table = std::string(62, '_').append("9"); },
         [](const ScanOptions& o) { return o.table.size() == 63; }},
        {"verify as JSON Lines", [](CommandLine& l) { l.command = Command::Verify; l.json = true; },
         [](const ScanOptions& o) { return o.verify_form == VerifyForm::JsonLines; }},
        {"verify as metrics", [](CommandLine& l) { l.command = Command::Verify; l.prometheus = true; },
         [](const ScanOptions& o) { return o.verify_form == VerifyForm::Prometheus; }},
        {"stats as JSON", [](CommandLine& l) { l.command = Command::Stats; l.json = true; },
         [](const ScanOptions& o) { return o.stats_form == StatsReportForm::JsonObject; }},
        {"report", [](CommandLine& l) { l.command = Command::Report; },
         [](const ScanOptions& o) { return o.stats_form == StatsReportForm::Html; }},
        {"progress asked for", [](CommandLine& l) { l.progress = true; },
         [](const ScanOptions& o) { return o.progress == ProgressChoice::Always; }},
        {"progress refused", [](CommandLine& l) { l.no_progress = true; },
         [](const ScanOptions& o) { return o.progress == ProgressChoice::Never; }},
        {"the hidden reading words", [](CommandLine& l) { l.read_engine = "threads"; l.read_threads = "in-flight"; },
         [](const ScanOptions& o) { return o.read_engine == ReadEngine::Threads && o.read_threads == ReadThreads::InFlight; }},
        {"an unknown engine of reading", [](CommandLine& l) { l.read_engine = "aio"; }, {},
         "--read-engine: aio not in {auto,io_uring,threads}"},
        {"the torrent directory", [](CommandLine& l) { l.command = Command::CompleteHeights; l.directory = "torrents"; },
         [](const ScanOptions& o) { return o.directory == RecordKind::Torrent; }},
    };
    for (const Case& c : cases) {
        CommandLine line;
        c.words(line);
        const auto options = check_options(line);
        if (!c.error.empty()) {
            ASSERT_FALSE(options) << c.label;
            EXPECT_EQ(options.error(), c.error) << c.label;
            continue;
        }
        ASSERT_TRUE(options) << c.label << ": " << options.error();
        EXPECT_TRUE(c.typed(*options)) << c.label;
    }
}

}  // namespace
}  // namespace quorvane

// chainscan dump|verify|stats|report|schema: every height of a range of the
// test network's block store in one run, as JSON lines or CSV, checked for
// consistency, or summed up as text, JSON or an HTML page; and the SQL that
// loads its CSV without losing a digit.

#include <CLI/CLI.hpp>

#include <string>

#include "common/tool_entry.hpp"
#include "scan/commands/commands.hpp"
#include "scan/commands/scan_options.hpp"

namespace {

using namespace quorvane;

constexpr unsigned MAX_JOBS = 256;

constexpr const char* EXIT_STATUSES =
    "Exit status: 0 done and nothing wrong; 1 a height could not be read or decoded (dump), a problem\n"
    "was found (verify, stats, report) or the stores differ (diff); 2 usage error, settings that do not load,\n"
    "a directory that cannot be listed, or output that cannot be written; 141 (killed by SIGPIPE) the reader\n"
    "of the output went away.";

// A word option: the words its table lists, checked by the parser. `word`
// is a string, or an optional one where whether it was given matters.
template <typename Word, typename Value, std::size_t N>
CLI::Option* add_word_option(CLI::App& command, const std::string& name, Word& word,
                             const WordTable<Value, N>& table, const std::string& help = "") {
    return command.add_option(name, word, help)->check(CLI::IsMember(words_of(table)));
}

// `store`: where the range's default ends are found ("the store").
void add_common_options(CLI::App& command, CommandLine& options, const std::string& store = "the store") {
    command.add_option("--from", options.from, "first height (default: the lowest in " + store + ")")
        ->type_name("H");
    command.add_option("--to", options.to, "last height (default: the highest in " + store + ")")
        ->type_name("H");
    command.add_option("--jobs", options.jobs, "threads that decode (default: the number of processors); each keeps up to 128 files in flight from a cold disk")
        ->type_name("N")
        ->check(CLI::Range(1u, MAX_JOBS));
    command.add_option("--config", options.config,
                       "settings file (default: SETTINGS_PATH, ./settings.ini, settings.ini beside the program)")
        ->type_name("PATH");
    // Hidden, for tests and benchmarks: how many threads read, whatever the
    // page cache holds.
    add_word_option(command, "--read-threads", options.read_threads, READ_THREADS_WORDS)->group("");
    // Hidden, for tests and benchmarks: the files read through io_uring or
    // with plain calls, whatever the kernel allows.
    add_word_option(command, "--read-engine", options.read_engine, READ_ENGINE_WORDS)->group("");
    CLI::Option* progress =
        command.add_flag("--progress", options.progress, "show a progress line on standard error (default: when it is a terminal)");
    command.add_flag("--no-progress", options.no_progress, "never show the progress line")->excludes(progress);
}

CLI::Option* add_engine_options(CLI::App& command, CommandLine& options, const std::string& what) {
    CLI::Option* engine = add_word_option(command, "--for", options.engine, SQL_ENGINE_WORDS, what)->type_name("ENGINE");
    command.add_option("--table", options.table,
                       "table name (default: blocks); with --torrents the torrent tables are named after it: "
                       "torrents and torrent_pieces beside blocks, NAME_torrents and NAME_torrent_pieces beside any other")
        ->type_name("NAME");
    return engine;
}

void add_metrics_file_option(CLI::App& command, CommandLine& options) {
    command.add_option("--metrics-file", options.metrics_file,
                       "keep the run's metrics in this file, for node_exporter's textfile collector: replaced whole "
                       "at the end, and while following after each batch (at most once a second)")
        ->type_name("PATH");
}

void add_verbose_option(CLI::App& command, CommandLine& options) {
    command.add_flag("--verbose", options.verbose,
                     "say on standard error what the run does beside its output (a service manager's socket that "
                     "cannot be reached)");
}

void add_follow_option(CLI::App& command, CommandLine& options) {
    command.add_flag("--follow", options.follow,
                     "go on after the last height present: each new height as the node writes it, until "
                     "Ctrl-C, SIGTERM or --to");
}

}  // namespace

int main(int argc, char** argv) {
    start_tool(argc, argv, BrokenPipe::EndsRun);
    CommandLine options;
    CLI::App app{"Reads, checks or sums up every height of a range of the test network's block store.", "chainscan"};
    app.set_version_flag("--version", std::string("chainscan ") + VIEWERS_VERSION);
    app.require_subcommand(1, 1);
    app.footer(std::string(EXIT_STATUSES) + "\n\nExample: chainscan verify --config /srv/node/settings.ini");

    CLI::App* dump = app.add_subcommand("dump", "one line per block: JSON Lines (default) or CSV; or a SQL stream that keeps a table current");
    add_common_options(*dump, options);
    add_follow_option(*dump, options);
    add_metrics_file_option(*dump, options);
    add_verbose_option(*dump, options);
    dump->add_flag("--torrents", options.torrents,
                   "add each height's torrent record (null when it has none); with --format sql, keep the tables "
                   "torrents and torrent_pieces current beside blocks");
    dump->add_flag("--no-proof", options.no_proof, "leave the proof out");
    add_word_option(*dump, "--format", options.format, OUTPUT_FORMAT_WORDS,
                    words_listed(OUTPUT_FORMAT_WORDS) + " (default: " + std::string(word_for(OUTPUT_FORMAT_WORDS, OutputFormat::JsonLines)) + ")");
    add_engine_options(*dump, options, "for --format sql: the engine whose client reads the stream");
    add_word_option(*dump, "--csv-table", options.csv_table, STORE_TABLE_WORDS,
                    "for --format csv: the table whose rows are printed, " + words_listed(STORE_TABLE_WORDS) +
                        " (default: blocks); its header is the schema's columns")
        ->type_name("TABLE");
    dump->footer(std::string(EXIT_STATUSES) +
                 "\n\nExample: chainscan dump --from 100 --to 199 --no-proof | jq .hash_value\n"
                 "Example: chainscan dump --format sql --for postgresql --follow | psql -v ON_ERROR_STOP=1 -q -d chain");

    CLI::App* verify = app.add_subcommand("verify", "check that the store holds together; one line per problem");
    add_common_options(*verify, options);
    add_follow_option(*verify, options);
    add_metrics_file_option(*verify, options);
    add_verbose_option(*verify, options);
    CLI::Option* json = verify->add_flag("--json", options.json, "JSON Lines instead of text");
    verify->add_flag("--prometheus", options.prometheus,
                     "metrics in the Prometheus text format instead of text (for node_exporter's textfile collector)")
        ->excludes(json);
    verify->footer(std::string(EXIT_STATUSES) + "\n\nExample: chainscan verify --from 0 --to 99999 --json | jq -c 'select(.type == \"summary\")'");

    CLI::App* stats = app.add_subcommand("stats", "the chain at a glance: pace, difficulty, miners, torrent records, problems");
    add_common_options(*stats, options);
    stats->add_flag("--json", options.json, "one JSON object instead of aligned text");
    stats->footer(std::string(EXIT_STATUSES) + "\n\nExample: chainscan stats --json | jq .time.interval_seconds");

    CLI::App* report = app.add_subcommand("report", "the same as one HTML page with charts, for a browser, on standard output");
    add_common_options(*report, options);
    report->footer(std::string(EXIT_STATUSES) + "\n\nExample: chainscan report --config /srv/node/settings.ini > chain.html");

    CLI::App* diff = app.add_subcommand("diff", "where two stores part: a line per run of heights whose records differ");
    add_common_options(*diff, options, "either store");
    diff->add_option("--against", options.against, "the other store's settings file")
        ->type_name("PATH")
        ->required();
    diff->add_flag("--json", options.json, "JSON Lines instead of text");
    diff->footer(std::string(EXIT_STATUSES) +
                 "\n\nExample: chainscan diff --against /srv/replica/settings.ini --json | jq -c 'select(.type == \"summary\")'");

    CLI::App* schema = app.add_subcommand("schema", "the SQL that creates a table for dump --format csv and loads it");
    add_engine_options(*schema, options, "duckdb, postgresql or sqlite")->required();
    schema->add_flag("--torrents", options.torrents,
                     "the tables torrents and torrent_pieces too, each loaded from its CSV file "
                     "(dump --format csv --csv-table TABLE > TABLE.csv)");
    schema->footer("Example: chainscan schema --for sqlite > blocks.sql && sqlite3 chain.db < blocks.sql");

    // Hidden: what the shell completion asks for.
    CLI::App* complete = app.add_subcommand("complete-heights", "")->group("");
    add_word_option(*complete, "directory", options.directory, RECORD_DIRECTORY_WORDS);
    complete->add_option("--config", options.config);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        print(Stream::Stderr, "Error: " + std::string(e.what()) + " (see 'chainscan --help')\n");
        return EXIT_STATUS_FATAL;
    }
    for (const auto& [command, name] : {std::pair{dump, Command::Dump}, std::pair{verify, Command::Verify},
                                        std::pair{stats, Command::Stats}, std::pair{report, Command::Report}, std::pair{diff, Command::Diff},
                                        std::pair{schema, Command::Schema}, std::pair{complete, Command::CompleteHeights}}) {
        if (command->parsed()) options.command = name;
    }
    const auto checked = check_options(options);
    if (!checked) {
        print(Stream::Stderr, "Error: " + checked.error() + " (see 'chainscan --help')\n");
        return EXIT_STATUS_FATAL;
    }
    switch (checked->command) {
        case Command::Dump: return run_dump(*checked);
        case Command::Verify: return run_verify(*checked);
        case Command::Stats: return run_stats(*checked);
        case Command::Report: return run_report(*checked);
        case Command::Diff: return run_diff(*checked);
        case Command::Schema: return run_schema(*checked);
        case Command::CompleteHeights: return run_complete_heights(*checked);
    }
    return EXIT_STATUS_FATAL;
}

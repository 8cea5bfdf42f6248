// chainscan dump|verify: every height of a range of the test network's block
// store in one run, as JSON lines or CSV, or checked for consistency.

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <thread>
#include <tuple>

#include "common/network_paths_and_settings.hpp"
#include "common/process_arguments.hpp"
#include "common/tool_entry.hpp"
#include "common/utf8.hpp"
#include "config/settings.hpp"
#include "config/settings_location.hpp"
#include "scan/dump_lines.hpp"
#include "scan/height_listing.hpp"
#include "scan/height_scan.hpp"
#include "scan/progress_line.hpp"
#include "scan/verify_report.hpp"
#include "torrent/torrent_file.hpp"

namespace {

using namespace quorvane;

constexpr unsigned MAX_JOBS = 256;

struct Options {
    std::optional<std::string> from_text;
    std::optional<std::string> to_text;
    std::optional<std::uint32_t> from;  // the two above, once checked
    std::optional<std::uint32_t> to;
    std::optional<std::string> config;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    bool torrents = false;
    bool no_proof = false;
    std::string format = "jsonl";
    bool json = false;
    bool progress = false;
    bool no_progress = false;
    std::string directory = "blocks";  // complete-heights
};

bool shows_progress(const Options& options) {
    if (options.no_progress) return false;
    return options.progress || stderr_is_terminal();
}

std::uint64_t heights_between(std::uint32_t from, std::uint32_t to) { return std::uint64_t{to} - from + 1; }

struct UsageError {
    std::string text;
};

// The settings, found as the other tools find them: --config, SETTINGS_PATH,
// the current directory, beside the program.
std::expected<NodeSettings, SettingsError> load_settings_once(const Options& options) {
    ProcessContext context = current_process_context();
    context.arguments.resize(std::min<std::size_t>(context.arguments.size(), 1));
    if (options.config) {
        context.arguments.push_back(std::string(CONFIG_OPTION));
        context.arguments.push_back(*options.config);
    }
    return load_settings_from(locate_settings_file(context).value_or(""), HomeLookup(home_directory));
}

NetworkPaths load_paths(const Options& options) {
    const auto settings = load_settings_once(options);
    if (!settings) fatal_stop(settings_failure_text(settings.error()));
    return testnet_paths_from(*settings);
}

// With both ends given and few heights between them, each height's files are
// read by name instead of listing directories that may hold millions.
constexpr std::uint32_t PROBE_RANGE_LIMIT = 4096;

bool probes(const Options& options) {
    return options.from && options.to && *options.to - *options.from < PROBE_RANGE_LIMIT;
}

[[noreturn]] void stop_unlisted(const std::string& directory, std::string_view what, const IoError& error) {
    fatal_stop("Failed to list the " + std::string(what) + " directory " + utf8::to_text_lossy(directory) + ": " +
               error.diagnostic());
}

std::vector<std::uint32_t> heights_in(const std::string& directory, std::string_view suffix,
                                      std::string_view what, const Options& options) {
    if (probes(options)) {
        if (const auto listable = check_listable(directory); !listable) stop_unlisted(directory, what, listable.error());
        return {};
    }
    auto heights = list_heights(directory, suffix);
    if (!heights) stop_unlisted(directory, what, heights.error());
    return std::move(*heights);
}

struct Range {
    std::uint32_t from;
    std::uint32_t to;
};

// The range to scan, or nothing when it holds no height.
std::optional<Range> range_of(const Options& options, const StoreIndex& index) {
    const auto extent = index.extent();
    if (!extent && !(options.from && options.to)) return std::nullopt;
    const std::uint32_t from = options.from ? *options.from : extent->first;
    const std::uint32_t to = options.to ? *options.to : extent->second;
    if (from > to) return std::nullopt;
    return Range{from, to};
}

// Checks what the command line holds and reads the two heights.
std::optional<UsageError> check_options(Options& options) {
    for (const auto& [name, text, height] : {std::tuple{"--from", &options.from_text, &options.from},
                                             std::tuple{"--to", &options.to_text, &options.to}}) {
        if (!*text) continue;
        *height = parse_block_height(**text);
        if (!*height) {
            return UsageError{std::string(name) + ": " + **text +
                              " is not a block height (a decimal number from 0 to 4294967295)"};
        }
    }
    if (options.from && options.to && *options.from > *options.to) {
        return UsageError{"--from " + *options.from_text + " is above --to " + *options.to_text};
    }
    if (options.torrents && options.format == "csv") {
        return UsageError{"--torrents cannot be used with --format csv"};
    }
    return std::nullopt;
}

std::string block_suffix(const NetworkPaths& paths) { return "." + paths.currency_tag; }

StoreIndex index_store(const NetworkPaths& paths, const Options& options) {
    return StoreIndex{heights_in(paths.block_dir, block_suffix(paths), "block", options),
                      heights_in(paths.torrent_dir, TORRENT_FILE_SUFFIX, "torrent", options)};
}

ScanPlan plan_for(const Range& range, const Options& options) {
    ScanPlan plan;
    plan.from = range.from;
    plan.to = range.to;
    plan.jobs = options.jobs;
    plan.probe = probes(options);
    return plan;
}

int run_dump(const Options& options) {
    const NetworkPaths paths = load_paths(options);
    const StoreIndex index = index_store(paths, options);
    const DumpShape shape{options.format == "csv" ? DumpFormat::Csv : DumpFormat::JsonLines, !options.no_proof,
                          options.torrents};
    if (shape.format == DumpFormat::Csv) print(Stream::Stdout, CSV_HEADER);
    const auto range = range_of(options, index);
    if (!range) return EXIT_STATUS_SUCCESS;

    ScanPlan plan = plan_for(*range, options);
    plan.read_torrents = options.torrents;
    plan.only_blocks = true;
    plan.in_worker = [&shape](HeightScan& scan) {
        scan.text = dump_line(scan, shape);
        // Only failures are needed after this; the records themselves can go.
        if (scan.block && *scan.block) scan.block.reset();
        if (scan.torrent && *scan.torrent) scan.torrent.reset();
    };
    bool failed = false;
    ProgressLine progress("dump", heights_between(range->from, range->to), shows_progress(options));
    scan_store(paths, index, plan, [&](std::span<HeightScan> window) {
        std::size_t size = 0;
        for (const HeightScan& scan : window) size += scan.text.size();
        std::string out;
        out.reserve(size);
        std::string errors;
        for (const HeightScan& scan : window) {
            out += scan.text;
            errors += dump_errors(scan);
        }
        failed = failed || !errors.empty();
        if (!out.empty()) {
            progress.make_room_for(Stream::Stdout);
            print(Stream::Stdout, out);
        }
        if (!errors.empty()) {
            progress.make_room_for(Stream::Stderr);
            print(Stream::Stderr, errors);
        }
        if (!window.empty()) progress.advance(heights_between(range->from, window.back().height));
    });
    progress.hide();
    return failed ? EXIT_STATUS_FAILURE : EXIT_STATUS_SUCCESS;
}

int run_verify(const Options& options) {
    const NetworkPaths paths = load_paths(options);
    const StoreIndex index = index_store(paths, options);
    const auto range = range_of(options, index);
    if (!range) {
        print(Stream::Stdout, empty_verify_summary(options.json));
        return EXIT_STATUS_SUCCESS;
    }
    ScanPlan plan = plan_for(*range, options);
    plan.read_torrents = true;
    VerifyReport report(range->from, range->to, options.json);
    ProgressLine progress("verify", heights_between(range->from, range->to), shows_progress(options));
    scan_store(paths, index, plan, [&](std::span<HeightScan> window) {
        for (const HeightScan& scan : window) report.add(scan);
        const std::string lines = report.take_lines();
        if (!lines.empty()) {
            progress.make_room_for(Stream::Stdout);
            print(Stream::Stdout, lines);
        }
        if (!window.empty()) progress.advance(heights_between(range->from, window.back().height));
    });
    progress.hide();
    print(Stream::Stdout, report.finish());
    return report.found_problems() ? EXIT_STATUS_FAILURE : EXIT_STATUS_SUCCESS;
}

// For shell completion: the heights of the block (or torrent) directory, one
// a line, or nothing when the settings cannot be found.
int run_complete_heights(const Options& options) {
    const auto settings = load_settings_once(options);
    if (!settings) return EXIT_STATUS_SUCCESS;
    const NetworkPaths paths = testnet_paths_from(*settings);
    const bool blocks = options.directory == "blocks";
    const auto heights = list_heights(blocks ? paths.block_dir : paths.torrent_dir,
                                      blocks ? block_suffix(paths) : std::string(TORRENT_FILE_SUFFIX));
    if (!heights) return EXIT_STATUS_SUCCESS;
    std::string out;
    for (const std::uint32_t height : *heights) out += std::to_string(height) + "\n";
    print(Stream::Stdout, out);
    return EXIT_STATUS_SUCCESS;
}

constexpr const char* EXIT_STATUSES =
    "Exit status: 0 done and nothing wrong; 1 a height could not be read or decoded (dump) or a problem\n"
    "was found (verify); 2 usage error, settings that do not load, a directory that cannot be listed,\n"
    "or output that cannot be written.";

void add_common_options(CLI::App& command, Options& options) {
    command.add_option("--from", options.from_text, "first height (default: the lowest in the store)")
        ->type_name("H");
    command.add_option("--to", options.to_text, "last height (default: the highest in the store)")
        ->type_name("H");
    command.add_option("--jobs", options.jobs, "worker threads (default: the number of processors)")
        ->type_name("N")
        ->check(CLI::Range(1u, MAX_JOBS));
    command.add_option("--config", options.config,
                       "settings file (default: SETTINGS_PATH, ./settings.ini, settings.ini beside the program)")
        ->type_name("PATH");
    CLI::Option* progress =
        command.add_flag("--progress", options.progress, "show a progress line on standard error (default: when it is a terminal)");
    command.add_flag("--no-progress", options.no_progress, "never show the progress line")->excludes(progress);
}

}  // namespace

int main(int argc, char** argv) {
    start_tool(argc, argv);
    Options options;
    CLI::App app{"Reads or checks every height of a range of the test network's block store.", "chainscan"};
    app.set_version_flag("--version", std::string("chainscan ") + VIEWERS_VERSION);
    app.require_subcommand(1, 1);
    app.footer(std::string(EXIT_STATUSES) + "\n\nExample: chainscan verify --config /srv/node/settings.ini");

    CLI::App* dump = app.add_subcommand("dump", "one line per block: JSON Lines (default) or CSV");
    add_common_options(*dump, options);
    dump->add_flag("--torrents", options.torrents, "add each height's torrent record (null when it has none)");
    dump->add_flag("--no-proof", options.no_proof, "leave the proof out");
    dump->add_option("--format", options.format, "jsonl or csv (default: jsonl)")
        ->check(CLI::IsMember({"jsonl", "csv"}));
    dump->footer(std::string(EXIT_STATUSES) + "\n\nExample: chainscan dump --from 100 --to 199 --no-proof | jq .hash_value");

    CLI::App* verify = app.add_subcommand("verify", "check that the store holds together; one line per problem");
    add_common_options(*verify, options);
    verify->add_flag("--json", options.json, "JSON Lines instead of text");
    verify->footer(std::string(EXIT_STATUSES) + "\n\nExample: chainscan verify --from 0 --to 99999 --json | jq -c 'select(.type == \"summary\")'");

    // Hidden: what the shell completion asks for.
    CLI::App* complete = app.add_subcommand("complete-heights", "")->group("");
    complete->add_option("directory", options.directory)->check(CLI::IsMember({"blocks", "torrents"}));
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
    if (const auto problem = check_options(options)) {
        print(Stream::Stderr, "Error: " + problem->text + " (see 'chainscan --help')\n");
        return EXIT_STATUS_FATAL;
    }
    if (complete->parsed()) return run_complete_heights(options);
    return dump->parsed() ? run_dump(options) : run_verify(options);
}

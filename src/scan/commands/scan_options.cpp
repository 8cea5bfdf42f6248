#include "scan/commands/scan_options.hpp"

#include <mutex>

#include <tuple>

#include "common/process_arguments.hpp"
#include "common/tool_entry.hpp"
#include "common/utf8.hpp"
#include "config/settings_location.hpp"
#include "scan/store/height_listing.hpp"
#include "scan/views/progress_line.hpp"
#include "torrent/torrent_file.hpp"

namespace quorvane {

namespace {

// With both ends given and few heights between them, each height's files are
// read by name instead of listing directories that may hold millions.
constexpr std::uint32_t PROBE_RANGE_LIMIT = 4096;

bool probes(const ScanOptions& options) {
    return options.from && options.to && *options.to - *options.from < PROBE_RANGE_LIMIT;
}

[[noreturn]] void stop_unlisted(const std::string& directory, std::string_view what, const IoError& error) {
    fatal_stop("Failed to list the " + std::string(what) + " directory " + utf8::to_text_lossy(directory) + ": " +
               error.diagnostic());
}

HeightSet heights_in(const std::string& directory, std::string_view suffix, std::string_view what, bool probe) {
    if (probe) {
        if (const auto listable = check_listable(directory); !listable) stop_unlisted(directory, what, listable.error());
        return {};
    }
    auto heights = list_height_set(directory, suffix);
    if (!heights) stop_unlisted(directory, what, heights.error());
    return std::move(*heights);
}

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

}  // namespace

std::optional<std::string> check_options(ScanOptions& options) {
    for (const auto& [name, text, height] : {std::tuple{"--from", &options.from_text, &options.from},
                                             std::tuple{"--to", &options.to_text, &options.to}}) {
        if (!*text) continue;
        *height = parse_block_height(**text);
        if (!*height) {
            return std::string(name) + ": " + **text + " is not a block height (a decimal number from 0 to 4294967295)";
        }
    }
    if (options.from && options.to && *options.from > *options.to) {
        return "--from " + *options.from_text + " is above --to " + *options.to_text;
    }
    // The parser let through only the words listed here.
    const ScanOptions::Words& words = options.words;
    options.format = words.format == "csv" ? OutputFormat::Csv : words.format == "sql" ? OutputFormat::Sql : OutputFormat::JsonLines;
    options.engine = sql_engine_named(words.engine);
    options.read_threads = words.read_threads == "decoding"    ? ReadThreads::Decoding
                           : words.read_threads == "in-flight" ? ReadThreads::InFlight
                                                               : ReadThreads::Adapting;
    options.directory = words.directory == "torrents" ? RecordKind::Torrent : RecordKind::Block;
    if (options.torrents && options.format != OutputFormat::JsonLines) {
        return "--torrents cannot be used with --format " + words.format;
    }
    if (options.command == Command::Dump) {
        if (options.format == OutputFormat::Sql && !options.engine) {
            return "--format sql needs --for duckdb, postgresql or sqlite";
        }
        if (options.format != OutputFormat::Sql && options.engine) return "--for needs --format sql";
    }
    if (!is_plain_identifier(options.table)) {
        return "--table: " + utf8::to_text_lossy(options.table) +
               " is not a plain SQL name (ASCII letters, digits and _, not starting with a digit, at most 63)";
    }
    return std::nullopt;
}

std::expected<NodeSettings, SettingsError> load_settings_once(const ScanOptions& options) {
    ProcessContext context = current_process_context();
    context.arguments.resize(std::min<std::size_t>(context.arguments.size(), 1));
    if (options.config) {
        context.arguments.push_back(std::string(CONFIG_OPTION));
        context.arguments.push_back(*options.config);
    }
    return load_settings_from(locate_settings_file(context).value_or(""), HomeLookup(home_directory));
}

StoreLayout load_layout(const ScanOptions& options) {
    const auto settings = load_settings_once(options);
    if (!settings) fatal_stop(settings_failure_text(settings.error()));
    return StoreLayout(testnet_paths_from(*settings));
}

StoreIndex index_store(const StoreLayout& layout, const ScanOptions& options, Listing listing) {
    const bool probe = listing == Listing::WhenNeeded && probes(options);
    const auto heights_of = [&](RecordKind kind) {
        return heights_in(layout.directory(kind), layout.suffix(kind), StoreLayout::noun(kind), probe);
    };
    return StoreIndex{heights_of(RecordKind::Block), heights_of(RecordKind::Torrent)};
}

std::optional<HeightRange> range_of(const ScanOptions& options, const StoreIndex& index) {
    const auto extent = index.extent();
    if (!extent && !(options.from && options.to)) return std::nullopt;
    const std::uint32_t from = options.from ? *options.from : extent->first;
    const std::uint32_t to = options.to ? *options.to : extent->second;
    if (from > to) return std::nullopt;
    return HeightRange{from, to};
}

ScanPlan plan_for(const HeightRange& range, const ScanOptions& options) {
    ScanPlan plan;
    plan.from = range.from;
    plan.to = range.to;
    plan.jobs = options.jobs;
    plan.probe = probes(options);
    plan.read_threads = options.read_threads;
    plan.read_engine = options.read_engine;
    plan.on_no_ring = [](const std::string& reason) {
        // Once a run, however many scans a follow run makes.
        static std::once_flag told;
        std::call_once(told, [&] {
            print(Stream::Stderr, "Warning: io_uring cannot be used (" + reason + "); reading with threads\n");
        });
    };
    plan.on_fewer_workers = [](unsigned running, unsigned asked, const std::string& reason) {
        print(Stream::Stderr, "Warning: only " + std::to_string(running) + " of " + std::to_string(asked) +
                                  " threads could be started (" + reason + "); going on with " +
                                  std::to_string(running) + "\n");
    };
    return plan;
}

bool shows_progress(const ScanOptions& options) {
    if (options.no_progress) return false;
    return options.progress || stderr_is_terminal();
}

}  // namespace quorvane

#include "scan/commands/run_setup.hpp"

#include <mutex>

#include "common/process_arguments.hpp"
#include "common/tool_entry.hpp"
#include "common/utf8.hpp"
#include "config/settings_location.hpp"
#include "scan/store/height_listing.hpp"

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

// A directory whose heights are read by name need only be one that could be listed.
enum class DirectoryUse { Listed, CheckedOnly };

HeightSet heights_in(const std::string& directory, std::string_view suffix, std::string_view what, DirectoryUse use) {
    if (use == DirectoryUse::CheckedOnly) {
        if (const auto listable = check_listable(directory); !listable) stop_unlisted(directory, what, listable.error());
        return {};
    }
    auto heights = list_height_set(directory, suffix);
    if (!heights) stop_unlisted(directory, what, heights.error());
    return std::move(*heights);
}

// The settings file the other tools would read: --config, SETTINGS_PATH, the
// current directory, beside the program; empty where there is none.
std::string settings_path_of(const ScanOptions& options) {
    ProcessContext context = current_process_context();
    context.arguments.resize(std::min<std::size_t>(context.arguments.size(), 1));
    if (options.config) {
        context.arguments.push_back(std::string(CONFIG_OPTION));
        context.arguments.push_back(*options.config);
    }
    return locate_settings_file(context).value_or("");
}

StoreLayout layout_or_stop(const std::expected<NodeSettings, SettingsError>& settings, std::string_view store,
                           const std::string& path) {
    if (!settings) {
        fatal_stop("Failed to load the settings of " + std::string(store) + " (" +
                   (path.empty() ? std::string("no settings file found") : utf8::to_text_lossy(path)) +
                   "): " + settings.error().diagnostic());
    }
    return StoreLayout(testnet_paths_from(*settings));
}

}  // namespace

std::expected<NodeSettings, SettingsError> load_settings_once(const ScanOptions& options) {
    return load_settings_from(settings_path_of(options), HomeLookup(home_directory));
}

StoreLayout load_this_layout(const ScanOptions& options) {
    const std::string path = settings_path_of(options);
    return layout_or_stop(load_settings_from(path, HomeLookup(home_directory)), "this store", path);
}

StoreLayout load_other_layout(const std::string& settings_path) {
    return layout_or_stop(load_settings_from(settings_path, HomeLookup(home_directory)), "the other store",
                          settings_path);
}

StoreLayout load_layout(const ScanOptions& options) {
    const auto settings = load_settings_once(options);
    if (!settings) fatal_stop(settings_failure_text(settings.error()));
    return StoreLayout(testnet_paths_from(*settings));
}

std::optional<MetricsFile> metrics_file_for(const ScanOptions& options, const StoreLayout& layout) {
    if (!options.metrics_file) return std::nullopt;
    if (const auto refusal = metrics_file_refusal(*options.metrics_file, layout)) fatal_stop(*refusal);
    return MetricsFile(*options.metrics_file);
}

void write_metrics_or_stop(const MetricsFile& file, std::string_view text) {
    if (const auto written = file.replace(text); !written) {
        fatal_stop("failed writing the metrics file " + utf8::to_text_lossy(file.path()) + ": " + written.error().message());
    }
}

void notify_service(ServiceNotifier& notifier, const std::string& message, const ScanOptions& options, bool& said) {
    const auto sent = notifier.send(message);
    if (sent || !options.verbose || said) return;
    said = true;
    print(Stream::Stderr, "Note: cannot reach the service manager's socket NOTIFY_SOCKET (" + sent.error() +
                              "); going on without it\n");
}

StoreIndex index_store(const StoreLayout& layout, const ScanOptions& options, ListingNeed need) {
    const DirectoryUse use =
        need == ListingNeed::WhenNeeded && probes(options) ? DirectoryUse::CheckedOnly : DirectoryUse::Listed;
    const auto heights_of = [&](RecordKind kind) {
        return heights_in(layout.directory(kind), layout.suffix(kind), StoreLayout::noun(kind), use);
    };
    return StoreIndex{heights_of(RecordKind::Block), heights_of(RecordKind::Torrent)};
}

std::optional<HeightRange> range_of(const ScanOptions& options, const StoreIndex& index) {
    return range_over(options, index.extent());
}

std::optional<HeightRange> range_over(const ScanOptions& options,
                                      const std::optional<std::pair<std::uint32_t, std::uint32_t>>& extent) {
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

ProgressShown progress_shown(const ScanOptions& options) {
    const bool shown = options.progress == ProgressChoice::Always ||
                       (options.progress == ProgressChoice::WhenTerminal && stderr_is_terminal());
    return shown ? ProgressShown::On : ProgressShown::Off;
}

}  // namespace quorvane

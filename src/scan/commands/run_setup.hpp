#pragma once

// The steps every scanning command takes before it reads a record: the
// settings, the store's layout and listing, the range, the plan.

#include <cstdint>
#include <expected>
#include <optional>

#include "config/settings.hpp"
#include "config/settings_error.hpp"
#include "scan/commands/metrics_file.hpp"
#include "scan/commands/scan_options.hpp"
#include "scan/store/height_scan.hpp"
#include "scan/store/store_layout.hpp"
#include "scan/views/progress_line.hpp"
#include "scan/watch/service_notify.hpp"

namespace quorvane {

struct HeightRange {
    std::uint32_t from;
    std::uint32_t to;
    std::uint64_t size() const { return std::uint64_t{to} - from + 1; }
};

// The settings, found as the other tools find them: --config, SETTINGS_PATH,
// the current directory, beside the program.
std::expected<NodeSettings, SettingsError> load_settings_once(const ScanOptions& options);

// The test network's store layout; settings that do not load are a fatal stop.
StoreLayout load_layout(const ScanOptions& options);

// The same for a command that reads two stores: this one (--config or the
// usual search) and the other (`settings_path`); the message of a fatal stop
// names the store and its settings file.
StoreLayout load_this_layout(const ScanOptions& options);
StoreLayout load_other_layout(const std::string& settings_path);

// The metrics file asked for, if any; a path that cannot take one is a
// fatal stop, before anything of the store is read.
std::optional<MetricsFile> metrics_file_for(const ScanOptions& options, const StoreLayout& layout);

// Writes the metrics file; one that cannot be written is a fatal stop.
void write_metrics_or_stop(const MetricsFile& file, std::string_view text);

// Tells the service manager `message`, where one asked for it; with
// --verbose, a socket that cannot be reached is said once (`said`).
void notify_service(ServiceNotifier& notifier, const std::string& message, const ScanOptions& options, bool& said);

// Whether the directories are listed: only when the range is too long to be
// read by name (WhenNeeded), or in any case.
enum class ListingNeed { WhenNeeded, Always };

// The heights of both directories (none where the range is read by name); a
// directory that cannot be listed is a fatal stop.
StoreIndex index_store(const StoreLayout& layout, const ScanOptions& options, ListingNeed need = ListingNeed::WhenNeeded);

// The range to scan, or nothing when it holds no height: --from and --to,
// else the lowest and highest height of the store (or of `extent`).
std::optional<HeightRange> range_of(const ScanOptions& options, const StoreIndex& index);
std::optional<HeightRange> range_over(const ScanOptions& options,
                                      const std::optional<std::pair<std::uint32_t, std::uint32_t>>& extent);

ScanPlan plan_for(const HeightRange& range, const ScanOptions& options);

ProgressShown progress_shown(const ScanOptions& options);

}  // namespace quorvane

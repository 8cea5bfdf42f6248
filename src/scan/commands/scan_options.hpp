#pragma once

// What a chainscan command line asks for, and the steps every command takes
// from it: the settings, the store's heights, the range.

#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "common/network_paths_and_settings.hpp"
#include "scan/store/store_layout.hpp"
#include "config/settings.hpp"
#include "scan/store/height_scan.hpp"
#include "scan/views/sql_schema.hpp"

namespace quorvane {

enum class Command { Dump, Verify, Stats, Report, Schema, CompleteHeights };
enum class OutputFormat { JsonLines, Csv, Sql };

// What a chainscan command line asks for. The parser fills `words` and the
// flags; check_options turns the words into the typed values below once,
// and nothing after it reads a word again.
struct ScanOptions {
    struct Words {
        std::string format = "jsonl";          // dump: jsonl, csv or sql
        std::string engine;                    // schema, dump --format sql
        std::string read_threads = "adapting";  // hidden: adapting, decoding or in-flight
        std::string directory = "blocks";      // complete-heights
    };
    Words words;

    Command command = Command::Dump;
    std::optional<std::string> from_text;
    std::optional<std::string> to_text;
    std::optional<std::uint32_t> from;  // the two above, once checked
    std::optional<std::uint32_t> to;
    std::optional<std::string> config;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    bool torrents = false;
    bool no_proof = false;
    OutputFormat format = OutputFormat::JsonLines;
    bool json = false;
    bool prometheus = false;
    bool follow = false;
    ReadThreads read_threads = ReadThreads::Adapting;
    ReadEngine read_engine = ReadEngine::Auto;  // hidden: auto, io_uring or threads
    bool progress = false;
    bool no_progress = false;
    RecordKind directory = RecordKind::Block;  // complete-heights
    std::optional<SqlEngine> engine;
    std::string table = "blocks";  // schema, dump --format sql
};

// Checks what the command line holds, reads the two heights and the words;
// the text of the usage error otherwise.
std::optional<std::string> check_options(ScanOptions& options);

// The settings, found as the other tools find them: --config, SETTINGS_PATH,
// the current directory, beside the program.
std::expected<NodeSettings, SettingsError> load_settings_once(const ScanOptions& options);

// The test network's store layout; settings that do not load are a fatal stop.
StoreLayout load_layout(const ScanOptions& options);

// The heights of both directories (none when the range is short enough to be
// read by name, unless `listed`); a directory that cannot be listed is a
// fatal stop.
enum class Listing { WhenNeeded, Always };
StoreIndex index_store(const StoreLayout& layout, const ScanOptions& options, Listing listing = Listing::WhenNeeded);


struct HeightRange {
    std::uint32_t from;
    std::uint32_t to;
    std::uint64_t size() const { return std::uint64_t{to} - from + 1; }
};

// The range to scan, or nothing when it holds no height.
std::optional<HeightRange> range_of(const ScanOptions& options, const StoreIndex& index);

ScanPlan plan_for(const HeightRange& range, const ScanOptions& options);

bool shows_progress(const ScanOptions& options);

}  // namespace quorvane

#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/word_table.hpp"
#include "scan/store/store_layout.hpp"
#include "scan/store/height_set.hpp"
#include "scan/store/record_failure.hpp"
#include "records/unpack_block/unpack_header.hpp"
#include "torrent/structs.hpp"
#include "torrent/torrent_file.hpp"

namespace quorvane {

// A block file read once, with the hash its header gives.
struct ScannedBlock {
    BlockContents contents;
    std::string hash;  // 64 lowercase hex digits
};

// A height's records as read, before any decoding.
struct RawRecords {
    std::optional<std::expected<RawBlock, std::string>> block;
    std::optional<std::expected<TorrentFileContent, IoError>> torrent;
};

// What the store holds for one height; a record that could not be had is
// kept as what failed.
struct HeightScan {
    std::uint32_t height = 0;
    bool block_present = false;
    bool torrent_present = false;
    std::optional<std::expected<ScannedBlock, RecordFailure>> block;  // read when present
    std::optional<std::expected<Torrent, RecordFailure>> torrent;     // read when present and asked for
    RawRecords raw;  // between reading and decoding only
};

// Heights handed on together, ascending, with what the plan's worker step
// made of each (at the same positions; empty strings where there is none).
struct ScannedWindow {
    std::span<HeightScan> heights;
    std::span<std::string> made;
};

// What a scan did, beside what it handed on.
struct ScanTally {
    std::uint64_t read_through_rings = 0;  // records the io_uring rings read whole
};

// The heights of both record directories, ascending.
struct StoreIndex {
    HeightSet blocks;
    HeightSet torrents;

    // The lowest and highest height in either list; nothing for an empty store.
    std::optional<std::pair<std::uint32_t, std::uint32_t>> extent() const;
};

// Reads kept in flight by default, whatever the number of processors: on a
// store that is not in the page cache the disk, not the processor, sets the
// pace, and it serves many requests at once faster than few.
inline constexpr unsigned READS_IN_FLIGHT = 32;

// How many threads read: as many as decode while the records come from the
// page cache and `reads_in_flight` while they come from storage (Adapting),
// or always the one or the other.
enum class ReadThreads { Adapting, Decoding, InFlight };

// --read-threads's words (hidden, for tests and benchmarks).
inline constexpr WordTable<ReadThreads, 3> READ_THREADS_WORDS = {{
    {"adapting", ReadThreads::Adapting}, {"decoding", ReadThreads::Decoding}, {"in-flight", ReadThreads::InFlight}}};

// How the files are read: through one io_uring ring per decoding thread
// where the kernel allows it and with plain calls on a pool of threads
// otherwise (Auto), or only the one way. A ring that cannot be had leaves
// the plain way in every case.
enum class ReadEngine { Auto, Ring, Threads };

// --read-engine's words (hidden, for tests and benchmarks).
inline constexpr WordTable<ReadEngine, 3> READ_ENGINE_WORDS = {{
    {"auto", ReadEngine::Auto}, {"io_uring", ReadEngine::Ring}, {"threads", ReadEngine::Threads}}};

// What the workers make of the bytes they read: the records, decoded (the
// bytes let go), or the bytes as read, left in each height's `raw`.
enum class RecordDecoding { Decoded, BytesOnly };

struct ScanPlan {
    std::uint32_t from = 0;
    std::uint32_t to = 0;
    unsigned jobs = 1;  // threads that decode
    unsigned reads_in_flight = READS_IN_FLIGHT;  // threads that read (the decoding ones among them)
    ReadThreads read_threads = ReadThreads::Adapting;
    ReadEngine read_engine = ReadEngine::Auto;
    bool read_torrents = false;
    bool only_blocks = false;  // skip heights that have no block file
    RecordDecoding decoding = RecordDecoding::Decoded;
    // Take every height of the range, leaving the index aside, and learn
    // what is there by reading it: for a short range of a large store.
    bool probe = false;
    // Runs on the worker that read the height, in any order; what it returns
    // is handed on beside the height. It may let go of the records.
    std::function<std::string(HeightScan&)> in_worker;
    // Asked before each window; the scan ends early when it says so.
    std::function<bool()> should_stop;
    // Told once when not every worker thread could be started: how many run
    // (the calling thread counted), how many were asked for, and why.
    std::function<void(unsigned running, unsigned asked, const std::string& reason)> on_fewer_workers;
    // Told when a ring was asked for by name (ReadEngine::Ring) and could
    // not be had, and why; the plain reads go on.
    std::function<void(const std::string& reason)> on_no_ring;
};

// Reads every height of the range that has a block file or a torrent record
// (or only a block file) on `plan.reads_in_flight` threads, decodes them on
// `plan.jobs` of those, and hands them to `consume` on the calling thread in
// ascending order, a bounded window at a time.
ScanTally scan_store(const StoreLayout& layout, const StoreIndex& index, const ScanPlan& plan,
                     const std::function<void(const ScannedWindow&)>& consume);

// What a scan reads of each height.
struct RecordReads {
    const StoreLayout* layout = nullptr;
    bool read_torrent = false;
    // Every height is asked for by name: a record that cannot be read and
    // has no directory entry is taken as absent (and a torrent record is
    // read, if not kept, to learn whether it is there).
    bool probe = false;
    // The two record directories, opened once: each file is then looked up
    // by its own name alone, not by walking its whole path again. Where one
    // could not be opened, whole paths.
    int block_directory = -1;
    int torrent_directory = -1;

    int opened_directory(RecordKind kind) const { return kind == RecordKind::Block ? block_directory : torrent_directory; }
};

// The reading half: the records' bytes, or why they could not be read.
void read_height(const RecordReads& reads, HeightScan& slot);

// read_height's two parts: the block file, and the torrent record.
void read_block_record(const RecordReads& reads, HeightScan& slot);
void read_torrent_record(const RecordReads& reads, HeightScan& slot);

// The decoding half: the records (and the block's hash) from the bytes read,
// which are let go.
void decode_height(HeightScan& slot);

enum class TorrentRecord { Skipped, Read };

// One height asked for by name, read and decoded: a record that is not
// there is absent, its torrent record read too or not at all.
HeightScan read_by_name(const StoreLayout& layout, std::uint32_t height, TorrentRecord torrent);

}  // namespace quorvane

#include "common/tool_entry.hpp"
#include "scan/commands.hpp"
#include "scan/csv_columns.hpp"
#include "scan/dump_lines.hpp"
#include "scan/progress_line.hpp"

namespace quorvane {

int run_dump(const ScanOptions& options) {
    const NetworkPaths paths = load_paths(options);
    const StoreIndex index = index_store(paths, options);
    const DumpShape shape{options.format == "csv" ? DumpFormat::Csv : DumpFormat::JsonLines, !options.no_proof,
                          options.torrents};
    if (shape.format == DumpFormat::Csv) print(Stream::Stdout, csv_header());
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
    ProgressLine progress("dump", range->size(), shows_progress(options));
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
        if (!window.empty()) progress.advance(HeightRange{range->from, window.back().height}.size());
    });
    progress.hide();
    return failed ? EXIT_STATUS_FAILURE : EXIT_STATUS_SUCCESS;
}

}  // namespace quorvane

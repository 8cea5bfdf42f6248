#include "scan/views/dump_lines.hpp"

#include "common/binary_conversions.hpp"

namespace quorvane {

bool reads_torrents(const DumpShape& shape) { return shape.torrents || lines_from(shape) == RecordKind::Torrent; }

RecordKind lines_from(const DumpShape& shape) {
    return shape.format == DumpFormat::Csv ? table_shape(shape.table).source : RecordKind::Block;
}

std::string dump_line(const HeightScan& scan, const DumpShape& shape) {
    if (shape.format == DumpFormat::Csv) return csv_rows(table_shape(shape.table), records_of(scan));
    if (!scan.block || !*scan.block) return {};
    const ScannedBlock& block = **scan.block;
    const VrfBlock& header = block.contents.header;
    std::string line;
    line.reserve(shape.proof ? 1700 : 360);
    line += R"({"height":)";
    line += std::to_string(scan.height);
    line += R"(,"difficulty":)";
    line += difficulty_text(block.hash);
    line += R"(,"hash_value":")";
    line += block.hash;
    line += R"(","vrf_block":)";
    line += compact_json_text(header);
    if (shape.proof) {
        line += R"(,"proof":")";
        append_hex(line, block.contents.proof);
        line += '"';
    }
    if (shape.torrents) {
        line += R"(,"torrent":)";
        line += scan.torrent && *scan.torrent ? torrent_compact_json_text(**scan.torrent) : "null";
    }
    line += "}\n";
    return line;
}

std::string dump_errors(const HeightScan& scan) {
    return dump_errors(scan, DumpShape{DumpFormat::JsonLines, false, true});
}

std::string dump_errors(const HeightScan& scan, const DumpShape& shape) {
    std::string lines;
    const std::string height = std::to_string(scan.height) + ": ";
    if (scan.block && !*scan.block && lines_from(shape) == RecordKind::Block) lines += height + scan.block->error().tool_line() + "\n";
    if (scan.torrent && !*scan.torrent) lines += height + scan.torrent->error().tool_line() + "\n";
    return lines;
}

}  // namespace quorvane

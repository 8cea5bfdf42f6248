#pragma once

#include <string>
#include <string_view>

#include "scan/store/height_scan.hpp"
#include "scan/views/store_tables.hpp"

namespace quorvane {

enum class DumpFormat { JsonLines, Csv };

struct DumpShape {
    DumpFormat format = DumpFormat::JsonLines;
    bool proof = true;
    bool torrents = false;
    StoreTable table = StoreTable::Blocks;  // CSV's
};

// Whether the output needs each height's torrent record.
bool reads_torrents(const DumpShape& shape);
// The record whose heights give the output its lines.
RecordKind lines_from(const DumpShape& shape);

// The output line of a height whose block file was read, with its newline:
// the values crestview prints (and under `torrents` the record swarmview
// prints, or null). Empty when the block could not be read. As CSV: the
// rows the height gives the table, each with its newline.
std::string dump_line(const HeightScan& scan, const DumpShape& shape);

// The lines for standard error: what crestview and swarmview print for
// records they cannot read, after the height ("7: "). A missing torrent
// record is not an error here.
std::string dump_errors(const HeightScan& scan);
// The same for the records the output is made of: a CSV table of torrent
// records leaves what the block files hold, failures included, aside.
std::string dump_errors(const HeightScan& scan, const DumpShape& shape);

}  // namespace quorvane

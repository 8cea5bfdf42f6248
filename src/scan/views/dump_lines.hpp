#pragma once

#include <string>
#include <string_view>

#include "scan/store/height_scan.hpp"

namespace quorvane {

enum class DumpFormat { JsonLines, Csv };

struct DumpShape {
    DumpFormat format = DumpFormat::JsonLines;
    bool proof = true;
    bool torrents = false;
};

// The output line of a height whose block file was read, with its newline:
// the values crestview prints (and under `torrents` the record swarmview
// prints, or null). Empty when the block could not be read.
std::string dump_line(const HeightScan& scan, const DumpShape& shape);

// The lines for standard error: what crestview and swarmview print for
// records they cannot read, after the height ("7: "). A missing torrent
// record is not an error here.
std::string dump_errors(const HeightScan& scan);

}  // namespace quorvane

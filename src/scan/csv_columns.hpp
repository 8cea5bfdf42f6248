#pragma once

// The columns of `dump --format csv`, in order, with the range of values
// each holds: the CSV header and every SQL schema are made from this table,
// so a new column reaches all of them at once.

#include <array>
#include <string>
#include <string_view>

namespace quorvane {

enum class ColumnValues {
    Unsigned8,
    Unsigned32,
    Unsigned64,   // may exceed 2^63 - 1
    Unsigned128,  // may exceed 2^64 - 1
    Text,
};

struct CsvColumn {
    std::string_view name;
    ColumnValues values;
};

inline constexpr std::array<CsvColumn, 9> CSV_COLUMNS = {{
    {"height", ColumnValues::Unsigned32},
    {"hash_value", ColumnValues::Text},
    {"difficulty", ColumnValues::Unsigned64},
    {"timestamp", ColumnValues::Unsigned32},
    {"miner", ColumnValues::Text},
    {"previous_hash", ColumnValues::Text},
    {"next_block_difficulty", ColumnValues::Unsigned64},
    {"nonce", ColumnValues::Unsigned8},
    {"vrf", ColumnValues::Unsigned128},
}};

// The header line, with its newline.
std::string csv_header();

}  // namespace quorvane

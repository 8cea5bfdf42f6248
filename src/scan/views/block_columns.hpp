#pragma once

// The columns of a block's row, in order: the CSV header and rows, every SQL
// schema and the SQL stream are made from this one table, so a new column
// reaches all of them at once.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "scan/store/height_scan.hpp"

namespace quorvane {

enum class ColumnValues {
    Unsigned8,
    Unsigned32,
    Unsigned64,   // may exceed 2^63 - 1
    Unsigned128,  // may exceed 2^64 - 1
    Text,
};

// What a row is made from: a height whose block was read and decoded.
struct RowSource {
    std::uint32_t height;
    const ScannedBlock& block;
};

struct BlockColumn {
    std::string_view name;
    ColumnValues values;
    // Appends the value: decimal digits for numbers, the text as it is.
    void (*append)(std::string& out, const RowSource& source);
};

std::span<const BlockColumn> block_columns();

bool is_number(ColumnValues values);

// The columns' names in order, `separator` between them.
std::string column_names(std::string_view separator);
// `difficulty` of a block with this hash, in decimal digits.
std::string difficulty_text(const std::string& hash);

// The CSV header line, with its newline.
std::string csv_header();
// The CSV row, with its newline.
std::string csv_row(const RowSource& source);

}  // namespace quorvane

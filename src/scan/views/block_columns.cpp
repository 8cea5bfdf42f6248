#include "scan/views/block_columns.hpp"

#include <array>

#include "common/binary_conversions.hpp"
#include "common/uint128.hpp"

namespace quorvane {

namespace {

const UnminedBlock& unmined(const RowSource& source) { return source.block.contents.header.unmined_block; }

constexpr std::array<BlockColumn, 9> BLOCK_COLUMNS = {{
    {"height", ColumnValues::Unsigned32,
     [](std::string& out, const RowSource& source) { out += std::to_string(source.height); }},
    {"hash_value", ColumnValues::Text, [](std::string& out, const RowSource& source) { out += source.block.hash; }},
    {"difficulty", ColumnValues::Unsigned64,
     [](std::string& out, const RowSource& source) { out += difficulty_text(source.block.hash); }},
    {"timestamp", ColumnValues::Unsigned32,
     [](std::string& out, const RowSource& source) { out += std::to_string(unmined(source).timestamp); }},
    {"miner", ColumnValues::Text, [](std::string& out, const RowSource& source) { out += unmined(source).miner; }},
    {"previous_hash", ColumnValues::Text,
     [](std::string& out, const RowSource& source) { out += unmined(source).previous_hash; }},
    {"next_block_difficulty", ColumnValues::Unsigned64,
     [](std::string& out, const RowSource& source) { out += std::to_string(unmined(source).next_block_difficulty); }},
    {"nonce", ColumnValues::Unsigned8,
     [](std::string& out, const RowSource& source) { out += std::to_string(unmined(source).nonce); }},
    {"vrf", ColumnValues::Unsigned128,
     [](std::string& out, const RowSource& source) { out += to_decimal(source.block.contents.header.vrf); }},
}};

}  // namespace

std::span<const BlockColumn> block_columns() { return BLOCK_COLUMNS; }

bool is_number(ColumnValues values) { return values != ColumnValues::Text; }

std::string column_names(std::string_view separator) {
    std::string names;
    for (const BlockColumn& column : BLOCK_COLUMNS) {
        if (!names.empty()) names += separator;
        names += column.name;
    }
    return names;
}

std::string difficulty_text(const std::string& hash) {
    // A computed hash is always 64 hex digits, so this never fails.
    return std::to_string(hash_to_difficulty(hash).value_or(0));
}

std::string csv_header() { return column_names(",") + '\n'; }

std::string csv_row(const RowSource& source) {
    std::string row;
    row.reserve(320);
    for (const BlockColumn& column : BLOCK_COLUMNS) {
        if (!row.empty()) row += ',';
        column.append(row, source);
    }
    return row + '\n';
}

}  // namespace quorvane

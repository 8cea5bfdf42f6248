#pragma once

// The tables a store is loaded into, one row of STORE_TABLES each: a name,
// the record its rows come from, how many rows a height gives, and the
// columns in order with the key marked. The CSV header and rows, every SQL
// schema and the SQL stream are made from this one table of tables, so a
// new column or a new table reaches all of them at once.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/word_table.hpp"
#include "scan/store/height_scan.hpp"
#include "scan/store/record_kind.hpp"

namespace quorvane {

enum class ColumnValues {
    Unsigned8,
    Unsigned32,
    Unsigned64,   // may exceed 2^63 - 1
    Unsigned128,  // may exceed 2^64 - 1
    Text,
};

// Whether a column is part of its table's primary key.
enum class KeyPart { No, Yes };
// Whether a column may hold NULL.
enum class Nulls { Never, Maybe };

// What a height's rows are made from: its records that were read and
// decoded (null where there is none).
struct HeightRecords {
    std::uint32_t height;
    const ScannedBlock* block = nullptr;
    const Torrent* torrent = nullptr;
};

// One row of a height: the `index`th of the rows its table makes of it.
struct RowSource {
    const HeightRecords& records;
    std::size_t index = 0;
};

struct Column {
    std::string_view name;
    ColumnValues values;
    KeyPart key;
    Nulls nulls;
    // Appends the value (decimal digits for numbers, the text as it is) and
    // returns true, or appends nothing and returns false for NULL.
    bool (*append)(std::string& out, const RowSource& source);
};

enum class StoreTable { Blocks, Torrents, TorrentPieces };

// The tables by the names they have by default, which are also the words
// that choose one (dump --csv-table) and the names of their CSV files.
inline constexpr WordTable<StoreTable, 3> STORE_TABLE_WORDS = {{
    {"blocks", StoreTable::Blocks}, {"torrents", StoreTable::Torrents}, {"torrent_pieces", StoreTable::TorrentPieces}}};

struct TableShape {
    StoreTable table;
    std::string_view name;  // by default
    RecordKind source;      // the record its rows are made from
    std::span<const Column> columns;
    // How many rows a height gives (none where its record is not there).
    std::size_t (*rows)(const HeightRecords& records);
    // PostgreSQL's staging table: the rows go there through COPY, then into the table.
    std::string_view staging;
};

const TableShape& table_shape(StoreTable table);

// Whether each height has one row at most, keyed by its height alone: then
// its row is replaced in place, else a height's rows are replaced together.
bool keyed_by_height(const TableShape& shape);

// The tables as named in one database: `blocks` (--table), and the torrent
// tables named after it: `torrents` and `torrent_pieces` beside `blocks`,
// NAME_torrents and NAME_torrent_pieces beside any other NAME.
std::string table_name(StoreTable table, std::string_view blocks_name);

bool is_number(ColumnValues values);

// The columns' names in order, `separator` between them.
std::string column_names(const TableShape& shape, std::string_view separator);
// `difficulty` of a block with this hash, in decimal digits.
std::string difficulty_text(const std::string& hash);

// The CSV header line, with its newline.
std::string csv_header(const TableShape& shape);
// The CSV rows of a height, each with its newline; a NULL is an empty field.
std::string csv_rows(const TableShape& shape, const HeightRecords& records);

// The records of a height as read, where they decoded.
HeightRecords records_of(const HeightScan& scan);

}  // namespace quorvane

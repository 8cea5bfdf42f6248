#pragma once

// SQL for an engine's own command-line client to read from a pipe: the
// tables, made if they are missing, then batches of heights. Each batch is
// one transaction after which every table's rows for its heights are what
// the store held: the rows made of each record read, none for the others.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scan/views/sql_schema.hpp"
#include "scan/views/store_tables.hpp"

namespace quorvane {

// The rows a height gives each table of the stream, as the engine takes
// them, packed into one text so that the worker that made them can hand
// them on beside the height.
struct HeightRows {
    std::uint32_t height;
    std::string packed;
};

// How many rows of every table a height's packed rows hold.
std::size_t rows_in(std::string_view packed);

class SqlStream {
public:
    // The tables by table_name after `blocks_name`.
    SqlStream(SqlEngine engine, std::string_view blocks_name, TorrentTables torrents);

    // What comes before the first batch.
    std::string opening() const;
    HeightRows rows(const HeightRecords& records) const;
    // Heights `first` to `last`: `rows` (ascending, within them) replace the
    // rows of their heights in each table, and the other heights lose theirs.
    std::string batch(std::uint32_t first, std::uint32_t last, std::span<const HeightRows> rows) const;

private:
    struct Table {
        const TableShape* shape;
        std::string name;
    };

    void append_row(std::string& text, const TableShape& shape, const RowSource& source) const;
    void replace_by_height(std::string& sql, std::size_t table, std::uint32_t first, std::uint32_t last,
                           std::span<const HeightRows> rows) const;
    void insert_rows(std::string& sql, std::size_t table, std::span<const HeightRows> rows) const;
    // The table's rows COPYed into its PostgreSQL staging table, whose name comes back.
    std::string copy_into_staging(std::string& sql, std::size_t table, std::span<const HeightRows> rows) const;
    void replace_through_staging(std::string& sql, std::size_t table, std::uint32_t first, std::uint32_t last,
                                 std::span<const HeightRows> rows) const;
    std::size_t rows_for(std::size_t table, std::span<const HeightRows> rows) const;

    SqlEngine engine_;
    std::vector<Table> tables_;
};

// 'text' with its quotes doubled; bytes that are not UTF-8, and NUL, which
// no engine takes in text, become U+FFFD.
std::string sql_text_literal(std::string_view text);
// A text field of PostgreSQL's COPY text format, escaped the same way.
std::string copy_text_field(std::string_view text);

}  // namespace quorvane

#pragma once

// SQL for an engine's own command-line client to read from a pipe: the
// table, made if it is missing, then batches of heights. Each batch is one
// transaction after which the table's rows for its heights are what the
// store held: a row for each block read, none for the other heights.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "scan/views/block_columns.hpp"
#include "scan/views/sql_schema.hpp"

namespace quorvane {

// A block's row, as the stream's engine takes it.
struct SqlRow {
    std::uint32_t height;
    std::string text;
};

class SqlStream {
public:
    SqlStream(SqlEngine engine, std::string table) : engine_(engine), table_(std::move(table)) {}

    // What comes before the first batch.
    std::string opening() const;
    SqlRow row(const RowSource& source) const;
    // Heights `first` to `last`: `rows` (ascending, within them) replace the
    // rows of their heights, and the other heights lose theirs.
    std::string batch(std::uint32_t first, std::uint32_t last, std::span<const SqlRow> rows) const;

private:
    void insert_rows(std::string& sql, std::span<const SqlRow> rows) const;

    SqlEngine engine_;
    std::string table_;
};

// 'text' with its quotes doubled; bytes that are not UTF-8, and NUL, which
// no engine takes in text, become U+FFFD.
std::string sql_text_literal(std::string_view text);
// A text field of PostgreSQL's COPY text format, escaped the same way.
std::string copy_text_field(std::string_view text);

}  // namespace quorvane

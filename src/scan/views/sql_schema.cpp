#include "scan/views/sql_schema.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "scan/views/block_columns.hpp"

namespace quorvane {

namespace {

// Column types by engine (in SqlEngine's order) for each range of values
// (in ColumnValues' order). PostgreSQL has no unsigned integers: each type is
// the smallest that holds the whole unsigned range. SQLite's integers stop at
// 2^63 - 1, and a larger number given to an INTEGER or NUMERIC column turns
// into an inexact REAL: such columns are TEXT.
constexpr std::array<std::array<std::string_view, 3>, 5> COLUMN_TYPES = {{
    {"UTINYINT", "smallint", "INTEGER"},          // Unsigned8
    {"UINTEGER", "bigint", "INTEGER"},            // Unsigned32
    {"UBIGINT", "numeric(20,0)", "TEXT"},         // Unsigned64
    {"UHUGEINT", "numeric(39,0)", "TEXT"},        // Unsigned128
    {"VARCHAR", "text", "TEXT"},                  // Text
}};

std::string_view column_type(SqlEngine engine, ColumnValues values) {
    return COLUMN_TYPES[static_cast<std::size_t>(values)][static_cast<std::size_t>(engine)];
}

// "a, b and c"
std::string listed(const std::vector<std::string_view>& items) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += i + 1 == items.size() ? " and " : ", ";
        out += items[i];
    }
    return out;
}

std::string_view largest_value(ColumnValues values) {
    return values == ColumnValues::Unsigned128 ? "2^128-1" : values == ColumnValues::Unsigned64 ? "2^64-1" : "";
}

// Which numbers SQLite keeps as text, and how to sort them, from the columns.
std::string sqlite_note() {
    std::vector<std::string_view> names;
    std::vector<std::string_view> largest;
    for (const BlockColumn& column : block_columns()) {
        if (!is_number(column.values) || column_type(SqlEngine::Sqlite, column.values) != "TEXT") continue;
        names.push_back(column.name);
        const std::string_view value = largest_value(column.values);
        if (std::find(largest.begin(), largest.end(), value) == largest.end()) largest.push_back(value);
    }
    if (names.empty()) return {};
    const std::string last(names.back());
    return "-- SQLite integers stop at 2^63-1, so " + listed(names) + "\n-- (up to " + listed(largest) +
           ") are kept as TEXT holding every decimal digit.\n-- Compare or sort them as numbers with ORDER BY length(" +
           last + "), " + last + ".\n";
}

}  // namespace

std::string create_table(SqlEngine engine, std::string_view table, TableExists exists) {
    std::string sql = exists == TableExists::Kept ? "CREATE TABLE IF NOT EXISTS " : "CREATE TABLE ";
    sql += table;
    sql += " (\n";
    const auto columns = block_columns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const BlockColumn& column = columns[i];
        sql += "    ";
        sql += column.name;
        sql += ' ';
        sql += column_type(engine, column.values);
        if (i == 0) sql += " PRIMARY KEY";
        sql += i + 1 < columns.size() ? ",\n" : "\n";
    }
    sql += ");\n";
    return sql;
}

std::string sql_schema(SqlEngine engine, std::string_view table) {
    const std::string name(table);
    switch (engine) {
        case SqlEngine::DuckDb:
            return create_table(engine, table, TableExists::Refused) + "COPY " + name + " FROM 'blocks.csv' (HEADER);\n";
        case SqlEngine::PostgreSql:
            return create_table(engine, table, TableExists::Refused) + "\\copy " + name +
                   " FROM 'blocks.csv' WITH (FORMAT csv, HEADER)\n";
        case SqlEngine::Sqlite:
            return sqlite_note() + create_table(engine, table, TableExists::Refused) + ".import --csv --skip 1 blocks.csv " +
                   name + "\n";
    }
    return {};
}

}  // namespace quorvane

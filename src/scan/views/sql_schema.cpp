#include "scan/views/sql_schema.hpp"

#include <algorithm>
#include <array>
#include <vector>

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

// Which numbers of the table SQLite keeps as text, and how to sort them.
std::string sqlite_note(const TableShape& shape) {
    std::vector<std::string_view> names;
    std::vector<std::string_view> largest;
    for (const Column& column : shape.columns) {
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

// .import reads an empty field as '', never as NULL: the columns that may
// hold NULL are set so after the load.
std::string sqlite_nulls(const TableShape& shape, const std::string& name) {
    std::string sql;
    for (const Column& column : shape.columns) {
        if (column.nulls == Nulls::Never) continue;
        const std::string column_name(column.name);
        sql += "-- An empty " + column_name + " in the CSV file stands for NULL.\n";
        sql += "UPDATE " + name + " SET " + column_name + " = NULL WHERE " + column_name + " = '';\n";
    }
    return sql;
}

std::string table_schema(SqlEngine engine, const TableShape& shape, const std::string& name) {
    const std::string file = std::string(shape.name) + ".csv";
    switch (engine) {
        case SqlEngine::DuckDb:
            return create_table(engine, shape, name, TableExists::Refused) + "COPY " + name + " FROM '" + file +
                   "' (HEADER);\n";
        case SqlEngine::PostgreSql:
            return create_table(engine, shape, name, TableExists::Refused) + "\\copy " + name + " FROM '" + file +
                   "' WITH (FORMAT csv, HEADER)\n";
        case SqlEngine::Sqlite:
            return sqlite_note(shape) + create_table(engine, shape, name, TableExists::Refused) +
                   ".import --csv --skip 1 " + file + " " + name + "\n" + sqlite_nulls(shape, name);
    }
    return {};
}

}  // namespace

std::string_view column_type(SqlEngine engine, ColumnValues values) {
    return COLUMN_TYPES[static_cast<std::size_t>(values)][static_cast<std::size_t>(engine)];
}

std::vector<StoreTable> tables_of(TorrentTables torrents) {
    if (torrents == TorrentTables::Left) return {StoreTable::Blocks};
    return {StoreTable::Blocks, StoreTable::Torrents, StoreTable::TorrentPieces};
}

std::string create_table(SqlEngine engine, const TableShape& shape, std::string_view name, TableExists exists) {
    std::string sql = exists == TableExists::Kept ? "CREATE TABLE IF NOT EXISTS " : "CREATE TABLE ";
    sql += name;
    sql += " (\n";
    std::vector<std::string_view> key;
    for (const Column& column : shape.columns) {
        if (column.key == KeyPart::Yes) key.push_back(column.name);
    }
    for (std::size_t i = 0; i < shape.columns.size(); ++i) {
        const Column& column = shape.columns[i];
        sql += "    ";
        sql += column.name;
        sql += ' ';
        sql += column_type(engine, column.values);
        if (key.size() == 1 && column.key == KeyPart::Yes) sql += " PRIMARY KEY";
        sql += i + 1 < shape.columns.size() || key.size() > 1 ? ",\n" : "\n";
    }
    if (key.size() > 1) {
        sql += "    PRIMARY KEY (";
        for (std::size_t i = 0; i < key.size(); ++i) {
            if (i > 0) sql += ", ";
            sql += key[i];
        }
        sql += ")\n";
    }
    sql += ");\n";
    return sql;
}

std::string sql_schema(SqlEngine engine, std::string_view blocks_name, TorrentTables torrents) {
    std::string sql;
    for (const StoreTable table : tables_of(torrents)) {
        if (!sql.empty()) sql += '\n';
        sql += table_schema(engine, table_shape(table), table_name(table, blocks_name));
    }
    return sql;
}

}  // namespace quorvane

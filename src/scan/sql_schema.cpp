#include "scan/sql_schema.hpp"

#include "scan/csv_columns.hpp"

namespace quorvane {

namespace {

std::string_view duckdb_type(ColumnValues values) {
    switch (values) {
        case ColumnValues::Unsigned8: return "UTINYINT";
        case ColumnValues::Unsigned32: return "UINTEGER";
        case ColumnValues::Unsigned64: return "UBIGINT";
        case ColumnValues::Unsigned128: return "UHUGEINT";
        case ColumnValues::Text: return "VARCHAR";
    }
    return "VARCHAR";
}

// PostgreSQL has no unsigned integers: each type is the smallest that holds
// the whole unsigned range.
std::string_view postgresql_type(ColumnValues values) {
    switch (values) {
        case ColumnValues::Unsigned8: return "smallint";
        case ColumnValues::Unsigned32: return "bigint";
        case ColumnValues::Unsigned64: return "numeric(20,0)";
        case ColumnValues::Unsigned128: return "numeric(39,0)";
        case ColumnValues::Text: return "text";
    }
    return "text";
}

// SQLite's integers stop at 2^63 - 1, and a larger number given to an
// INTEGER or NUMERIC column turns into an inexact REAL: such columns are TEXT.
std::string_view sqlite_type(ColumnValues values) {
    switch (values) {
        case ColumnValues::Unsigned8:
        case ColumnValues::Unsigned32: return "INTEGER";
        case ColumnValues::Unsigned64:
        case ColumnValues::Unsigned128:
        case ColumnValues::Text: return "TEXT";
    }
    return "TEXT";
}

constexpr std::string_view SQLITE_NOTE =
    "-- SQLite integers stop at 2^63-1, so difficulty, next_block_difficulty and vrf\n"
    "-- (up to 2^64-1 and 2^128-1) are kept as TEXT holding every decimal digit.\n"
    "-- Compare or sort them as numbers with ORDER BY length(vrf), vrf.\n";

std::string create_table(std::string_view table, std::string_view (*type_of)(ColumnValues)) {
    std::string sql = "CREATE TABLE ";
    sql += table;
    sql += " (\n";
    for (std::size_t i = 0; i < CSV_COLUMNS.size(); ++i) {
        const CsvColumn& column = CSV_COLUMNS[i];
        sql += "    ";
        sql += column.name;
        sql += ' ';
        sql += type_of(column.values);
        if (i == 0) sql += " PRIMARY KEY";
        sql += i + 1 < CSV_COLUMNS.size() ? ",\n" : "\n";
    }
    sql += ");\n";
    return sql;
}

}  // namespace

std::optional<SqlEngine> sql_engine_named(std::string_view name) {
    if (name == "duckdb") return SqlEngine::DuckDb;
    if (name == "postgresql") return SqlEngine::PostgreSql;
    if (name == "sqlite") return SqlEngine::Sqlite;
    return std::nullopt;
}

std::string sql_schema(SqlEngine engine, std::string_view table) {
    const std::string name(table);
    switch (engine) {
        case SqlEngine::DuckDb:
            return create_table(table, duckdb_type) + "COPY " + name + " FROM 'blocks.csv' (HEADER);\n";
        case SqlEngine::PostgreSql:
            return create_table(table, postgresql_type) + "\\copy " + name +
                   " FROM 'blocks.csv' WITH (FORMAT csv, HEADER)\n";
        case SqlEngine::Sqlite:
            return std::string(SQLITE_NOTE) + create_table(table, sqlite_type) + ".import --csv --skip 1 blocks.csv " +
                   name + "\n";
    }
    return {};
}

}  // namespace quorvane

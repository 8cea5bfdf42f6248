#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/word_table.hpp"
#include "scan/views/store_tables.hpp"

namespace quorvane {

enum class SqlEngine { DuckDb, PostgreSql, Sqlite };

// --for's words.
inline constexpr WordTable<SqlEngine, 3> SQL_ENGINE_WORDS = {{
    {"duckdb", SqlEngine::DuckDb}, {"postgresql", SqlEngine::PostgreSql}, {"sqlite", SqlEngine::Sqlite}}};

// Whether the statement that creates a table accepts one that exists.
enum class TableExists { Refused, Kept };

// Whether the torrent tables come beside `blocks`.
enum class TorrentTables { Left, Included };

// The tables in the order they are made and loaded: `blocks` first.
std::vector<StoreTable> tables_of(TorrentTables torrents);

// The engine's type for a column of these values.
std::string_view column_type(SqlEngine engine, ColumnValues values);

// CREATE TABLE `name` with a column for each of the table's CSV columns,
// typed so that every value is kept exactly, and its key.
std::string create_table(SqlEngine engine, const TableShape& shape, std::string_view name, TableExists exists);

// For each table, the statements that create it as above and load its CSV
// file (blocks.csv, torrents.csv, torrent_pieces.csv) into it. The tables
// are named by table_name after `blocks_name`, which must be a plain
// identifier; it is written as it stands.
std::string sql_schema(SqlEngine engine, std::string_view blocks_name, TorrentTables torrents);

}  // namespace quorvane

#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/word_table.hpp"

namespace quorvane {

enum class SqlEngine { DuckDb, PostgreSql, Sqlite };

// --for's words.
inline constexpr WordTable<SqlEngine, 3> SQL_ENGINE_WORDS = {{
    {"duckdb", SqlEngine::DuckDb}, {"postgresql", SqlEngine::PostgreSql}, {"sqlite", SqlEngine::Sqlite}}};

// Whether the statement that creates a table accepts one that exists.
enum class TableExists { Refused, Kept };

// CREATE TABLE with a column for each CSV column, typed so that every value
// is kept exactly, `height` the primary key.
std::string create_table(SqlEngine engine, std::string_view table, TableExists exists);

// The statements that create `table` with a column for each CSV column, typed
// so that every value is kept exactly, and load blocks.csv into it. `table`
// must be a plain identifier; it is written as it stands.
std::string sql_schema(SqlEngine engine, std::string_view table);

}  // namespace quorvane

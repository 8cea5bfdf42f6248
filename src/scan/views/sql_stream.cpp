#include "scan/views/sql_stream.hpp"

#include "common/utf8.hpp"

namespace quorvane {

namespace {

// The rows of one INSERT statement: larger statements save little, and
// every engine takes this many in one.
constexpr std::size_t ROWS_PER_INSERT = 500;

// PostgreSQL's rows go through COPY into this table, then into the real one
// in one upsert: nearly the speed of COPY itself.
constexpr std::string_view POSTGRES_LOAD_TABLE = "chainscan_load";
constexpr std::string_view POSTGRES_LOAD_TABLE_QUALIFIED = "pg_temp.chainscan_load";

std::string usable_text(std::string_view text) {
    std::string usable = utf8::is_valid(text) ? std::string(text) : utf8::to_text_lossy(text);
    for (std::size_t at = usable.find('\0'); at != std::string::npos; at = usable.find('\0', at)) {
        usable.replace(at, 1, "\xEF\xBF\xBD");
    }
    return usable;
}

// A value as it stands in a VALUES row: numbers as digits, except where the
// engine's type for them is text (SQLite's wide columns) or where a bare
// literal would be read as a double (DuckDB above 2^127 - 1).
void append_literal(std::string& out, SqlEngine engine, ColumnValues values, const std::string& value) {
    const bool wide = values == ColumnValues::Unsigned64 || values == ColumnValues::Unsigned128;
    if (!is_number(values) || (engine == SqlEngine::Sqlite && wide)) {
        out += sql_text_literal(value);
    } else if (engine == SqlEngine::DuckDb && values == ColumnValues::Unsigned128) {
        out += '\'' + value + "'::UHUGEINT";
    } else {
        out += value;
    }
}

}  // namespace

std::string sql_text_literal(std::string_view text) {
    std::string literal = "'";
    for (const char c : usable_text(text)) {
        literal += c;
        if (c == '\'') literal += c;
    }
    return literal + "'";
}

std::string copy_text_field(std::string_view text) {
    std::string field;
    for (const char c : usable_text(text)) {
        switch (c) {
            case '\\': field += "\\\\"; break;
            case '\t': field += "\\t"; break;
            case '\n': field += "\\n"; break;
            case '\r': field += "\\r"; break;
            default: field += c;
        }
    }
    return field;
}

std::string SqlStream::opening() const {
    std::string sql;
    switch (engine_) {
        case SqlEngine::PostgreSql:
            // "already exists, skipping" is no news to the reader of the client's output.
            sql += "SET client_min_messages = warning;\n";
            break;
        case SqlEngine::Sqlite:
            // Readers of the database hold its lock for a moment; the writer waits for them.
            sql += ".timeout 60000\n";
            break;
        case SqlEngine::DuckDb:
            break;
    }
    sql += create_table(engine_, table_, TableExists::Kept);
    if (engine_ == SqlEngine::PostgreSql) {
        sql += "CREATE TEMP TABLE " + std::string(POSTGRES_LOAD_TABLE) + " (LIKE " + table_ +
               ") ON COMMIT DELETE ROWS;\n";
    }
    return sql;
}

SqlRow SqlStream::row(const RowSource& source) const {
    SqlRow row{source.height, {}};
    std::string& text = row.text;
    text.reserve(320);
    const bool copy_row = engine_ == SqlEngine::PostgreSql;
    text += copy_row ? "" : "(";
    std::string value;
    const auto columns = block_columns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) text += copy_row ? '\t' : ',';
        value.clear();
        columns[i].append(value, source);
        if (copy_row) {
            text += is_number(columns[i].values) ? value : copy_text_field(value);
        } else {
            append_literal(text, engine_, columns[i].values, value);
        }
    }
    text += copy_row ? "\n" : ")";
    return row;
}

std::string SqlStream::batch(std::uint32_t first, std::uint32_t last, std::span<const SqlRow> rows) const {
    std::string sql = "BEGIN;\n";
    // Heights without a row: one statement for each run of them.
    std::uint64_t next = first;
    const auto remove_until = [&](std::uint64_t end) {
        if (next < end) {
            sql += "DELETE FROM " + table_ + " WHERE height BETWEEN " + std::to_string(next) + " AND " +
                   std::to_string(end - 1) + ";\n";
        }
    };
    for (const SqlRow& row : rows) {
        remove_until(row.height);
        next = std::uint64_t{row.height} + 1;
    }
    remove_until(std::uint64_t{last} + 1);
    if (!rows.empty()) insert_rows(sql, rows);
    return sql + "COMMIT;\n";
}

void SqlStream::insert_rows(std::string& sql, std::span<const SqlRow> rows) const {
    if (engine_ == SqlEngine::PostgreSql) {
        sql += "COPY " + std::string(POSTGRES_LOAD_TABLE_QUALIFIED) + " (" + column_names(", ") + ") FROM STDIN;\n";
        for (const SqlRow& row : rows) sql += row.text;
        sql += "\\.\nINSERT INTO " + table_ + " SELECT * FROM " + std::string(POSTGRES_LOAD_TABLE_QUALIFIED) +
               " ON CONFLICT (height) DO UPDATE SET ";
        bool first = true;
        for (const BlockColumn& column : block_columns().subspan(1)) {
            if (!first) sql += ", ";
            first = false;
            sql += std::string(column.name) + " = EXCLUDED." + std::string(column.name);
        }
        sql += ";\n";
        return;
    }
    for (std::size_t start = 0; start < rows.size(); start += ROWS_PER_INSERT) {
        sql += "INSERT OR REPLACE INTO " + table_ + " VALUES\n";
        const std::size_t end = std::min(rows.size(), start + ROWS_PER_INSERT);
        for (std::size_t i = start; i < end; ++i) {
            sql += rows[i].text;
            sql += i + 1 < end ? ",\n" : ";\n";
        }
    }
}

}  // namespace quorvane

#include "scan/views/sql_stream.hpp"

#include "common/utf8.hpp"

namespace quorvane {

namespace {

// The rows of one INSERT statement: larger statements save little, and
// every engine takes this many in one.
constexpr std::size_t ROWS_PER_INSERT = 500;

// PostgreSQL's rows go through COPY into a staging table of this schema,
// then into the real one in one statement: nearly the speed of COPY itself.
constexpr std::string_view POSTGRES_STAGING_SCHEMA = "pg_temp.";

// A table's part of a height's packed rows: how many rows, then their text.
// Texts never hold NUL (usable_text), so NUL ends each part.
struct Part {
    std::size_t count = 0;
    std::string_view text;
};

void pack(std::string& packed, std::size_t count, const std::string& text) {
    packed += std::to_string(count);
    packed += ':';
    packed += text;
    packed += '\0';
}

Part part_of(std::string_view packed, std::size_t table) {
    std::size_t at = 0;
    for (;;) {
        const std::size_t colon = packed.find(':', at);
        const std::size_t end = packed.find('\0', colon);
        if (table-- == 0) {
            Part part;
            for (std::size_t i = at; i < colon; ++i) part.count = part.count * 10 + static_cast<std::size_t>(packed[i] - '0');
            part.text = packed.substr(colon + 1, end - colon - 1);
            return part;
        }
        at = end + 1;
    }
}

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

std::size_t rows_in(std::string_view packed) {
    std::size_t count = 0;
    while (!packed.empty()) {
        const Part part = part_of(packed, 0);
        count += part.count;
        packed.remove_prefix(packed.find('\0') + 1);
    }
    return count;
}

SqlStream::SqlStream(SqlEngine engine, std::string_view blocks_name, TorrentTables torrents) : engine_(engine) {
    for (const StoreTable table : tables_of(torrents)) tables_.push_back({&table_shape(table), table_name(table, blocks_name)});
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
    for (const Table& table : tables_) {
        sql += create_table(engine_, *table.shape, table.name, TableExists::Kept);
        if (engine_ == SqlEngine::PostgreSql) {
            sql += "CREATE TEMP TABLE " + std::string(table.shape->staging) + " (LIKE " + table.name +
                   ") ON COMMIT DELETE ROWS;\n";
        }
    }
    return sql;
}

HeightRows SqlStream::rows(const HeightRecords& records) const {
    HeightRows rows{records.height, {}};
    std::string text;
    for (const Table& table : tables_) {
        const std::size_t count = table.shape->rows(records);
        text.clear();
        for (std::size_t index = 0; index < count; ++index) {
            if (index > 0 && engine_ != SqlEngine::PostgreSql) text += ",\n";
            append_row(text, *table.shape, {records, index});
        }
        pack(rows.packed, count, text);
    }
    return rows;
}

void SqlStream::append_row(std::string& text, const TableShape& shape, const RowSource& source) const {
    const bool copy_row = engine_ == SqlEngine::PostgreSql;
    text += copy_row ? "" : "(";
    std::string value;
    for (std::size_t i = 0; i < shape.columns.size(); ++i) {
        const Column& column = shape.columns[i];
        if (i > 0) text += copy_row ? '\t' : ',';
        value.clear();
        if (!column.append(value, source)) {
            text += copy_row ? "\\N" : "NULL";
        } else if (copy_row) {
            text += is_number(column.values) ? value : copy_text_field(value);
        } else {
            append_literal(text, engine_, column.values, value);
        }
    }
    text += copy_row ? "\n" : ")";
}

std::string SqlStream::batch(std::uint32_t first, std::uint32_t last, std::span<const HeightRows> rows) const {
    std::string sql = "BEGIN;\n";
    for (std::size_t table = 0; table < tables_.size(); ++table) {
        if (keyed_by_height(*tables_[table].shape)) {
            replace_by_height(sql, table, first, last, rows);
        } else if (engine_ == SqlEngine::PostgreSql && rows_for(table, rows) > 0) {
            replace_through_staging(sql, table, first, last, rows);
        } else {
            // A height's rows go together: a record rewritten with fewer
            // leaves none of the old ones behind.
            sql += "DELETE FROM " + tables_[table].name + " WHERE height BETWEEN " + std::to_string(first) + " AND " +
                   std::to_string(last) + ";\n";
            insert_rows(sql, table, rows);
        }
    }
    return sql + "COMMIT;\n";
}

void SqlStream::replace_by_height(std::string& sql, std::size_t table, std::uint32_t first, std::uint32_t last,
                                  std::span<const HeightRows> rows) const {
    // Heights without a row: one statement for each run of them.
    std::uint64_t next = first;
    const auto remove_until = [&](std::uint64_t end) {
        if (next < end) {
            sql += "DELETE FROM " + tables_[table].name + " WHERE height BETWEEN " + std::to_string(next) + " AND " +
                   std::to_string(end - 1) + ";\n";
        }
    };
    for (const HeightRows& row : rows) {
        if (part_of(row.packed, table).count == 0) continue;
        remove_until(row.height);
        next = std::uint64_t{row.height} + 1;
    }
    remove_until(std::uint64_t{last} + 1);
    insert_rows(sql, table, rows);
}

std::size_t SqlStream::rows_for(std::size_t table, std::span<const HeightRows> rows) const {
    std::size_t total = 0;
    for (const HeightRows& row : rows) total += part_of(row.packed, table).count;
    return total;
}

void SqlStream::replace_through_staging(std::string& sql, std::size_t table, std::uint32_t first, std::uint32_t last,
                                        std::span<const HeightRows> rows) const {
    const TableShape& shape = *tables_[table].shape;
    const std::string& name = tables_[table].name;
    const std::string staging = copy_into_staging(sql, table, rows);
    std::string same_key;  // new.k = kept.k AND ...
    std::string same_row;  // and the other columns the same
    for (const Column& column : shape.columns) {
        const std::string column_name(column.name);
        std::string& terms = column.key == KeyPart::Yes ? same_key : same_row;
        terms.append(" AND new.").append(column_name);
        terms.append(column.key == KeyPart::Yes ? " = " : " IS NOT DISTINCT FROM ").append("kept.").append(column_name);
    }
    same_key.erase(0, 5);
    // The batch's rows that the store no longer gives as they are (a record
    // rewritten, or gone); then the rows not there. A row that is the same
    // is not written again: a run over heights already loaded rewrites
    // nothing, and one into an empty table inserts without conflicts.
    sql += "DELETE FROM " + name + " AS kept WHERE kept.height BETWEEN " + std::to_string(first) + " AND " +
           std::to_string(last) + " AND NOT EXISTS (SELECT 1 FROM " + staging + " AS new WHERE " + same_key + same_row +
           ");\n";
    sql += "INSERT INTO " + name + " SELECT * FROM " + staging + " AS new WHERE NOT EXISTS (SELECT 1 FROM " + name +
           " AS kept WHERE " + same_key + ");\n";
}

std::string SqlStream::copy_into_staging(std::string& sql, std::size_t table, std::span<const HeightRows> rows) const {
    const TableShape& shape = *tables_[table].shape;
    const std::string staging = std::string(POSTGRES_STAGING_SCHEMA) + std::string(shape.staging);
    sql += "COPY " + staging + " (" + column_names(shape, ", ") + ") FROM STDIN;\n";
    for (const HeightRows& row : rows) sql += part_of(row.packed, table).text;
    sql += "\\.\n";
    return staging;
}

void SqlStream::insert_rows(std::string& sql, std::size_t table, std::span<const HeightRows> rows) const {
    const TableShape& shape = *tables_[table].shape;
    const std::string& name = tables_[table].name;
    if (rows_for(table, rows) == 0) return;
    if (engine_ == SqlEngine::PostgreSql) {
        // Only tables keyed by height come here.
        const std::string target = copy_into_staging(sql, table, rows);
        std::string key;
        std::string updates;
        for (const Column& column : shape.columns) {
            std::string& list = column.key == KeyPart::Yes ? key : updates;
            if (!list.empty()) list += ", ";
            list += column.name;
            if (column.key == KeyPart::No) list.append(" = EXCLUDED.").append(column.name);
        }
        sql += "INSERT INTO " + name + " SELECT * FROM " + target + " ON CONFLICT (" + key + ") DO UPDATE SET " +
               updates + ";\n";
        return;
    }
    // Statements of ROWS_PER_INSERT rows or a little more: a height's rows
    // are never split. A table keyed by height has its rows replaced in
    // place; the others had the batch's rows deleted before.
    const std::string statement = (keyed_by_height(shape) ? "INSERT OR REPLACE INTO " : "INSERT INTO ") + name + " VALUES\n";
    std::size_t in_statement = 0;
    for (const HeightRows& row : rows) {
        const Part part = part_of(row.packed, table);
        if (part.count == 0) continue;
        sql += in_statement == 0 ? statement : std::string(",\n");
        sql += part.text;
        in_statement += part.count;
        if (in_statement >= ROWS_PER_INSERT) {
            sql += ";\n";
            in_statement = 0;
        }
    }
    if (in_statement > 0) sql += ";\n";
}

}  // namespace quorvane

#include "scan/views/store_tables.hpp"

#include <array>

#include "common/binary_conversions.hpp"
#include "common/uint128.hpp"

namespace quorvane {

namespace {

const ScannedBlock& block(const RowSource& source) { return *source.records.block; }
const UnminedBlock& unmined(const RowSource& source) { return block(source).contents.header.unmined_block; }
const Info& info(const RowSource& source) { return source.records.torrent->info; }
const Piece& piece(const RowSource& source) { return info(source).pieces[source.index]; }

bool append_height(std::string& out, const RowSource& source) {
    out += std::to_string(source.records.height);
    return true;
}

constexpr std::array<Column, 9> BLOCK_COLUMNS = {{
    {"height", ColumnValues::Unsigned32, KeyPart::Yes, Nulls::Never, append_height},
    {"hash_value", ColumnValues::Text, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += block(source).hash, true; }},
    {"difficulty", ColumnValues::Unsigned64, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += difficulty_text(block(source).hash), true; }},
    {"timestamp", ColumnValues::Unsigned32, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += std::to_string(unmined(source).timestamp), true; }},
    {"miner", ColumnValues::Text, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += unmined(source).miner, true; }},
    {"previous_hash", ColumnValues::Text, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += unmined(source).previous_hash, true; }},
    {"next_block_difficulty", ColumnValues::Unsigned64, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) {
         return out += std::to_string(unmined(source).next_block_difficulty), true;
     }},
    {"nonce", ColumnValues::Unsigned8, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += std::to_string(unmined(source).nonce), true; }},
    {"vrf", ColumnValues::Unsigned128, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += to_decimal(block(source).contents.header.vrf), true; }},
}};

constexpr std::array<Column, 12> TORRENT_COLUMNS = {{
    {"height", ColumnValues::Unsigned32, KeyPart::Yes, Nulls::Never, append_height},
    {"length", ColumnValues::Unsigned64, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += std::to_string(info(source).length), true; }},
    {"this_block_difficulty", ColumnValues::Unsigned64, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) {
         return out += std::to_string(info(source).this_block_difficulty), true;
     }},
    {"timestamp", ColumnValues::Unsigned32, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += std::to_string(info(source).timestamp), true; }},
    {"nonce", ColumnValues::Unsigned8, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += std::to_string(info(source).nonce), true; }},
    {"vrf", ColumnValues::Unsigned128, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += to_decimal(info(source).vrf), true; }},
    {"block_hash", ColumnValues::Text, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += info(source).block_hash, true; }},
    // A record of the form without a previous hash has NULL here.
    {"previous_hash", ColumnValues::Text, KeyPart::No, Nulls::Maybe,
     [](std::string& out, const RowSource& source) {
         out += info(source).previous_hash;
         return !info(source).previous_hash.empty();
     }},
    {"piece_length", ColumnValues::Unsigned32, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += std::to_string(info(source).piece_length), true; }},
    {"info_hash", ColumnValues::Text, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += info(source).info_hash, true; }},
    {"mined_by", ColumnValues::Text, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += source.records.torrent->mined_by, true; }},
    {"piece_count", ColumnValues::Unsigned8, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += std::to_string(info(source).pieces.size()), true; }},
}};

constexpr std::array<Column, 3> PIECE_COLUMNS = {{
    {"height", ColumnValues::Unsigned32, KeyPart::Yes, Nulls::Never, append_height},
    {"piece_index", ColumnValues::Unsigned8, KeyPart::Yes, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += std::to_string(piece(source).index), true; }},
    {"hash", ColumnValues::Text, KeyPart::No, Nulls::Never,
     [](std::string& out, const RowSource& source) { return out += piece(source).hash, true; }},
}};

// In StoreTable's order.
constexpr std::array<TableShape, 3> STORE_TABLES = {{
    {StoreTable::Blocks, "blocks", RecordKind::Block, BLOCK_COLUMNS,
     [](const HeightRecords& records) -> std::size_t { return records.block != nullptr; }, "chainscan_load"},
    {StoreTable::Torrents, "torrents", RecordKind::Torrent, TORRENT_COLUMNS,
     [](const HeightRecords& records) -> std::size_t { return records.torrent != nullptr; }, "chainscan_load_torrents"},
    {StoreTable::TorrentPieces, "torrent_pieces", RecordKind::Torrent, PIECE_COLUMNS,
     [](const HeightRecords& records) { return records.torrent ? records.torrent->info.pieces.size() : 0; },
     "chainscan_load_torrent_pieces"},
}};

static_assert([] {
    for (std::size_t i = 0; i < STORE_TABLES.size(); ++i) {
        const TableShape& shape = STORE_TABLES[i];
        if (static_cast<std::size_t>(shape.table) != i || shape.name != STORE_TABLE_WORDS[i].first) return false;
        // Every table is keyed by height first, so that a run of heights is one range of keys.
        if (shape.columns.empty() || shape.columns[0].name != "height" || shape.columns[0].key != KeyPart::Yes) return false;
    }
    return true;
}());

}  // namespace

const TableShape& table_shape(StoreTable table) { return STORE_TABLES[static_cast<std::size_t>(table)]; }

bool keyed_by_height(const TableShape& shape) {
    std::size_t keys = 0;
    for (const Column& column : shape.columns) keys += column.key == KeyPart::Yes;
    return keys == 1;
}

std::string table_name(StoreTable table, std::string_view blocks_name) {
    if (table == StoreTable::Blocks) return std::string(blocks_name);
    const std::string_view name = table_shape(table).name;
    if (blocks_name == table_shape(StoreTable::Blocks).name) return std::string(name);
    std::string named(blocks_name);
    return named.append("_").append(name);
}

bool is_number(ColumnValues values) { return values != ColumnValues::Text; }

std::string column_names(const TableShape& shape, std::string_view separator) {
    std::string names;
    for (const Column& column : shape.columns) {
        if (!names.empty()) names += separator;
        names += column.name;
    }
    return names;
}

std::string difficulty_text(const std::string& hash) {
    // A computed hash is always 64 hex digits, so this never fails.
    return std::to_string(hash_to_difficulty(hash).value_or(0));
}

std::string csv_header(const TableShape& shape) { return column_names(shape, ",") + '\n'; }

std::string csv_rows(const TableShape& shape, const HeightRecords& records) {
    const std::size_t count = shape.rows(records);
    std::string rows;
    rows.reserve(count * (shape.columns.size() * 16 + 1));
    for (std::size_t index = 0; index < count; ++index) {
        const RowSource source{records, index};
        for (std::size_t i = 0; i < shape.columns.size(); ++i) {
            if (i > 0) rows += ',';
            shape.columns[i].append(rows, source);
        }
        rows += '\n';
    }
    return rows;
}

HeightRecords records_of(const HeightScan& scan) {
    HeightRecords records{scan.height};
    if (scan.block && *scan.block) records.block = &**scan.block;
    if (scan.torrent && *scan.torrent) records.torrent = &**scan.torrent;
    return records;
}

}  // namespace quorvane

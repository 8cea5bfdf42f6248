#include "torrent/structs.hpp"

#include <cstring>
#include <optional>

#include "blocks/short_miner_address.hpp"
#include "common/binary_conversions.hpp"
#include "common/byte_cursor.hpp"

namespace quorvane {

namespace {

constexpr std::size_t HASH_FIELD_SIZE = 32;
constexpr std::size_t INFO_HASH_SIZE = 16;
constexpr std::size_t PIECE_HASH_SIZE = 16;
constexpr std::uint64_t U64_MAX = UINT64_MAX;

std::unexpected<IoError> torrent_error(std::string_view message) {
    return std::unexpected(IoError::custom(ErrorKind::InvalidData, std::string(message)));
}

std::uint32_t u32_at(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) |
           static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

// ceil(length / piece_length), or nothing when length + piece_length - 1
// does not fit in 64 bits. piece_length is not 0.
std::optional<std::uint64_t> piece_count(std::uint64_t length, std::uint32_t piece_length) {
    if (length > U64_MAX - (piece_length - 1)) return std::nullopt;
    return (length + piece_length - 1) / piece_length;
}

// The previous-hash field is present exactly when the piece length read at
// its place gives a piece count that matches the record's total length.
bool has_previous_hash(std::span<const std::uint8_t> prefix, std::uint64_t length,
                       std::uint64_t total_length) {
    constexpr std::size_t with_hash_min = TORRENT_MIN_SIZE + PREVIOUS_HASH_FIELD_SIZE;
    if (total_length < with_hash_min || total_length > TORRENT_MAX_SIZE) return false;
    const std::uint32_t candidate_piece_length =
        u32_at(prefix, TORRENT_HEAD_SIZE + PREVIOUS_HASH_FIELD_SIZE);
    if (candidate_piece_length == 0) return false;
    const auto count = piece_count(length, candidate_piece_length);
    if (!count || *count > MAX_PIECES) return false;
    return total_length == with_hash_min + PIECE_ENTRY_SIZE * *count;
}

}  // namespace

std::expected<Torrent, IoError> decode_torrent(std::span<const std::uint8_t> bytes) {
    return decode_torrent(bytes, bytes.size());
}

std::expected<Torrent, IoError> decode_torrent(std::span<const std::uint8_t> prefix,
                                               std::uint64_t total_length) {
    if (total_length < TORRENT_MIN_SIZE) return torrent_error(INVALID_TORRENT_BYTE_COUNT);
    // A caller that kept too little cannot be served; say so rather than guess.
    if (prefix.size() > total_length ||
        (prefix.size() < total_length && prefix.size() <= TORRENT_MAX_SIZE)) {
        return torrent_error(INVALID_TORRENT_BYTE_COUNT);
    }

    ByteCursor cursor(prefix);
    Torrent torrent;
    Info& info = torrent.info;
    info.length = *cursor.u64();
    info.this_block_difficulty = *cursor.u64();
    info.timestamp = *cursor.u32();
    info.nonce = *cursor.u8();
    info.vrf = *cursor.u128();
    info.block_hash = bytes_to_hex(*cursor.take(HASH_FIELD_SIZE));

    if (has_previous_hash(prefix, info.length, total_length)) {
        info.previous_hash = bytes_to_hex(*cursor.take(PREVIOUS_HASH_FIELD_SIZE));
    }

    info.piece_length = *cursor.u32();
    if (info.piece_length == 0) return torrent_error(INVALID_TORRENT_PIECE_LENGTH);
    info.info_hash = bytes_to_hex(*cursor.take(INFO_HASH_SIZE));

    // Counted against the whole record, not just the bytes at hand.
    const std::uint64_t after_info_hash = total_length - cursor.position();
    const std::uint64_t section_bytes = after_info_hash - MINER_SECTION_SIZE;
    if (section_bytes % PIECE_ENTRY_SIZE != 0) {
        return torrent_error(INVALID_TORRENT_PIECE_SECTION_LENGTH);
    }
    const std::uint64_t entries = section_bytes / PIECE_ENTRY_SIZE;

    const auto expected = piece_count(info.length, info.piece_length);
    if (!expected) return torrent_error(INVALID_TORRENT_PIECE_COUNT_OVERFLOW);
    if (*expected > MAX_PIECES) return torrent_error(INVALID_TORRENT_PIECE_COUNT_U8);
    if (entries != *expected) return torrent_error(INVALID_NUMBER_OF_PIECES);

    // From here on the record is at most TORRENT_MAX_SIZE bytes, all at hand.
    info.pieces.reserve(static_cast<std::size_t>(entries));
    for (std::uint64_t k = 1; k <= entries; ++k) {
        const std::uint8_t index = *cursor.u8();
        if (index != k) return torrent_error(INVALID_TORRENT_PIECE_INDEX_ORDER);
        info.pieces.push_back(Piece{index, bytes_to_hex(*cursor.take(PIECE_HASH_SIZE))});
    }

    auto miner = short_miner_address_text(*cursor.take(MINER_SECTION_SIZE));
    if (!miner) return torrent_error(INVALID_TORRENT_MINER_ADDRESS);
    torrent.mined_by = std::move(*miner);
    return torrent;
}

namespace {

// JSON string text; decoded texts are hex and addresses, which need no
// escapes, but any other character would be escaped as the JSON library does.
bool needs_escape(char c) { return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20; }

// Whether any character needs an escape, eight bytes at a time: a byte below
// 0x20, a quote or a backslash sets the high bit of its lane.
bool any_needs_escape(std::string_view text) {
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    constexpr std::uint64_t highs = 0x8080808080808080ULL;
    const auto has_below = [](std::uint64_t v, std::uint64_t n) { return (v - ones * n) & ~v & highs; };
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t v;
        std::memcpy(&v, text.data() + i, 8);
        if (has_below(v, 0x20) | has_below(v ^ (ones * '"'), 1) | has_below(v ^ (ones * '\\'), 1)) return true;
    }
    for (; i < text.size(); ++i) {
        if (needs_escape(text[i])) return true;
    }
    return false;
}

void append_string(std::string& out, std::string_view text) {
    out += '"';
    if (!any_needs_escape(text)) {
        out += text;
        out += '"';
        return;
    }
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    static constexpr char digits[] = "0123456789abcdef";
                    out += "\\u00";
                    out += digits[(c >> 4) & 0xF];
                    out += digits[c & 0xF];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

void append_member(std::string& out, std::string_view indent, std::string_view key) {
    out += indent;
    append_string(out, key);
    out += ": ";
}

}  // namespace

std::string torrent_json_text(const Torrent& torrent) {
    // Written directly in the pretty form (two spaces a level, members in
    // declared order): the same text the JSON library prints, at a fraction
    // of the cost for records with many pieces.
    const Info& info = torrent.info;
    std::string out;
    out.reserve(640 + info.pieces.size() * 64);
    out += "{\n";
    append_member(out, "  ", "info");
    out += "{\n";
    const auto number = [&out](std::string_view key, const std::string& digits) {
        append_member(out, "    ", key);
        out += digits;
        out += ",\n";
    };
    const auto text = [&out](std::string_view key, std::string_view value) {
        append_member(out, "    ", key);
        append_string(out, value);
        out += ",\n";
    };
    number("length", std::to_string(info.length));
    number("this_block_difficulty", std::to_string(info.this_block_difficulty));
    number("timestamp", std::to_string(info.timestamp));
    number("nonce", std::to_string(info.nonce));
    number("vrf", to_decimal(info.vrf));
    text("block_hash", info.block_hash);
    text("previous_hash", info.previous_hash);
    number("piece_length", std::to_string(info.piece_length));
    text("info_hash", info.info_hash);
    append_member(out, "    ", "pieces");
    if (info.pieces.empty()) {
        out += "[]\n";
    } else {
        out += "[\n";
        for (std::size_t k = 0; k < info.pieces.size(); ++k) {
            // Each piece's opening lines go out in one append.
            static constexpr std::string_view open = "      {\n        \"";
            char head[open.size() + 8];
            std::memcpy(head, open.data(), open.size());
            char* cursor = head + open.size();
            const unsigned index = info.pieces[k].index;
            if (index >= 100) *cursor++ = static_cast<char>('0' + index / 100);
            if (index >= 10) *cursor++ = static_cast<char>('0' + index / 10 % 10);
            *cursor++ = static_cast<char>('0' + index % 10);
            std::memcpy(cursor, "\": ", 3);
            cursor += 3;
            out.append(head, static_cast<std::size_t>(cursor - head));
            append_string(out, info.pieces[k].hash);
            out += k + 1 < info.pieces.size() ? std::string_view("\n      },\n") : std::string_view("\n      }\n");
        }
        out += "    ]\n";
    }
    out += "  },\n";
    append_member(out, "  ", "mined_by");
    append_string(out, torrent.mined_by);
    out += "\n}";
    return out;
}

std::string torrent_compact_json_text(const Torrent& torrent) {
    const Info& info = torrent.info;
    std::string out;
    out.reserve(400 + info.pieces.size() * 44);
    out += R"({"info":{"length":)";
    out += std::to_string(info.length);
    out += R"(,"this_block_difficulty":)";
    out += std::to_string(info.this_block_difficulty);
    out += R"(,"timestamp":)";
    out += std::to_string(info.timestamp);
    out += R"(,"nonce":)";
    out += std::to_string(info.nonce);
    out += R"(,"vrf":)";
    out += to_decimal(info.vrf);
    out += R"(,"block_hash":)";
    append_string(out, info.block_hash);
    out += R"(,"previous_hash":)";
    append_string(out, info.previous_hash);
    out += R"(,"piece_length":)";
    out += std::to_string(info.piece_length);
    out += R"(,"info_hash":)";
    append_string(out, info.info_hash);
    out += R"(,"pieces":[)";
    for (std::size_t k = 0; k < info.pieces.size(); ++k) {
        if (k > 0) out += ',';
        out += "{\"";
        out += std::to_string(info.pieces[k].index);
        out += "\":";
        append_string(out, info.pieces[k].hash);
        out += '}';
    }
    out += R"(]},"mined_by":)";
    append_string(out, torrent.mined_by);
    out += '}';
    return out;
}

}  // namespace quorvane

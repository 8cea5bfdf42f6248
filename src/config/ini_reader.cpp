#include "config/ini_reader.hpp"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>

#include "common/utf8.hpp"

namespace quorvane {

namespace {

std::uint64_t key_hash(std::string_view key) { return std::hash<std::string_view>{}(key); }

// A slot holds the entry's position + 1 in its low half and the top half of
// the key's hash in its high half, so that probing rarely touches the keys.
constexpr std::uint64_t entry_bits(std::uint64_t slot) { return slot & 0xFFFFFFFFULL; }
constexpr std::uint64_t hash_bits(std::uint64_t hash) { return hash & ~0xFFFFFFFFULL; }

}  // namespace

void IniSection::add(std::string_view key, std::string_view value) {
    if (2 * (entries_.size() + 1) > slots_.size()) grow_index();
    const std::uint64_t hash = key_hash(key);
    const std::size_t slot = slot_of(key, hash);
    if (slots_[slot] != 0) return;  // the first occurrence stays
    entries_.push_back(IniEntry{key, value});
    slots_[slot] = hash_bits(hash) | entries_.size();
}

// The slot that holds `key`, or the empty slot where it would go.
std::size_t IniSection::slot_of(std::string_view key, std::uint64_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = hash & mask;
    for (;; slot = (slot + 1) & mask) {
        const std::uint64_t held = slots_[slot];
        if (held == 0) return slot;
        if (hash_bits(held) == hash_bits(hash) && entries_[entry_bits(held) - 1].key == key) return slot;
    }
}

void IniSection::grow_index() {
    slots_.assign(slots_.empty() ? 16 : 2 * slots_.size(), 0);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const std::uint64_t hash = key_hash(entries_[i].key);
        slots_[slot_of(entries_[i].key, hash)] = hash_bits(hash) | (i + 1);
    }
}

const std::string_view* IniSection::find(std::string_view key) const {
    if (slots_.empty()) return nullptr;
    const std::uint64_t held = slots_[slot_of(key, key_hash(key))];
    return held == 0 ? nullptr : &entries_[entry_bits(held) - 1].value;
}

IniDocument::IniDocument(std::size_t text_size)
    : storage_(std::make_unique_for_overwrite<char[]>(text_size + 1)), capacity_(text_size + 1) {}

void IniDocument::append(std::string_view part) {
    // Unescaped texts are never longer than their source, so this never
    // triggers; it only keeps a mistake from writing out of bounds.
    if (part.size() > capacity_ - used_) std::abort();
    std::memcpy(storage_.get() + used_, part.data(), part.size());
    used_ += part.size();
}

const IniSection* IniDocument::section(std::string_view name) const {
    for (const auto& section : sections_) {
        if (section.name() == name) return &section;
    }
    return nullptr;
}

IniSection* IniDocument::open_section(std::string_view name) {
    for (const auto& section : sections_) {
        if (section.name() == name) return nullptr;
    }
    begin_text();
    append(name);
    sections_.emplace_back(finish_text());
    return &sections_.back();
}

namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

struct ErrorAt {
    std::size_t offset;
    std::string_view message;
};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Whether the byte at `offset` is escaped by an odd run of backslashes before it.
bool is_escaped(std::string_view text, std::size_t begin, std::size_t offset) {
    std::size_t backslashes = 0;
    while (offset > begin && text[offset - 1] == '\\') {
        --offset;
        ++backslashes;
    }
    return backslashes % 2 == 1;
}

bool is_ascii_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Trims white space around [begin, end) of `text`, keeping escaped white space.
void trim_range(std::string_view text, std::size_t& begin, std::size_t& end) {
    while (begin < end) {
        const unsigned char c = static_cast<unsigned char>(text[begin]);
        if (c < 0x80) {
            if (!is_ascii_blank(static_cast<char>(c))) break;
            ++begin;
            continue;
        }
        std::size_t next = begin;
        const auto decoded = utf8::decode_at(text.substr(0, end), next);
        if (!decoded || !utf8::is_whitespace(*decoded)) break;
        begin = next;
    }
    while (end > begin) {
        std::size_t start = end - 1;
        const unsigned char last = static_cast<unsigned char>(text[start]);
        if (last < 0x80) {
            if (!is_ascii_blank(static_cast<char>(last)) || is_escaped(text, begin, start)) break;
            // The LF of an escaped CRLF belongs to that line break, as in an LF file.
            if (last == '\n' && start > begin && text[start - 1] == '\r' && is_escaped(text, begin, start - 1)) break;
            end = start;
            continue;
        }
        while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
        std::size_t next = start;
        const auto decoded = utf8::decode_at(text.substr(0, end), next);
        if (!decoded || !utf8::is_whitespace(*decoded) || is_escaped(text, begin, start)) break;
        end = start;
    }
}

std::optional<unsigned> hex_value(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    return std::nullopt;
}

// Processes backslash escapes in text[begin, end) into the document's storage.
std::expected<std::string_view, ErrorAt> unescape(std::string_view text, std::size_t begin,
                                                  std::size_t end, IniDocument& out) {
    out.begin_text();
    std::size_t i = begin;
    while (i < end) {
        // Copy the plain run up to the next backslash in one go.
        std::size_t run = i;
        while (run < end && text[run] != '\\') ++run;
        out.append(text.substr(i, run - i));
        i = run;
        if (i == end) break;
        const std::size_t escape_at = i;
        ++i;
        if (i == end) return std::unexpected(ErrorAt{escape_at, INI_ESCAPE_AT_END});
        const char c = text[i];
        switch (c) {
            case '0': out.append('\0'); ++i; break;
            case 'a': out.append('\a'); ++i; break;
            case 'b': out.append('\b'); ++i; break;
            case 't': out.append('\t'); ++i; break;
            case 'r': out.append('\r'); ++i; break;
            case 'n': out.append('\n'); ++i; break;
            case '\n': ++i; break;  // the line goes on
            case 'x': {
                ++i;
                char32_t code_point = 0;
                for (int digit = 0; digit < 4; ++digit, ++i) {
                    const auto value = i < end ? hex_value(text[i]) : std::nullopt;
                    if (!value) return std::unexpected(ErrorAt{escape_at, INI_BAD_HEX_ESCAPE});
                    code_point = (code_point << 4) | *value;
                }
                if (code_point >= 0xD800 && code_point <= 0xDFFF) {
                    return std::unexpected(ErrorAt{escape_at, INI_BAD_HEX_ESCAPE});
                }
                std::string encoded;
                utf8::append_code_point(encoded, code_point);
                out.append(encoded);
                break;
            }
            default: {
                if (c == '\r' && i + 1 < end && text[i + 1] == '\n') {
                    i += 2;  // a CRLF line break continues the line too
                    break;
                }
                // Any other character stands for itself, whole.
                std::size_t next = i;
                if (!utf8::decode_at(text.substr(0, end), next)) next = i + 1;
                out.append(text.substr(i, next - i));
                i = next;
            }
        }
    }
    return out.finish_text();
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text), document_(text.size()) {}

    std::expected<IniDocument, ErrorAt> run() {
        while (position_ < text_.size()) {
            if (auto step = line(); !step) return std::unexpected(step.error());
        }
        return std::move(document_);
    }

private:
    std::expected<void, ErrorAt> line() {
        const char first = text_[position_];
        if (first == ';' || first == '#') {
            skip_to_next_line();
            return {};
        }
        while (position_ < text_.size() && is_blank(text_[position_])) ++position_;
        if (position_ == text_.size()) return {};
        const char c = text_[position_];
        if (c == '\n') {
            ++position_;
            return {};
        }
        if (c == ';' || c == '#') return std::unexpected(ErrorAt{position_, INI_INLINE_COMMENT});
        if (c == '[') return section_header();
        if (c == '=' || c == ':') return std::unexpected(ErrorAt{position_, INI_MISSING_KEY});
        return key_value();
    }

    void skip_to_next_line() {
        const auto end = text_.find('\n', position_);
        position_ = end == std::string_view::npos ? text_.size() : end + 1;
    }

    std::expected<void, ErrorAt> section_header() {
        std::size_t begin = position_ + 1;
        std::size_t end = begin;
        while (end < text_.size() && text_[end] != ']' && text_[end] != '\n') ++end;
        if (end == text_.size() || text_[end] != ']') {
            return std::unexpected(ErrorAt{end, INI_UNCLOSED_SECTION});
        }
        position_ = end + 1;
        while (position_ < text_.size() && is_blank(text_[position_])) ++position_;
        if (position_ < text_.size() && text_[position_] != '\n') {
            return std::unexpected(ErrorAt{position_, INI_TEXT_AFTER_SECTION});
        }
        if (position_ < text_.size()) ++position_;
        trim_range(text_, begin, end);
        current_ = document_.open_section(text_.substr(begin, end - begin));
        in_section_ = true;
        return {};
    }

    // Moves past the current logical line (line breaks after a backslash
    // continue it) and returns where its text ends.
    std::size_t scan_to_line_end(std::size_t from, bool stop_at_separator) const {
        std::size_t i = from;
        while (i < text_.size()) {
            const char c = text_[i];
            if (c == '\\') {
                // The escaped character is skipped; "\r\n" after a backslash is one line break.
                const bool crlf = i + 2 < text_.size() && text_[i + 1] == '\r' && text_[i + 2] == '\n';
                i += crlf ? 3 : 2;
                continue;
            }
            if (c == '\n') break;
            if (stop_at_separator && (c == '=' || c == ':')) break;
            ++i;
        }
        return i < text_.size() ? i : text_.size();
    }

    std::expected<void, ErrorAt> key_value() {
        std::size_t key_begin = position_;
        std::size_t key_end = scan_to_line_end(position_, true);
        if (key_end == text_.size() || text_[key_end] == '\n') {
            return std::unexpected(ErrorAt{key_end, INI_MISSING_SEPARATOR});
        }
        std::size_t value_begin = key_end + 1;
        std::size_t value_end = scan_to_line_end(value_begin, false);
        position_ = value_end < text_.size() ? value_end + 1 : value_end;

        trim_range(text_, key_begin, key_end);
        trim_range(text_, value_begin, value_end);
        auto key = unescape(text_, key_begin, key_end, document_);
        if (!key) return std::unexpected(key.error());

        if (value_begin < value_end && (text_[value_begin] == '"' || text_[value_begin] == '\'')) {
            const char quote = text_[value_begin];
            const bool closed = value_end - value_begin >= 2 && text_[value_end - 1] == quote &&
                                !is_escaped(text_, value_begin + 1, value_end - 1);
            if (!closed) return std::unexpected(ErrorAt{value_end, INI_UNCLOSED_QUOTE});
            ++value_begin;
            --value_end;
        }
        auto value = unescape(text_, value_begin, value_end, document_);
        if (!value) return std::unexpected(value.error());

        // Keys before the first section, and keys of a repeated section, are dropped.
        if (in_section_ && current_ != nullptr) current_->add(*key, *value);
        return {};
    }

    std::string_view text_;
    std::size_t position_ = 0;
    IniDocument document_;
    IniSection* current_ = nullptr;
    bool in_section_ = false;
};

IniSyntaxError locate(std::string_view text, const ErrorAt& error) {
    std::size_t line = 1;
    std::size_t line_start = 0;
    const std::size_t offset = error.offset < text.size() ? error.offset : text.size();
    for (std::size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            line_start = i + 1;
        }
    }
    const std::size_t column = utf8::count_code_points(text.substr(line_start, offset - line_start)) + 1;
    return IniSyntaxError{line, column, std::string(error.message)};
}

}  // namespace

std::expected<IniDocument, IniSyntaxError> parse_ini(std::string_view text) {
    // Positions in errors count from the first character after the mark.
    if (text.starts_with(BYTE_ORDER_MARK)) text.remove_prefix(BYTE_ORDER_MARK.size());
    auto document = Parser(text).run();
    if (!document) return std::unexpected(locate(text, document.error()));
    return std::move(*document);
}

}  // namespace quorvane

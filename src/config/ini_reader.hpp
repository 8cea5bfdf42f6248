#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <cstdint>
#include <memory>
#include <vector>

namespace quorvane {

// Views into the text that the owning IniDocument keeps.
struct IniEntry {
    std::string_view key;
    std::string_view value;
};

// One section as read: entries in file order, each key once (the first
// occurrence wins).
class IniSection {
public:
    explicit IniSection(std::string_view name) : name_(name) {}

    std::string_view name() const { return name_; }
    const std::vector<IniEntry>& entries() const { return entries_; }

    // Adds the entry unless the key is already present.
    void add(std::string_view key, std::string_view value);

    // Exact, case-sensitive lookup.
    const std::string_view* find(std::string_view key) const;

private:
    std::size_t slot_of(std::string_view key, std::uint64_t hash) const;
    void grow_index();

    std::string_view name_;
    std::vector<IniEntry> entries_;
    // Open-addressing index over entries_; 0 marks an empty slot.
    std::vector<std::uint64_t> slots_;
};

class IniDocument {
public:
    // Room for every name, key and value of a text of `text_size` bytes:
    // unescaping never makes a text longer.
    explicit IniDocument(std::size_t text_size);

    // The first section of that name, or nullptr. Later sections with the
    // same name are never seen.
    const IniSection* section(std::string_view name) const;

    // Returns the section to add entries to: a fresh one when the name is
    // new, nullptr when it repeats (its entries are dropped).
    IniSection* open_section(std::string_view name);

    // Storage for the document's texts; `append` adds to the text begun last.
    void begin_text() { text_start_ = used_; }
    void append(std::string_view part);
    void append(char c) { append(std::string_view(&c, 1)); }
    std::string_view finish_text() const { return {storage_.get() + text_start_, used_ - text_start_}; }

private:
    std::unique_ptr<char[]> storage_;
    std::size_t capacity_;
    std::size_t used_ = 0;
    std::size_t text_start_ = 0;
    std::vector<IniSection> sections_;
};

struct IniSyntaxError {
    std::size_t line;    // 1-based
    std::size_t column;  // 1-based, in characters
    std::string message;

    friend bool operator==(const IniSyntaxError&, const IniSyntaxError&) = default;
};

inline constexpr std::string_view INI_INLINE_COMMENT = "doesn't support inline comment";
inline constexpr std::string_view INI_MISSING_KEY = "missing key";
inline constexpr std::string_view INI_UNCLOSED_SECTION = "expecting \"]\" to close the section name";
inline constexpr std::string_view INI_TEXT_AFTER_SECTION = "expecting end of line after \"]\"";
inline constexpr std::string_view INI_MISSING_SEPARATOR = "expecting \"=\" or \":\" after the key";
inline constexpr std::string_view INI_UNCLOSED_QUOTE = "expecting the closing quote of the value";
inline constexpr std::string_view INI_BAD_HEX_ESCAPE = "expecting four hexadecimal digits of a character after \\x";
inline constexpr std::string_view INI_ESCAPE_AT_END = "expecting a character after \\";

// Parses INI text (already checked to be UTF-8). A leading byte-order mark is
// skipped; comments are lines starting with ';' or '#' in column 1.
std::expected<IniDocument, IniSyntaxError> parse_ini(std::string_view text);

}  // namespace quorvane

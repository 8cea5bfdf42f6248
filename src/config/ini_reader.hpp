#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorvane {

struct IniEntry {
    std::string key;
    std::string value;
};

// One section as read: entries in file order, each key once (the first
// occurrence wins).
class IniSection {
public:
    explicit IniSection(std::string name) : name_(std::move(name)) {}

    const std::string& name() const { return name_; }
    const std::vector<IniEntry>& entries() const { return entries_; }

    // Adds the entry unless the key is already present.
    void add(std::string key, std::string value);

    // Exact, case-sensitive lookup.
    const std::string* find(std::string_view key) const;

private:
    std::string name_;
    std::vector<IniEntry> entries_;
    std::unordered_map<std::string, std::size_t> index_;
};

class IniDocument {
public:
    // The first section of that name, or nullptr. Later sections with the
    // same name are never seen.
    const IniSection* section(std::string_view name) const;

    // Returns the section to add entries to: a fresh one when the name is
    // new, nullptr when it repeats (its entries are dropped).
    IniSection* open_section(std::string name);

private:
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

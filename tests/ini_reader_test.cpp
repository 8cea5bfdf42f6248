#include "config/ini_reader.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorvane {
namespace {

std::optional<std::string> lookup(const IniDocument& document, std::string_view section,
                                  std::string_view key) {
    const IniSection* found = document.section(section);
    if (found == nullptr) return std::nullopt;
    const std::string_view* value = found->find(key);
    return value ? std::optional<std::string>(std::string(*value)) : std::nullopt;
}

struct ValueCase {
    std::string name;
    std::string text;
    std::string section;
    std::string key;
    std::optional<std::string> value;
};

TEST(IniReader, ReadsValuesByTheFileRules) {
    const std::vector<ValueCase> cases = {
        {"plain", "[S]\nk=v\n", "S", "k", "v"},
        {"colon separator", "[S]\nk: v\n", "S", "k", "v"},
        {"surrounding white space", "[ S ]\n  k \t=  v w \t\n", "S", "k", "v w"},
        {"no final newline", "[S]\nk=v", "S", "k", "v"},
        {"CRLF line ends", "[S]\r\nk=v\r\n", "S", "k", "v"},
        {"byte-order mark", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "v"},
        {"Unicode white space is trimmed", "[S]\nk =\xC2\xA0v w\xE3\x80\x80\n", "S", "k", "v w"},
        {"non-ASCII letters at the ends stay", "[S]\n\xC3\xA9k = \xC3\xA9\n", "S", "\xC3\xA9k", "\xC3\xA9"},
        {"double quotes keep spaces", "[S]\nk = \"  v  \"\n", "S", "k", "  v  "},
        {"single quotes", "[S]\nk = 'v'\n", "S", "k", "v"},
        {"empty value", "[S]\nk =\n", "S", "k", ""},
        {"empty quoted value", "[S]\nk = \"\"\n", "S", "k", ""},
        {"semicolon inside a value", "[S]\nk = v ; note\n", "S", "k", "v ; note"},
        {"number sign inside a value", "[S]\nk = a#b\n", "S", "k", "a#b"},
        {"equals sign inside a value", "[S]\nk = a=b\n", "S", "k", "a=b"},
        {"escapes", "[S]\nk = a\\tb\\nc\\\\d\\;e\n", "S", "k", "a\tb\nc\\d;e"},
        {"zero, bell, backspace, return", "[S]\nk = \\0\\a\\b\\r\n", "S", "k", std::string("\0\a\b\r", 4)},
        {"hex escape", "[S]\nk = \\x0041\\x00e9\n", "S", "k", "A\xC3\xA9"},
        {"hex escape of the first three-byte character", "[S]\nk = \\x0800\\x07ff\n", "S", "k", "\xE0\xA0\x80\xDF\xBF"},
        {"hex escape with the digits a and A", "[S]\nk = \\x004a\\x004A\n", "S", "k", "JJ"},
        {"escaped quote inside quotes", "[S]\nk = \"a\\\"b\"\n", "S", "k", "a\"b"},
        {"line continuation", "[S]\nk = one\\\ntwo\n", "S", "k", "onetwo"},
        {"CRLF line continuation", "[S]\r\nk = one\\\r\ntwo\r\n", "S", "k", "onetwo"},
        {"CRLF continuation in a key", "[S]\nk\\\r\n= v\n", "S", "k", "v"},
        {"CRLF continuation before a blank line", "[S]\nk = one\\\r\n\nj = 2\n", "S", "k", "one"},
        {"the line after a CRLF continuation and a blank line", "[S]\nk = one\\\r\n\nj = 2\n", "S", "j", "2"},
        {"CRLF continuation at the end of the file", "[S]\nk = v\\\r\n", "S", "k", "v"},
        {"LF continuation before a blank line", "[S]\nk = one\\\n\nj = 2\n", "S", "k", "one"},
        {"escape just before the line end", "[S]\nk = a\\;\nj = 2\n", "S", "j", "2"},
        {"escaped trailing space is kept", "[S]\nk = a\\ \n", "S", "k", "a "},
        {"escaped backslash before a space", "[S]\nk = a\\\\ \n", "S", "k", "a\\"},
        {"three backslashes before a space", "[S]\nk = a\\\\\\ \n", "S", "k", "a\\ "},
        {"U+200A is trimmed", "[S]\nk = \xE2\x80\x8Av\xE2\x80\x8A\n", "S", "k", "v"},
        {"section header at the very end", "[S]\nk=v\n[T]", "S", "k", "v"},
        {"U+2000 and U+202F are trimmed", "[S]\n\xE2\x80\x80k\xE2\x80\xAF = v\xE2\x80\x80\n", "S", "k", "v"},
        {"escaped separator in a key", "[S]\na\\=b = v\n", "S", "a=b", "v"},
        {"first of repeated keys", "[S]\nk=1\nk=2\n", "S", "k", "1"},
        {"first of repeated sections", "[S]\nk=1\n[S]\nk=2\nj=3\n", "S", "k", "1"},
        {"later section's new keys are not seen", "[S]\nk=1\n[S]\nj=3\n", "S", "j", std::nullopt},
        {"keys are case-sensitive", "[S]\nKey=v\n", "S", "key", std::nullopt},
        {"sections are case-sensitive", "[settings]\nk=v\n", "Settings", "k", std::nullopt},
        {"keys before any section are ignored", "k=v\n[S]\n", "S", "k", std::nullopt},
        {"comment lines", "; c\n# c\n[S]\n;k=v\nk=w\n", "S", "k", "w"},
        {"blank lines", "\n\n[S]\n\n   \nk=v\n", "S", "k", "v"},
    };
    for (const auto& c : cases) {
        const auto document = parse_ini(c.text);
        ASSERT_TRUE(document.has_value()) << c.name << ": " << document.error().message;
        EXPECT_EQ(lookup(*document, c.section, c.key), c.value) << c.name;
    }
}

TEST(IniReader, KeepsEntriesInFileOrder) {
    const auto document = parse_ini("[S]\nb=1\na=2\nb=3\nc=4\n");
    ASSERT_TRUE(document.has_value());
    const auto& entries = document->section("S")->entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].key, "b");
    EXPECT_EQ(entries[1].key, "a");
    EXPECT_EQ(entries[2].key, "c");
}

TEST(IniReader, FindsKeysInLargeSections) {
    std::string text = "[S]\n";
    for (int i = 0; i < 100; ++i) {
        const std::string number = std::to_string(i);
        text += 'k';
        text += number;
        text += '=';
        text += number;
        text += '\n';
    }
    const auto document = parse_ini(text);
    ASSERT_TRUE(document.has_value());
    // Keys added before the index grew are found as well as the last ones.
    for (int i = 0; i < 100; ++i) {
        std::string key = "k";
        key += std::to_string(i);
        EXPECT_EQ(lookup(*document, "S", key), std::to_string(i));
    }
    EXPECT_EQ(lookup(*document, "S", "k100"), std::nullopt);
}

TEST(IniReader, ReportsSyntaxErrorsWithLineAndColumn) {
    struct Case {
        std::string name;
        std::string text;
        IniSyntaxError error;
    };
    const std::vector<Case> cases = {
        {"indented semicolon comment", "[S]\n  ; note\n", {2, 3, std::string(INI_INLINE_COMMENT)}},
        {"indented number-sign comment", "[S]\n\t# note\n", {2, 2, std::string(INI_INLINE_COMMENT)}},
        {"line starting with equals", "[S]\n= v\n", {2, 1, std::string(INI_MISSING_KEY)}},
        {"line starting with colon", "[S]\n  : v\n", {2, 3, std::string(INI_MISSING_KEY)}},
        {"unclosed section", "[S\nk=v\n", {1, 3, std::string(INI_UNCLOSED_SECTION)}},
        {"text after section", "[S] x\n", {1, 5, std::string(INI_TEXT_AFTER_SECTION)}},
        {"key without separator", "[S]\nkey\n", {2, 4, std::string(INI_MISSING_SEPARATOR)}},
        {"unclosed quote", "[S]\nk = \"abc\n", {2, 9, std::string(INI_UNCLOSED_QUOTE)}},
        {"quote escaped by three backslashes", "[S]\nk = \"a\\\\\\\"\n", {2, 11, std::string(INI_UNCLOSED_QUOTE)}},
        {"columns after non-ASCII letters", "[S]\n\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80x\n", {2, 5, std::string(INI_MISSING_SEPARATOR)}},
        {"bad hex escape", "[S]\nk = \\x12g4\n", {2, 5, std::string(INI_BAD_HEX_ESCAPE)}},
        {"surrogate hex escape", "[S]\nk = \\xd800\n", {2, 5, std::string(INI_BAD_HEX_ESCAPE)}},
        {"backslash at the end", "[S]\nk = a\\", {2, 6, std::string(INI_ESCAPE_AT_END)}},
        {"columns count characters", "[S]\n\xC3\xA9\xC3\xA9\n", {2, 3, std::string(INI_MISSING_SEPARATOR)}},
        {"after a byte-order mark", "\xEF\xBB\xBF = v\n", {1, 2, std::string(INI_MISSING_KEY)}},
    };
    for (const auto& c : cases) {
        const auto document = parse_ini(c.text);
        ASSERT_FALSE(document.has_value()) << c.name;
        EXPECT_EQ(document.error(), c.error) << c.name << ": got " << document.error().line << ":"
                                             << document.error().column << " "
                                             << document.error().message;
    }
}

}  // namespace
}  // namespace quorvane

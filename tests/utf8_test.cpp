#include "common/utf8.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorvane {
namespace {

TEST(Utf8, DecodesWellFormedSequencesOnly) {
    struct Case {
        std::string bytes;
        std::optional<char32_t> code_point;
    };
    const std::vector<Case> cases = {
        {"A", U'A'},
        {"\xC3\xA9", U'\u00E9'},
        {"\xE2\x82\xAC", U'\u20AC'},
        {"\xF0\x9F\x98\x80", U'\U0001F600'},
        {"\xC0\xAF", std::nullopt},          // overlong
        {"\xE0\x80\xAF", std::nullopt},      // overlong
        {"\xED\xA0\x80", std::nullopt},      // surrogate
        {"\xF4\x90\x80\x80", std::nullopt},  // above U+10FFFF
        {"\xF8\x88\x80\x80\x80", std::nullopt},
        {"\x80", std::nullopt},              // lone continuation
        {"\xE2\x82", std::nullopt},          // truncated
        {"\xC3\x28", std::nullopt},          // bad continuation
    };
    for (const auto& c : cases) {
        std::size_t position = 0;
        EXPECT_EQ(utf8::decode_at(c.bytes, position), c.code_point) << c.bytes;
        EXPECT_EQ(position, c.code_point ? c.bytes.size() : 0u) << c.bytes;
        EXPECT_EQ(utf8::is_valid(c.bytes), c.code_point.has_value()) << c.bytes;
    }
}

TEST(Utf8, EncodesEveryLength) {
    for (const char32_t c : {U'A', U'\u00E9', U'\u20AC', U'\U0001F600'}) {
        std::string encoded;
        utf8::append_code_point(encoded, c);
        std::size_t position = 0;
        EXPECT_EQ(utf8::decode_at(encoded, position), c);
        EXPECT_EQ(position, encoded.size());
    }
}

TEST(Utf8, LossyConversionReplacesEachBadByte) {
    EXPECT_EQ(utf8::to_text_lossy("a\xFF" "b\xC3"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    EXPECT_EQ(utf8::to_text_lossy("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
}

TEST(Utf8, TrimsUnicodeWhiteSpace) {
    EXPECT_EQ(utf8::trim_whitespace(" \t\xE3\x80\x80x y\xE2\x80\xA8\n"), "x y");
    EXPECT_EQ(utf8::trim_whitespace("\xC2\xA0"), "");
    EXPECT_EQ(utf8::trim_whitespace("x\xC3\xA9"), "x\xC3\xA9");
}

}  // namespace
}  // namespace quorvane

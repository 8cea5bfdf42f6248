#include "config/value_parsers.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvane {
namespace {

std::string describe(const std::expected<std::uint64_t, SettingsError>& result) {
    return result ? std::to_string(*result) : result.error().diagnostic();
}

TEST(ParseUnsigned, AcceptsDecimalDigitsWithOneOptionalPlus) {
    struct Case {
        std::string text;
        std::uint64_t maximum;
        std::string result;
    };
    const std::vector<Case> cases = {
        {"0", 255, "0"},
        {"255", 255, "255"},
        {"+7", 255, "7"},
        {"007", 255, "7"},
        {"65535", 65535, "65535"},
        {"256", 255, "ParseIntError { kind: PosOverflow }"},
        {"65536", 65535, "ParseIntError { kind: PosOverflow }"},
        {"99999999999999999999999", 65535, "ParseIntError { kind: PosOverflow }"},
        {"", 255, "ParseIntError { kind: Empty }"},
        {"+", 255, "ParseIntError { kind: InvalidDigit }"},
        {"-", 255, "ParseIntError { kind: InvalidDigit }"},
        {"-4", 255, "ParseIntError { kind: InvalidDigit }"},
        {"+-4", 255, "ParseIntError { kind: InvalidDigit }"},
        {"4x", 255, "ParseIntError { kind: InvalidDigit }"},
        {" 4", 255, "ParseIntError { kind: InvalidDigit }"},
        {"4 ", 255, "ParseIntError { kind: InvalidDigit }"},
        {"0x10", 255, "ParseIntError { kind: InvalidDigit }"},
    };
    for (const auto& c : cases) EXPECT_EQ(describe(parse_unsigned(c.text, c.maximum)), c.result) << c.text;
}

TEST(ParseBool, AcceptsExactlyTrueAndFalse) {
    EXPECT_EQ(parse_bool("true"), true);
    EXPECT_EQ(parse_bool("false"), false);
    for (const std::string text : {"True", "FALSE", "1", "0", "yes", "", " true"}) {
        const auto result = parse_bool(text);
        ASSERT_FALSE(result.has_value()) << text;
        EXPECT_EQ(result.error().diagnostic(), "ParseBoolError");
    }
}

TEST(ParseDecimalCoinValue, ConvertsToSmallestUnits) {
    struct Case {
        std::string text;
        std::string result;
    };
    const std::string negative = "\"decimal coin value cannot be negative\"";
    const std::vector<Case> cases = {
        {"0", "0"},
        {"0.00000001", "1"},
        {"1", "100000000"},
        {"0.000000025", "3"},   // halves away from zero
        {"0.000000005", "1"},
        {"0.000000015", "1"},   // the product lies just below 1.5
        {".5", "50000000"},
        {"5.", "500000000"},
        {"1e-8", "1"},
        {"2E+2", "20000000000"},
        {"  1.5 \t", "150000000"},
        {"\xC2\xA0" "1\xE2\x80\x83", "100000000"},  // Unicode white space is trimmed
        {"+1", "100000000"},
        {"1e30", "18446744073709551615"},
        {"inf", "18446744073709551615"},
        {"+Infinity", "18446744073709551615"},
        {"nan", "0"},
        {"NaN", "0"},
        {"NAN", "0"},
        {"iNf", "18446744073709551615"},
        {"INFINITY", "18446744073709551615"},
        {"184467440737.09551615", "18446744073709551615"},
        {"-0", negative},
        {"-0.0", negative},
        {"-inf", negative},
        {"-nan", negative},
        {"-1", negative},
        {"", "ParseFloatError { kind: Empty }"},
        {"   ", "ParseFloatError { kind: Empty }"},
        {"abc", "ParseFloatError { kind: Invalid }"},
        {"0x10", "ParseFloatError { kind: Invalid }"},
        {"1,5", "ParseFloatError { kind: Invalid }"},
        {"1_000", "ParseFloatError { kind: Invalid }"},
        {"1.5x", "ParseFloatError { kind: Invalid }"},
        {".", "ParseFloatError { kind: Invalid }"},
        {"e5", "ParseFloatError { kind: Invalid }"},
        {"1e", "ParseFloatError { kind: Invalid }"},
        {"--1", "ParseFloatError { kind: Invalid }"},
        {"infinite", "ParseFloatError { kind: Invalid }"},
        {"1e+", "ParseFloatError { kind: Invalid }"},
    };
    for (const auto& c : cases) EXPECT_EQ(describe(parse_decimal_coin_value(c.text)), c.result) << c.text;
}

}  // namespace
}  // namespace quorvane

#include "common/binary_conversions.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvane {
namespace {

TEST(BytesToHex, RendersLowercaseHighNibbleFirst) {
    const std::vector<std::uint8_t> bytes{0x00, 0x0F, 0xA0, 0xFF};
    EXPECT_EQ(bytes_to_hex(bytes), "000fa0ff");
    EXPECT_EQ(bytes_to_hex({}), "");
    const std::vector<std::uint8_t> hash(32, 0xAB);
    std::string expected;
    for (int i = 0; i < 32; ++i) expected += "ab";
    EXPECT_EQ(bytes_to_hex(hash), expected);
}

struct DifficultyCase {
    std::string name;
    std::string text;
    std::expected<std::uint64_t, std::string> result;
};

std::string repeat(std::string_view part, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += part;
    return out;
}

std::string with_char_at(std::string text, std::size_t position, char c) {
    text[position] = c;
    return text;
}

TEST(HashToDifficulty, SamplesEveryFourthCharacter) {
    const std::string zeros(64, '0');
    const std::string length_error(INVALID_HASH_LENGTH);
    const std::string convert_error(FAILED_TO_CONVERT_TO_U64);
    const std::vector<DifficultyCase> cases = {
        {"only sampled letters count", repeat("a000", 16), 12297829382473034410ULL},
        {"first digit is most significant", "f" + std::string(63, '0'), 17293822569102704640ULL},
        {"all zeros", zeros, 0ULL},
        {"upper case digits", std::string(64, 'F'), 18446744073709551615ULL},
        {"worked example hash",
         "0d4282790a3bfe0a568b8aa895e8ddc12e880d7985ac20f25b6de9944f188746",
         580780308832607816ULL},
        {"63 characters", std::string(63, '0'), std::unexpected(length_error)},
        {"65 characters", std::string(65, '0'), std::unexpected(length_error)},
        {"empty", "", std::unexpected(length_error)},
        {"non-hex at a sampled position", with_char_at(zeros, 8, 'g'), std::unexpected(convert_error)},
        {"non-hex at an unsampled position", with_char_at(zeros, 9, 'g'), 0ULL},
        {"leading plus is skipped", with_char_at(repeat("1000", 16), 0, '+'), 0x111111111111111ULL},
        {"leading minus fails", with_char_at(zeros, 0, '-'), std::unexpected(convert_error)},
        {"space fails", with_char_at(zeros, 4, ' '), std::unexpected(convert_error)},
        // 64 bytes but only 63 characters: position 60 is still there, the
        // sample shifts, and "é" at a sampled position is not a digit.
        {"multi-byte character sampled", "\xC3\xA9" + std::string(62, '0'), std::unexpected(convert_error)},
        {"invalid UTF-8", "\xFF" + std::string(63, '0'), std::unexpected(convert_error)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hash_to_difficulty(c.text), c.result) << c.name;
    }
}

}  // namespace
}  // namespace quorvane

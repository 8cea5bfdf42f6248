// The block-number parser and hash_to_difficulty, against plain references.

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/binary_conversions.hpp"
#include "common/tool_entry.hpp"
#include "fuzz_checks.hpp"

using namespace quorvane;

namespace {

std::optional<std::uint32_t> reference_height(std::string_view text) {
    if (text.starts_with('+')) text.remove_prefix(1);
    if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<unsigned> hex_value(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(parse_block_height(text) == reference_height(text));

    const auto difficulty = hash_to_difficulty(text);
    if (size != 64) {
        FUZZ_CHECK(!difficulty && difficulty.error() == INVALID_HASH_LENGTH);
        return 0;
    }
    bool ascii = true;
    for (const char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (!ascii) {
        // Sampling then counts characters; all that is promised is one of the two answers.
        FUZZ_CHECK(difficulty || difficulty.error() == FAILED_TO_CONVERT_TO_U64);
        return 0;
    }
    std::optional<std::uint64_t> expected = 0;
    for (std::size_t i = 0; i < 64 && expected; i += 4) {
        if (i == 0 && text[0] == '+') continue;
        const auto digit = hex_value(text[i]);
        expected = digit ? std::optional<std::uint64_t>((*expected << 4) | *digit) : std::nullopt;
    }
    if (expected) {
        FUZZ_CHECK(difficulty.has_value() && *difficulty == *expected);
    } else {
        FUZZ_CHECK(!difficulty && difficulty.error() == FAILED_TO_CONVERT_TO_U64);
    }
    return 0;
}

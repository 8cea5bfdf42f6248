#include "common/binary_conversions.hpp"

#include <array>
#include <cstring>
#include <optional>

#include "common/utf8.hpp"

namespace quorvane {

namespace {

// Both digits of every byte value, so that each byte is one table look-up.
constexpr std::array<char, 512> HEX_PAIRS = [] {
    constexpr char digits[] = "0123456789abcdef";
    std::array<char, 512> pairs{};
    for (std::size_t byte = 0; byte < 256; ++byte) {
        pairs[2 * byte] = digits[byte >> 4];
        pairs[2 * byte + 1] = digits[byte & 0x0F];
    }
    return pairs;
}();

}  // namespace

void append_hex(std::string& out, std::span<const std::uint8_t> bytes) {
    const std::size_t start = out.size();
    out.resize(start + bytes.size() * 2);
    char* cursor = out.data() + start;
    for (const std::uint8_t byte : bytes) {
        std::memcpy(cursor, &HEX_PAIRS[2 * static_cast<std::size_t>(byte)], 2);
        cursor += 2;
    }
}

std::string bytes_to_hex(std::span<const std::uint8_t> bytes) {
    std::string out;
    append_hex(out, bytes);
    return out;
}

namespace {

std::optional<unsigned> hex_digit_value(char32_t c) {
    if (c >= U'0' && c <= U'9') return static_cast<unsigned>(c - U'0');
    if (c >= U'a' && c <= U'f') return static_cast<unsigned>(c - U'a' + 10);
    if (c >= U'A' && c <= U'F') return static_cast<unsigned>(c - U'A' + 10);
    return std::nullopt;
}

constexpr std::size_t SAMPLE_STRIDE = 4;
constexpr std::size_t SAMPLE_COUNT = 16;

}  // namespace

std::expected<std::uint64_t, std::string> hash_to_difficulty(std::string_view hash_text) {
    // The length is counted in bytes, the sampling positions in characters.
    if (hash_text.size() != HASH_TEXT_LENGTH) {
        return std::unexpected(std::string(INVALID_HASH_LENGTH));
    }
    char32_t sample[SAMPLE_COUNT];
    std::size_t sampled = 0;
    std::size_t position = 0;
    for (std::size_t index = 0; sampled < SAMPLE_COUNT && position < hash_text.size(); ++index) {
        const auto c = utf8::decode_at(hash_text, position);
        // Text that is not UTF-8 has no characters to sample.
        if (!c) return std::unexpected(std::string(FAILED_TO_CONVERT_TO_U64));
        if (index % SAMPLE_STRIDE == 0) sample[sampled++] = *c;
    }
    if (sampled != SAMPLE_COUNT) return std::unexpected(std::string(FAILED_TO_CONVERT_TO_U64));

    std::size_t first = 0;
    if (sample[0] == U'+') first = 1;  // one leading plus sign is accepted
    std::uint64_t value = 0;
    for (std::size_t i = first; i < SAMPLE_COUNT; ++i) {
        const auto digit = hex_digit_value(sample[i]);
        if (!digit) return std::unexpected(std::string(FAILED_TO_CONVERT_TO_U64));
        value = (value << 4) | *digit;
    }
    return value;
}

}  // namespace quorvane

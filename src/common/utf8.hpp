#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::utf8 {

// Decodes the code point that starts at `position` and moves `position` past
// it. Returns nothing (and leaves `position` alone) for a malformed, overlong,
// surrogate or truncated sequence.
std::optional<char32_t> decode_at(std::string_view text, std::size_t& position);

bool is_valid(std::string_view bytes);

// Converts bytes to text, replacing every malformed sequence with U+FFFD.
std::string to_text_lossy(std::string_view bytes);

void append_code_point(std::string& out, char32_t code_point);

// The Unicode White_Space property.
bool is_whitespace(char32_t code_point);

std::string_view trim_whitespace(std::string_view text);

// Number of code points in valid UTF-8 text (bytes of malformed sequences count one each).
std::size_t count_code_points(std::string_view text);

}  // namespace quorvane::utf8

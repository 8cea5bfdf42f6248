#include "common/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace quorvane::utf8 {

std::optional<char32_t> decode_at(std::string_view text, std::size_t& position) {
    const std::size_t size = text.size();
    if (position >= size) return std::nullopt;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(position);
    if (lead < 0x80) {
        ++position;
        return lead;
    }
    std::size_t length;
    char32_t value;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2; value = lead & 0x1F; minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3; value = lead & 0x0F; minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4; value = lead & 0x07; minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (size - position < length) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char continuation = byte(position + i);
        if ((continuation & 0xC0) != 0x80) return std::nullopt;
        value = (value << 6) | (continuation & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return std::nullopt;
    }
    position += length;
    return value;
}

bool is_valid(std::string_view bytes) {
    std::size_t position = 0;
    while (position < bytes.size()) {
        // Plain ASCII runs are the common case in settings files: eight bytes
        // at a time while no high bit is set.
        while (bytes.size() - position >= 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + position, 8);
            if ((word & 0x8080808080808080ULL) != 0) break;
            position += 8;
        }
        if (position == bytes.size()) break;
        if (static_cast<unsigned char>(bytes[position]) < 0x80) {
            ++position;
            continue;
        }
        if (!decode_at(bytes, position)) return false;
    }
    return true;
}

void append_code_point(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string to_text_lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t position = 0;
    while (position < bytes.size()) {
        const std::size_t start = position;
        if (decode_at(bytes, position)) {
            out.append(bytes.substr(start, position - start));
        } else {
            append_code_point(out, U'\uFFFD');
            position = start + 1;
        }
    }
    return out;
}

bool is_whitespace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

namespace {

// Length in bytes of the whitespace character that ends `text`, or 0.
std::size_t trailing_whitespace_length(std::string_view text) {
    for (std::size_t length = 1; length <= 4 && length <= text.size(); ++length) {
        std::size_t position = text.size() - length;
        const unsigned char lead = static_cast<unsigned char>(text[position]);
        if ((lead & 0xC0) == 0x80) continue;  // still inside the character
        const auto decoded = decode_at(text, position);
        if (decoded && position == text.size() && is_whitespace(*decoded)) return length;
        return 0;
    }
    return 0;
}

}  // namespace

std::string_view trim_whitespace(std::string_view text) {
    while (!text.empty()) {
        std::size_t position = 0;
        const auto decoded = decode_at(text, position);
        if (!decoded || !is_whitespace(*decoded)) break;
        text.remove_prefix(position);
    }
    while (!text.empty()) {
        const std::size_t length = trailing_whitespace_length(text);
        if (length == 0) break;
        text.remove_suffix(length);
    }
    return text;
}

std::size_t count_code_points(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
}

}  // namespace quorvane::utf8

#include "config/value_parsers.hpp"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "common/utf8.hpp"

namespace quorvane {

std::expected<std::uint64_t, SettingsError> parse_unsigned(std::string_view text,
                                                           std::uint64_t maximum) {
    if (text.empty()) return std::unexpected(SettingsError::Integer{IntErrorReason::Empty});
    if (text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty()) {
            return std::unexpected(SettingsError::Integer{IntErrorReason::InvalidDigit});
        }
    }
    std::uint64_t value = 0;
    // Left to right: the first problem met is the one reported.
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::unexpected(SettingsError::Integer{IntErrorReason::InvalidDigit});
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > maximum) {
            return std::unexpected(SettingsError::Integer{IntErrorReason::PosOverflow});
        }
    }
    return value;
}

std::expected<std::uint8_t, SettingsError> parse_u8(std::string_view text) {
    const auto value = parse_unsigned(text, UINT8_MAX);
    if (!value) return std::unexpected(value.error());
    return static_cast<std::uint8_t>(*value);
}

std::expected<std::uint16_t, SettingsError> parse_u16(std::string_view text) {
    const auto value = parse_unsigned(text, UINT16_MAX);
    if (!value) return std::unexpected(value.error());
    return static_cast<std::uint16_t>(*value);
}

std::expected<bool, SettingsError> parse_bool(std::string_view text) {
    if (text == "true") return true;
    if (text == "false") return false;
    return std::unexpected(SettingsError::Boolean{});
}

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (x != b[i]) return false;
    }
    return true;
}

// Accepts: sign? (digits ("." digits?)? | "." digits) (e sign? digits)?,
// or sign? inf | infinity | nan in any case. No hexadecimal forms.
bool is_decimal_number(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::string_view rest = text.substr(i);
    if (equals_ignoring_ascii_case(rest, "inf") || equals_ignoring_ascii_case(rest, "infinity") ||
        equals_ignoring_ascii_case(rest, "nan")) {
        return true;
    }
    std::size_t digits = 0;
    while (i < text.size() && is_digit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && is_digit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t exponent_digits = 0;
        while (i < text.size() && is_digit(text[i])) ++i, ++exponent_digits;
        if (exponent_digits == 0) return false;
    }
    return i == text.size();
}

constexpr double TWO_TO_THE_64 = 18446744073709551616.0;

}  // namespace

std::expected<std::uint64_t, SettingsError> parse_decimal_coin_value(std::string_view text) {
    text = utf8::trim_whitespace(text);
    if (text.empty()) return std::unexpected(SettingsError::Decimal{FloatErrorReason::Empty});
    if (!is_decimal_number(text)) {
        return std::unexpected(SettingsError::Decimal{FloatErrorReason::Invalid});
    }
    // The grammar was checked above, so strtod sees only forms it reads exactly
    // (correctly rounded, "." as the point in the C locale).
    const std::string terminated(text);
    const double number = std::strtod(terminated.c_str(), nullptr);
    if (std::signbit(number)) return std::unexpected(SettingsError::message(NEGATIVE_COIN_VALUE));

    const double units = std::round(number * static_cast<double>(COIN_UNITS_PER_COIN));
    if (std::isnan(units)) return 0;
    if (units >= TWO_TO_THE_64) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(units);
}

}  // namespace quorvane

#include "scan/views/text_forms.hpp"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace quorvane {

std::string counted(std::uint64_t count, std::string_view noun) {
    return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

std::string grouped(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string utc_text(std::uint32_t timestamp) {
    const std::time_t time = timestamp;
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string duration_text(std::int64_t seconds) {
    const bool negative = seconds < 0;
    const std::uint64_t total = negative ? 0 - static_cast<std::uint64_t>(seconds) : static_cast<std::uint64_t>(seconds);
    char text[48];
    std::snprintf(text, sizeof text, "%s%llud %02llu:%02llu:%02llu", negative ? "-" : "",
                  static_cast<unsigned long long>(total / 86400), static_cast<unsigned long long>(total / 3600 % 24),
                  static_cast<unsigned long long>(total / 60 % 60), static_cast<unsigned long long>(total % 60));
    return text;
}

double rounded_percent(std::uint64_t part, std::uint64_t whole) {
    if (whole == 0) return 0;
    return std::round(static_cast<double>(part) * 10000.0 / static_cast<double>(whole)) / 100.0;
}

std::string percent_text(std::uint64_t part, std::uint64_t whole) {
    return fixed(rounded_percent(part, whole), 2);
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string html_escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace quorvane

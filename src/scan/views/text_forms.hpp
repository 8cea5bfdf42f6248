#pragma once

// How numbers, times and text look in every output that people read: the
// progress line, stats, the report.

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

// "1 block", "3 blocks".
std::string counted(std::uint64_t count, std::string_view noun);
// Digits in groups of three: 1234567 gives "1,234,567".
std::string grouped(std::uint64_t value);
// "2023-11-14T22:13:20Z"
std::string utc_text(std::uint32_t timestamp);
// "1d 02:03:04" (negative with a leading "-")
std::string duration_text(std::int64_t seconds);
// A share in per cent, rounded to two decimals: as a number (JSON) and as
// text ("33.33").
double rounded_percent(std::uint64_t part, std::uint64_t whole);
std::string percent_text(std::uint64_t part, std::uint64_t whole);
// "12.35" for (12.345, 2).
std::string fixed(double value, int decimals);
// Text made safe to put between tags or in an attribute.
std::string html_escaped(std::string_view text);

}  // namespace quorvane

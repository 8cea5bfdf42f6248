#include "common/uint128.hpp"

#include <cstdint>

namespace quorvane {

std::string to_decimal(uint128 value) {
    // Most values fit in 64 bits, where division is cheap.
    if (value <= UINT64_MAX) return std::to_string(static_cast<std::uint64_t>(value));
    char digits[40];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + static_cast<int>(value % 10));
        value /= 10;
    } while (value != 0);
    std::string out(count, '0');
    for (std::size_t i = 0; i < count; ++i) out[i] = digits[count - 1 - i];
    return out;
}

}  // namespace quorvane

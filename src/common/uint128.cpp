#include "common/uint128.hpp"

namespace quorvane {

std::string to_decimal(uint128 value) {
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

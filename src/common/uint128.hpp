#pragma once

#include <string>

namespace quorvane {

// GNU extension: the standard has no 128-bit integer, and VRF values need one.
__extension__ typedef unsigned __int128 uint128;

// Plain decimal text of a 128-bit value, all digits, no sign or leading zeros.
std::string to_decimal(uint128 value);

}  // namespace quorvane

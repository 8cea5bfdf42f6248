#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/uint128.hpp"

namespace quorvane {

// Objects keep their members in insertion order, and unsigned numbers are
// 128 bits wide so that VRF values print with all their digits.
using Json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                                  std::int64_t, uint128, double>;

// Two spaces per level, as every printed document is laid out.
inline constexpr int JSON_INDENT = 2;

}  // namespace quorvane

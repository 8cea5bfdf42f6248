#pragma once

// What every JSON Lines report shares: a compact line that stays valid
// UTF-8 whatever bytes of paths its messages carry, and a height or null.

#include <cstdint>
#include <optional>
#include <string>

#include "common/json.hpp"

namespace quorvane {

inline std::string compact(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

inline Json height_or_null(const std::optional<std::uint32_t>& height) { return height ? Json(*height) : Json(nullptr); }

}  // namespace quorvane

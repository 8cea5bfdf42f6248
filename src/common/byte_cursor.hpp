#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "common/uint128.hpp"

namespace quorvane {

// A little-endian reader over a byte span. Every read is bounds-checked and
// returns nothing instead of reading past the end; it is the only way the
// decoders touch record bytes.
class ByteCursor {
public:
    explicit ByteCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t position() const { return position_; }
    std::size_t remaining() const { return bytes_.size() - position_; }

    std::optional<std::span<const std::uint8_t>> take(std::size_t count) {
        if (count > remaining()) return std::nullopt;
        const auto taken = bytes_.subspan(position_, count);
        position_ += count;
        return taken;
    }

    std::optional<std::uint8_t> u8() {
        const auto b = take(1);
        if (!b) return std::nullopt;
        return (*b)[0];
    }
    std::optional<std::uint32_t> u32() { return little_endian<std::uint32_t>(); }
    std::optional<std::uint64_t> u64() { return little_endian<std::uint64_t>(); }
    std::optional<uint128> u128() { return little_endian<uint128>(); }

private:
    template <typename T>
    std::optional<T> little_endian() {
        const auto b = take(sizeof(T));
        if (!b) return std::nullopt;
        T value = 0;
        for (std::size_t i = sizeof(T); i-- > 0;) value = (value << 8) | (*b)[i];
        return value;
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

}  // namespace quorvane

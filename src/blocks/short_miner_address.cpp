#include "blocks/short_miner_address.hpp"

#include "common/binary_conversions.hpp"

namespace quorvane {

namespace {

std::optional<std::string_view> network_tag(std::uint8_t network_byte) {
    switch (network_byte) {
        case MAIN_NETWORK_BYTE: return "VEQ";
        case TEST_NETWORK_BYTE: return "VETQ";
        default: return std::nullopt;
    }
}

}  // namespace

std::optional<std::string> short_miner_address_text(std::span<const std::uint8_t> address) {
    if (address.size() != SHORT_MINER_ADDRESS_SIZE) return std::nullopt;
    if (address[MINER_ADDRESS_BYTES] != MINER_ADDRESS_SEPARATOR) return std::nullopt;
    const auto tag = network_tag(address[MINER_ADDRESS_BYTES + 1]);
    if (!tag) return std::nullopt;

    std::string text = bytes_to_hex(address.first(MINER_ADDRESS_BYTES));
    text += '.';
    for (const char c : *tag) text += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

}  // namespace quorvane

#include "support/store_builder.hpp"

#include <fstream>
#include <stdexcept>

#include "blocks/block.hpp"
#include "support/cli_harness.hpp"
#include "support/record_builders.hpp"

namespace quorvane::testing {

namespace {

std::array<std::uint8_t, 32> hash_bytes(const std::string& hex) {
    std::array<std::uint8_t, 32> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    }
    return bytes;
}

void write_file(const std::filesystem::path& path, const Bytes& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

BlockHeaderFields header_at(std::uint32_t height, const std::array<std::uint8_t, 32>& previous) {
    BlockHeaderFields header;
    header.timestamp = 1700000000u + height;
    header.miner.address = counting_bytes<20>(static_cast<std::uint8_t>(height));
    header.miner.network = 2;
    header.previous_hash = previous;
    header.next_block_difficulty = 1000 + height;
    header.nonce = static_cast<std::uint8_t>(height);
    header.vrf = (uint128{height} << 64) | 42u;
    return header;
}

TorrentFields torrent_for(const BlockHeaderFields& header, const std::array<std::uint8_t, 32>& hash) {
    TorrentFields torrent;
    torrent.length = 1000;
    torrent.this_block_difficulty = header.next_block_difficulty;
    torrent.timestamp = header.timestamp;
    torrent.nonce = header.nonce;
    torrent.vrf = header.vrf;
    torrent.block_hash = hash;
    torrent.previous_hash = header.previous_hash;
    torrent.piece_length = 400;
    torrent.info_hash = counting_bytes<16>(0xa0);
    for (std::uint8_t k = 1; k <= 3; ++k) torrent.pieces.push_back({k, counting_bytes<16>(static_cast<std::uint8_t>(k * 16))});
    torrent.miner = header.miner;
    return torrent;
}

}  // namespace

void write_store(const std::filesystem::path& root, const StoreShape& shape) {
    const auto blocks = root / "blocks/testnet";
    const auto torrents = root / "torrents/testnet";
    std::filesystem::create_directories(blocks);
    std::filesystem::create_directories(torrents);
    {
        std::ofstream settings(root / "settings.ini", std::ios::trunc);
        settings << valid_settings_text();
    }
    Bytes proof(BLOCK_PROOF_SIZE);
    std::array<std::uint8_t, 32> previous{};
    for (std::uint64_t h = shape.first; h < std::uint64_t{shape.first} + shape.count; ++h) {
        const auto height = static_cast<std::uint32_t>(h);
        const auto [first_fault, last_fault] = shape.faults.equal_range(height);
        const auto is = [&](Fault f) {
            for (auto fault = first_fault; fault != last_fault; ++fault) {
                if (fault->second == f) return true;
            }
            return false;
        };

        BlockHeaderFields header = header_at(height, previous);
        if (is(Fault::ChainBroken)) header.previous_hash[0] ^= 0xff;
        if (shape.largest_values.contains(height)) {
            header.next_block_difficulty = UINT64_MAX;
            header.vrf = ~uint128{0};
        }
        const Bytes header_bytes = encode_block_header(header);
        const auto block = decode_block_header(header_bytes);
        if (!block) throw std::logic_error("store header does not decode");
        const auto hash = hash_bytes(compute_block_hash(*block));
        previous = hash;

        const std::string name = std::to_string(height);
        if (!is(Fault::BlockMissing)) {
            for (std::size_t i = 0; i < proof.size(); ++i) proof[i] = static_cast<std::uint8_t>(height + i);
            Bytes file = block_file(header, proof);
            if (is(Fault::BlockInvalid)) file[25] = 3;  // no such network
            write_file(blocks / (name + ".vetq"), file);
        }
        if (shape.with_torrents && !is(Fault::TorrentMissing)) {
            TorrentFields torrent = torrent_for(header, hash);
            if (is(Fault::TorrentMismatch)) torrent.timestamp += 1;
            Bytes file = encode_torrent(torrent);
            if (is(Fault::TorrentInvalid)) file.resize(100);
            write_file(torrents / (name + ".torrent"), file);
        }
    }
}

Fault fault_from_name(const std::string& name) {
    static const std::map<std::string, Fault> names = {
        {"block_missing", Fault::BlockMissing},     {"torrent_missing", Fault::TorrentMissing},
        {"block_invalid", Fault::BlockInvalid},     {"torrent_invalid", Fault::TorrentInvalid},
        {"chain_broken", Fault::ChainBroken},       {"torrent_mismatch", Fault::TorrentMismatch},
    };
    const auto found = names.find(name);
    if (found == names.end()) throw std::invalid_argument("unknown problem " + name);
    return found->second;
}

}  // namespace quorvane::testing

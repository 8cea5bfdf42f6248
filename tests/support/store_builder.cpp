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

HeightValues values_at(std::uint32_t height, const StoreShape& shape) {
    HeightValues values;
    values.timestamp = 1700000000u + height;
    values.next_block_difficulty = 1000 + std::uint64_t{height};
    values.miner = static_cast<std::uint8_t>(height);
    if (shape.values) shape.values(height, values);
    return values;
}

BlockHeaderFields header_at(std::uint32_t height, const HeightValues& values,
                            const std::array<std::uint8_t, 32>& previous) {
    BlockHeaderFields header;
    header.timestamp = values.timestamp;
    header.miner.address = counting_bytes<20>(values.miner);
    header.miner.network = values.network;
    header.previous_hash = previous;
    header.next_block_difficulty = values.next_block_difficulty;
    header.nonce = static_cast<std::uint8_t>(height);
    header.vrf = (uint128{height} << 64) | 42u;
    return header;
}

TorrentFields torrent_for(const BlockHeaderFields& header, const HeightValues& values,
                          const std::array<std::uint8_t, 32>& hash) {
    TorrentFields torrent;
    torrent.length = values.length;
    torrent.this_block_difficulty = header.next_block_difficulty;
    torrent.timestamp = header.timestamp;
    torrent.nonce = header.nonce;
    torrent.vrf = header.vrf;
    torrent.block_hash = hash;
    if (values.torrent_previous_hash) torrent.previous_hash = header.previous_hash;
    torrent.piece_length = values.piece_length;
    torrent.info_hash = counting_bytes<16>(0xa0);
    const std::uint64_t pieces = (values.length + values.piece_length - 1) / values.piece_length;
    for (std::uint64_t k = 1; k <= pieces; ++k) {
        torrent.pieces.push_back({static_cast<std::uint8_t>(k), counting_bytes<16>(static_cast<std::uint8_t>(k * 16 + values.piece_salt))});
    }
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

        const HeightValues values = values_at(height, shape);
        BlockHeaderFields header = header_at(height, values, previous);
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
            TorrentFields torrent = torrent_for(header, values, hash);
            if (is(Fault::TorrentMismatch)) torrent.timestamp += 1;
            Bytes file = encode_torrent(torrent);
            if (is(Fault::TorrentInvalid)) file.resize(100);
            write_file(torrents / (name + ".torrent"), file);
        }
    }
}

void lifelike_values(std::uint32_t height, HeightValues& values) {
    // A fixed scramble of the height stands in for chance.
    std::uint64_t mix = (std::uint64_t{height} + 1) * 0x9e3779b97f4a7c15ull;
    mix = (mix ^ (mix >> 31)) * 0xbf58476d1ce4e5b9ull;
    mix ^= mix >> 29;
    // Timestamps: the sum of the intervals so far would need every height
    // below; a slow wave around a minute a block, with jitter, gives the
    // same look from the height alone.
    values.timestamp = 1700000000u + height * 60u + static_cast<std::uint32_t>(mix % 50);
    if (height % 9973 == 5000) values.timestamp += 3600;  // a pause of an hour
    if (height % 4999 == 17) values.timestamp -= 70;      // a clock that went back
    values.next_block_difficulty = 1'000'000'000ull + (height / 500) * 37'000'000ull % 900'000'000ull;
    static constexpr std::uint8_t MINERS[] = {1, 1, 1, 1, 2, 2, 2, 3, 3, 4};
    values.miner = (mix >> 8) % 4 == 0 ? static_cast<std::uint8_t>(5 + (mix >> 16) % 26) : MINERS[(mix >> 24) % 10];
    values.network = 2;
    static constexpr std::uint32_t PIECE_LENGTHS[] = {262144, 262144, 262144, 524288, 1048576};
    values.piece_length = PIECE_LENGTHS[(mix >> 32) % 5];
    values.length = values.piece_length * ((mix >> 40) % 200) + (mix >> 48) % values.piece_length + 1;
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

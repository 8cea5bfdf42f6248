#include "support/record_builders.hpp"

#include <stdexcept>

namespace quorvane::testing {

namespace {

void put_le(Bytes& out, uint128 value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

template <std::size_t N>
void put_bytes(Bytes& out, const std::array<std::uint8_t, N>& bytes) {
    for (const std::uint8_t byte : bytes) out.push_back(byte);
}

void put_miner(Bytes& out, const MinerAddressFields& miner) {
    put_bytes(out, miner.address);
    out.push_back(miner.separator);
    out.push_back(miner.network);
}

template <std::size_t N>
std::array<std::uint8_t, N> from_hex(const std::string& hex) {
    if (hex.size() != 2 * N) throw std::invalid_argument("hex text of the wrong length: " + hex);
    std::array<std::uint8_t, N> bytes{};
    for (std::size_t i = 0; i < N; ++i) {
        bytes[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    }
    return bytes;
}

MinerAddressFields miner_from_text(const std::string& text) {
    MinerAddressFields miner;
    miner.address = from_hex<20>(text.substr(0, 40));
    const std::string tag = text.substr(41);
    miner.network = tag == "veq" ? 1 : tag == "vetq" ? 2 : 0;
    return miner;
}

}  // namespace

Bytes encode_block_header(const BlockHeaderFields& fields) {
    Bytes out;
    put_le(out, fields.timestamp, 4);
    put_miner(out, fields.miner);
    put_bytes(out, fields.previous_hash);
    put_le(out, fields.next_block_difficulty, 8);
    put_le(out, fields.nonce, 1);
    put_le(out, fields.vrf, 16);
    return out;
}

Bytes encode_torrent(const TorrentFields& fields) {
    Bytes out;
    put_le(out, fields.length, 8);
    put_le(out, fields.this_block_difficulty, 8);
    put_le(out, fields.timestamp, 4);
    put_le(out, fields.nonce, 1);
    put_le(out, fields.vrf, 16);
    put_bytes(out, fields.block_hash);
    if (fields.previous_hash) put_bytes(out, *fields.previous_hash);
    put_le(out, fields.piece_length, 4);
    put_bytes(out, fields.info_hash);
    for (const auto& piece : fields.pieces) {
        out.push_back(piece.index);
        put_bytes(out, piece.hash);
    }
    put_miner(out, fields.miner);
    return out;
}

Bytes encode_block_header(const VrfBlock& block) {
    const UnminedBlock& header = block.unmined_block;
    BlockHeaderFields fields;
    fields.timestamp = header.timestamp;
    fields.miner = miner_from_text(header.miner);
    fields.previous_hash = from_hex<32>(header.previous_hash);
    fields.next_block_difficulty = header.next_block_difficulty;
    fields.nonce = header.nonce;
    fields.vrf = block.vrf;
    return encode_block_header(fields);
}

Bytes encode_torrent(const Torrent& torrent) {
    const Info& info = torrent.info;
    TorrentFields fields;
    fields.length = info.length;
    fields.this_block_difficulty = info.this_block_difficulty;
    fields.timestamp = info.timestamp;
    fields.nonce = info.nonce;
    fields.vrf = info.vrf;
    fields.block_hash = from_hex<32>(info.block_hash);
    if (!info.previous_hash.empty()) fields.previous_hash = from_hex<32>(info.previous_hash);
    fields.piece_length = info.piece_length;
    fields.info_hash = from_hex<16>(info.info_hash);
    for (const Piece& piece : info.pieces) {
        fields.pieces.push_back(PieceFields{piece.index, from_hex<16>(piece.hash)});
    }
    fields.miner = miner_from_text(torrent.mined_by);
    return encode_torrent(fields);
}

BlockHeaderFields worked_example_header() {
    BlockHeaderFields fields;
    fields.timestamp = 1700000000;
    fields.miner.address = counting_bytes<20>(0x01);
    fields.miner.network = 1;
    fields.previous_hash = counting_bytes<32>(0x00);
    fields.next_block_difficulty = 1000;
    fields.nonce = 7;
    fields.vrf = 42;
    return fields;
}

TorrentFields worked_example_torrent() {
    TorrentFields fields;
    fields.length = 1000;
    fields.this_block_difficulty = 5000;
    fields.timestamp = 1700000000;
    fields.nonce = 7;
    fields.vrf = 42;
    fields.block_hash = counting_bytes<32>(0x20);
    fields.piece_length = 400;
    fields.info_hash = counting_bytes<16>(0xa0);
    fields.pieces = {
        PieceFields{1, counting_bytes<16>(0x10)},
        PieceFields{2, counting_bytes<16>(0x20)},
        PieceFields{3, counting_bytes<16>(0x30)},
    };
    fields.miner.address = counting_bytes<20>(0x01);
    fields.miner.network = 1;
    return fields;
}

Bytes block_file(const BlockHeaderFields& header, const Bytes& proof) {
    Bytes out = encode_block_header(header);
    for (const std::uint8_t byte : proof) out.push_back(byte);
    return out;
}

Bytes zero_proof() { return Bytes(BLOCK_PROOF_SIZE, 0); }

std::string as_text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace quorvane::testing

#include "support/example_node.hpp"

namespace quorvane::testing {

namespace {

// A block of the test network whose vrf needs more than 64 bits
// (2^127 + 5), with a proof that counts up so that it reads as bytes.
BlockHeaderFields large_vrf_header() {
    BlockHeaderFields fields = worked_example_header();
    fields.miner.network = 2;
    fields.vrf = (uint128{1} << 127) + 5;
    return fields;
}

Bytes counting_proof() {
    Bytes proof(BLOCK_PROOF_SIZE);
    for (std::size_t i = 0; i < proof.size(); ++i) proof[i] = static_cast<std::uint8_t>(i);
    return proof;
}

TorrentFields with_previous_hash() {
    TorrentFields fields = worked_example_torrent();
    fields.previous_hash = counting_bytes<32>(0x40);
    return fields;
}

TorrentFields without_pieces() {
    TorrentFields fields = worked_example_torrent();
    fields.length = 0;
    fields.piece_length = 1;
    fields.pieces.clear();
    fields.miner.network = 2;
    return fields;
}

TorrentFields most_pieces() {
    TorrentFields fields = worked_example_torrent();
    fields.piece_length = 1024;
    fields.length = 255 * 1024;
    fields.pieces.clear();
    for (unsigned index = 1; index <= 255; ++index) {
        fields.pieces.push_back(
            PieceFields{static_cast<std::uint8_t>(index), counting_bytes<16>(static_cast<std::uint8_t>(index))});
    }
    fields.miner.network = 2;
    return fields;
}

}  // namespace

std::vector<ExampleFile> example_node_files() {
    return {
        {"blocks/testnet/7.vetq", block_file(worked_example_header(), zero_proof())},
        {"blocks/testnet/8.vetq", block_file(large_vrf_header(), counting_proof())},
        {"torrents/testnet/7.torrent", encode_torrent(worked_example_torrent())},
        {"torrents/testnet/8.torrent", encode_torrent(with_previous_hash())},
        {"torrents/testnet/9.torrent", encode_torrent(without_pieces())},
        {"torrents/testnet/10.torrent", encode_torrent(most_pieces())},
    };
}

}  // namespace quorvane::testing

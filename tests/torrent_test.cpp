#include "torrent/structs.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/json.hpp"
#include "support/record_builders.hpp"
#include "support/worked_examples.hpp"

namespace quorvane {
namespace {

using testing::Bytes;
using testing::counting_bytes;
using testing::encode_torrent;
using testing::PieceFields;
using testing::TorrentFields;
using testing::worked_example_torrent;

using testing::WORKED_EXAMPLE_TORRENT_JSON;

TorrentFields with_previous_hash() {
    TorrentFields fields = worked_example_torrent();
    fields.previous_hash = counting_bytes<32>(0x40);
    return fields;
}

TorrentFields with_pieces(std::uint64_t length, std::uint32_t piece_length, std::size_t count) {
    TorrentFields fields = worked_example_torrent();
    fields.length = length;
    fields.piece_length = piece_length;
    fields.pieces.clear();
    for (std::size_t k = 1; k <= count; ++k) {
        fields.pieces.push_back(PieceFields{static_cast<std::uint8_t>(k), counting_bytes<16>(0)});
    }
    return fields;
}

TEST(DecodeTorrent, WorkedExamplePrintsItsTwentyFiveLines) {
    const Bytes bytes = encode_torrent(worked_example_torrent());
    ASSERT_EQ(bytes.size(), 162u);
    const auto torrent = decode_torrent(bytes);
    ASSERT_TRUE(torrent.has_value()) << torrent.error().message();
    EXPECT_EQ(torrent_json_text(*torrent), WORKED_EXAMPLE_TORRENT_JSON);
    EXPECT_EQ(encode_torrent(*torrent), bytes);
}

TEST(DecodeTorrent, RecognisesThePreviousHashForm) {
    TorrentFields fields = with_previous_hash();
    fields.miner.network = 2;
    const Bytes bytes = encode_torrent(fields);
    ASSERT_EQ(bytes.size(), 194u);
    const auto torrent = decode_torrent(bytes);
    ASSERT_TRUE(torrent.has_value()) << torrent.error().message();
    EXPECT_EQ(torrent->info.previous_hash,
              "404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f");
    EXPECT_EQ(torrent->info.piece_length, 400u);
    EXPECT_EQ(torrent->info.pieces.size(), 3u);
    EXPECT_EQ(torrent->mined_by, "0102030405060708090a0b0c0d0e0f1011121314.vetq");
    EXPECT_EQ(encode_torrent(*torrent), bytes);
}

TEST(DecodeTorrent, BoundaryRecordsDecode) {
    struct Case {
        std::string name;
        TorrentFields fields;
        std::size_t size;
        std::size_t pieces;
    };
    TorrentFields largest = with_pieces(255, 1, 255);
    largest.previous_hash = counting_bytes<32>(0);
    TorrentFields smallest_with_hash = with_pieces(0, 1, 0);
    smallest_with_hash.previous_hash = counting_bytes<32>(0);
    TorrentFields pieces_of_64k_with_hash = with_pieces((1u << 16) + 1, 1u << 16, 2);
    pieces_of_64k_with_hash.previous_hash = counting_bytes<32>(0);
    TorrentFields wide_pieces_with_hash = with_pieces((1u << 24) + 1, 1u << 24, 2);
    wide_pieces_with_hash.previous_hash = counting_bytes<32>(0);
    const std::vector<Case> cases = {
        {"no pieces", with_pieces(0, 1, 0), 111, 0},
        {"255 pieces", with_pieces(255, 1, 255), 111 + 17 * 255, 255},
        {"largest record", largest, TORRENT_MAX_SIZE, 255},
        {"smallest record with a previous hash", smallest_with_hash, 143, 0},
        {"previous hash and piece length 1 << 24", wide_pieces_with_hash, 177, 2},
        {"previous hash and piece length 1 << 16", pieces_of_64k_with_hash, 177, 2},
        {"length just below a full piece", with_pieces(399, 400, 1), 128, 1},
        {"largest length with piece length 1 << 31",
         with_pieces(UINT64_MAX - 0x7FFFFFFF, 0x80000000u, 0), 0, 0},
    };
    for (const auto& c : cases) {
        const Bytes bytes = encode_torrent(c.fields);
        if (c.size != 0) {
            EXPECT_EQ(bytes.size(), c.size) << c.name;
        }
        const auto torrent = decode_torrent(bytes);
        if (c.name.starts_with("largest length")) {
            // ceil(length / 2^31) is far above 255.
            ASSERT_FALSE(torrent.has_value());
            EXPECT_EQ(torrent.error().message(), INVALID_TORRENT_PIECE_COUNT_U8);
            continue;
        }
        ASSERT_TRUE(torrent.has_value()) << c.name << ": " << torrent.error().message();
        EXPECT_EQ(torrent->info.pieces.size(), c.pieces) << c.name;
        EXPECT_EQ(encode_torrent(*torrent), bytes) << c.name;
    }
}

TEST(DecodeTorrent, EmptyPiecesPrintAsAnEmptyArray) {
    const auto torrent = decode_torrent(encode_torrent(with_pieces(0, 1, 0)));
    ASSERT_TRUE(torrent.has_value());
    const std::string text = torrent_json_text(*torrent);
    EXPECT_NE(text.find("    \"previous_hash\": \"\",\n"), std::string::npos);
    EXPECT_NE(text.find("    \"pieces\": []\n"), std::string::npos);
}

TEST(DecodeTorrent, LargestValuesPrintWithAllDigits) {
    TorrentFields fields = worked_example_torrent();
    fields.vrf = ~uint128{0};
    fields.this_block_difficulty = UINT64_MAX;
    fields.nonce = 0xFF;
    const auto torrent = decode_torrent(encode_torrent(fields));
    ASSERT_TRUE(torrent.has_value());
    const std::string text = torrent_json_text(*torrent);
    EXPECT_NE(text.find("\"vrf\": 340282366920938463463374607431768211455,"), std::string::npos);
    EXPECT_NE(text.find("\"this_block_difficulty\": 18446744073709551615,"), std::string::npos);
    EXPECT_NE(text.find("\"nonce\": 255,"), std::string::npos);
}

TEST(DecodeTorrent, RejectsEachDefectWithItsMessage) {
    const Bytes example = encode_torrent(worked_example_torrent());
    const auto edited = [](TorrentFields fields, auto&& edit) {
        edit(fields);
        return encode_torrent(fields);
    };
    const auto set_length = [](std::uint64_t length) {
        return [length](TorrentFields& f) { f.length = length; };
    };
    struct Case {
        std::string name;
        Bytes bytes;
        std::string_view message;
    };
    Bytes longer = example;
    longer.push_back(0);
    const std::vector<Case> cases = {
        {"empty", {}, INVALID_TORRENT_BYTE_COUNT},
        {"110 bytes", Bytes(110, 0), INVALID_TORRENT_BYTE_COUNT},
        {"100 bytes", Bytes(100, 0xFF), INVALID_TORRENT_BYTE_COUNT},
        {"piece length 0", edited(worked_example_torrent(), [](TorrentFields& f) { f.piece_length = 0; }),
         INVALID_TORRENT_PIECE_LENGTH},
        {"piece length 0 with length 0",
         edited(with_pieces(0, 0, 0), [](TorrentFields&) {}), INVALID_TORRENT_PIECE_LENGTH},
        {"one byte appended", longer, INVALID_TORRENT_PIECE_SECTION_LENGTH},
        {"last byte removed", Bytes(example.begin(), example.end() - 1), INVALID_TORRENT_PIECE_SECTION_LENGTH},
        {"overflow", edited(with_pieces(UINT64_MAX, 2, 0), [](TorrentFields&) {}),
         INVALID_TORRENT_PIECE_COUNT_OVERFLOW},
        // Its piece count overflows, so the record cannot be of the
        // previous-hash form; read without one, its pieces do not fit.
        {"previous form, overflow",
         edited(with_pieces(UINT64_MAX, 2, 0), [](TorrentFields& f) { f.previous_hash = counting_bytes<32>(0); }),
         INVALID_TORRENT_PIECE_SECTION_LENGTH},
        {"u8 limit without overflow", edited(with_pieces(UINT64_MAX, 1, 0), [](TorrentFields&) {}),
         INVALID_TORRENT_PIECE_COUNT_U8},
        {"256 pieces", encode_torrent(with_pieces(256, 1, 0)), INVALID_TORRENT_PIECE_COUNT_U8},
        {"four pieces expected", edited(worked_example_torrent(), set_length(1201)), INVALID_NUMBER_OF_PIECES},
        {"two pieces expected", edited(worked_example_torrent(), set_length(800)), INVALID_NUMBER_OF_PIECES},
        // Not recognised as the previous-hash form: read from offset 69 on.
        {"previous form, length 1201", edited(with_previous_hash(), set_length(1201)),
         INVALID_TORRENT_PIECE_SECTION_LENGTH},
        {"previous form, length 800", edited(with_previous_hash(), set_length(800)),
         INVALID_TORRENT_PIECE_SECTION_LENGTH},
        {"previous form, piece length 0",
         edited(with_previous_hash(), [](TorrentFields& f) { f.piece_length = 0; }),
         INVALID_TORRENT_PIECE_SECTION_LENGTH},
        {"indices 1, 3, 2",
         edited(worked_example_torrent(), [](TorrentFields& f) { f.pieces[1].index = 3; f.pieces[2].index = 2; }),
         INVALID_TORRENT_PIECE_INDEX_ORDER},
        {"indices 0, 1, 2",
         edited(worked_example_torrent(), [](TorrentFields& f) { for (auto& p : f.pieces) --p.index; }),
         INVALID_TORRENT_PIECE_INDEX_ORDER},
        {"previous form, bad index",
         edited(with_previous_hash(), [](TorrentFields& f) { f.pieces[0].index = 9; }),
         INVALID_TORRENT_PIECE_INDEX_ORDER},
        {"miner separator", edited(worked_example_torrent(), [](TorrentFields& f) { f.miner.separator = 0; }),
         INVALID_TORRENT_MINER_ADDRESS},
        {"miner network 0", edited(worked_example_torrent(), [](TorrentFields& f) { f.miner.network = 0; }),
         INVALID_TORRENT_MINER_ADDRESS},
        {"miner network 3", edited(worked_example_torrent(), [](TorrentFields& f) { f.miner.network = 3; }),
         INVALID_TORRENT_MINER_ADDRESS},
    };
    for (const auto& c : cases) {
        const auto torrent = decode_torrent(c.bytes);
        ASSERT_FALSE(torrent.has_value()) << c.name;
        EXPECT_EQ(torrent.error().message(), c.message) << c.name;
        EXPECT_EQ(torrent.error().kind(), ErrorKind::InvalidData) << c.name;
    }
}

TEST(TorrentJsonText, EscapesTextsAsTheJsonLibraryDoes) {
    // Decoded texts never need escapes; a hand-made record shows that the
    // writer would still produce the library's text if they did.
    for (const std::string& text : {std::string("plain.veq"), std::string("quote\" and back\\slash"),
                                   std::string("tab\tnew\nline\r\b\f"), std::string("nul\0ctl\x01\x1f", 9),
                                   std::string("long text without escapes at all, longer than eight"),
                                   std::string("12345678\""), std::string("abcdefgh\\"), std::string("abcdefgh\t"),
                                   std::string("del\x7f caf\xC3\xA9 \xE2\x82\xAC")}) {
        auto torrent = *decode_torrent(encode_torrent(worked_example_torrent()));
        torrent.mined_by = text;
        torrent.info.pieces[0].hash = text;
        Json expected = Json::parse(torrent_json_text(*decode_torrent(encode_torrent(worked_example_torrent()))));
        expected["mined_by"] = text;
        expected["info"]["pieces"][0]["1"] = text;
        EXPECT_EQ(torrent_json_text(torrent), expected.dump(2)) << text;
    }
}

TEST(DecodeTorrent, APrefixTooShortForItsRecordIsRefused) {
    const Bytes bytes = encode_torrent(worked_example_torrent());
    const auto short_prefix = decode_torrent(std::span(bytes).first(150), bytes.size());
    ASSERT_FALSE(short_prefix.has_value());
    EXPECT_EQ(short_prefix.error().message(), INVALID_TORRENT_BYTE_COUNT);
}

TEST(DecodeTorrent, APrefixAndTheTotalLengthGiveTheWholeRecordsAnswer) {
    // Records longer than any well-formed one, with heads that reach each check.
    for (const std::size_t extra : {1u, 17u, 18u, 1000u, 4096u * 17u}) {
        for (const auto& fields : {worked_example_torrent(), with_pieces(0, 0, 0), with_pieces(UINT64_MAX, 2, 0),
                                   with_pieces(UINT64_MAX, 1, 0), with_pieces(255, 1, 255)}) {
            Bytes whole = encode_torrent(fields);
            whole.resize(TORRENT_MAX_SIZE + extra, 0x5A);
            const auto full = decode_torrent(whole);
            const auto partial = decode_torrent(std::span(whole).first(TORRENT_MAX_SIZE + 1), whole.size());
            ASSERT_FALSE(full.has_value());
            ASSERT_FALSE(partial.has_value());
            EXPECT_EQ(partial.error(), full.error()) << extra;
        }
    }
}

}  // namespace
}  // namespace quorvane

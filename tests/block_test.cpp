#include "blocks/block.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/record_builders.hpp"
#include "support/worked_examples.hpp"

namespace quorvane {
namespace {

using testing::BlockHeaderFields;
using testing::Bytes;
using testing::encode_block_header;
using testing::worked_example_header;

const std::string WORKED_EXAMPLE_COMPACT =
    R"({"unmined_block":{"timestamp":1700000000,"miner":"0102030405060708090a0b0c0d0e0f1011121314.veq",)"
    R"("previous_hash":"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",)"
    R"("next_block_difficulty":1000,"nonce":7},"vrf":42})";

TEST(DecodeBlockHeader, DecodesTheWorkedExample) {
    const Bytes bytes = encode_block_header(worked_example_header());
    ASSERT_EQ(bytes.size(), BLOCK_HEADER_SIZE);
    const auto block = decode_block_header(bytes);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->unmined_block.timestamp, 1700000000u);
    EXPECT_EQ(block->unmined_block.miner, "0102030405060708090a0b0c0d0e0f1011121314.veq");
    EXPECT_EQ(block->unmined_block.previous_hash,
              "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    EXPECT_EQ(block->unmined_block.next_block_difficulty, 1000u);
    EXPECT_EQ(block->unmined_block.nonce, 7);
    EXPECT_TRUE(block->vrf == 42);
    EXPECT_EQ(compact_json_text(*block), WORKED_EXAMPLE_COMPACT);
    EXPECT_EQ(compact_json_text(*block).size(), 228u);
    EXPECT_EQ(encode_block_header(*block), bytes);
}

TEST(DecodeBlockHeader, RejectsBadInputWithItsMessage) {
    const Bytes valid = encode_block_header(worked_example_header());
    struct Case {
        std::string name;
        Bytes bytes;
        std::string diagnostic;
    };
    const auto with = [&](std::size_t offset, std::uint8_t value) {
        Bytes bytes = valid;
        bytes[offset] = value;
        return bytes;
    };
    const std::string count = R"(Custom { kind: Other, error: "Invalid Byte Count for Block" })";
    const std::string miner = R"(Custom { kind: Other, error: "Invalid short miner address" })";
    Bytes longer = valid;
    longer.push_back(0);
    const std::vector<Case> cases = {
        {"empty", {}, count},
        {"82 bytes", Bytes(valid.begin(), valid.end() - 1), count},
        {"84 bytes", longer, count},
        {"84 bytes with a bad miner too", [&] { Bytes b = longer; b[25] = 9; return b; }(), count},
        {"network byte 0", with(25, 0), miner},
        {"network byte 3", with(25, 3), miner},
        {"separator not 0x2E", with(24, 0x2F), miner},
    };
    for (const auto& c : cases) {
        const auto block = decode_block_header(c.bytes);
        ASSERT_FALSE(block.has_value()) << c.name;
        EXPECT_EQ(block.error().diagnostic(), c.diagnostic) << c.name;
    }
}

TEST(DecodeBlockHeader, KeepsTheLargestValues) {
    BlockHeaderFields fields = worked_example_header();
    fields.timestamp = 0xFFFFFFFF;
    fields.next_block_difficulty = UINT64_MAX;
    fields.nonce = 0xFF;
    fields.vrf = ~uint128{0};
    fields.miner.network = 2;
    const auto block = decode_block_header(encode_block_header(fields));
    ASSERT_TRUE(block.has_value());
    const std::string text = compact_json_text(*block);
    EXPECT_NE(text.find("\"timestamp\":4294967295,"), std::string::npos);
    EXPECT_NE(text.find(".vetq\""), std::string::npos);
    EXPECT_NE(text.find("\"next_block_difficulty\":18446744073709551615,"), std::string::npos);
    EXPECT_NE(text.find("\"nonce\":255}"), std::string::npos);
    EXPECT_TRUE(text.ends_with("\"vrf\":340282366920938463463374607431768211455}"));
    EXPECT_EQ(text.size(), 284u);
}

TEST(BlockHash, MatchesTheWorkedExamples) {
    const auto first = decode_block_header(encode_block_header(worked_example_header()));
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(compute_block_hash(*first),
              "0d4282790a3bfe0a568b8aa895e8ddc12e880d7985ac20f25b6de9944f188746");

    BlockHeaderFields fields = worked_example_header();
    fields.miner.network = 2;
    fields.vrf = (uint128{1} << 127) + 5;
    const auto second = decode_block_header(encode_block_header(fields));
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(compact_json_text(*second).size(), 266u);
    EXPECT_NE(compact_json_text(*second).find("\"vrf\":170141183460469231731687303715884105733}"),
              std::string::npos);
    EXPECT_EQ(compute_block_hash(*second),
              "91f8126e9da83efc2dc1d315ef9f74ac55cd2991c15ea0dfcc1a061f6cc6ae06");
}

TEST(BlockHash, ChangesWithEveryField) {
    const auto hash_of = [](const BlockHeaderFields& fields) {
        return compute_block_hash(*decode_block_header(encode_block_header(fields)));
    };
    const std::string base = hash_of(worked_example_header());
    std::vector<BlockHeaderFields> variants(6, worked_example_header());
    variants[0].timestamp += 1;
    variants[1].miner.address[0] ^= 1;
    variants[2].previous_hash[31] ^= 1;
    variants[3].next_block_difficulty += 1;
    variants[4].nonce += 1;
    variants[5].vrf += 1;
    for (const auto& variant : variants) EXPECT_NE(hash_of(variant), base);
}

TEST(BlockDocument, PrintsMembersInDeclaredOrder) {
    const auto block = decode_block_header(encode_block_header(worked_example_header()));
    ASSERT_TRUE(block.has_value());
    const auto text = block_document_text(*block, "00ff");
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, testing::worked_example_block_document("00ff"));
}

TEST(BlockDocument, PrintsLargeVrfWithAllDigits) {
    BlockHeaderFields fields = worked_example_header();
    fields.vrf = ~uint128{0};
    const auto block = decode_block_header(encode_block_header(fields));
    const auto text = block_document_text(*block, "");
    ASSERT_TRUE(text.has_value());
    EXPECT_NE(text->find("    \"vrf\": 340282366920938463463374607431768211455\n"), std::string::npos);
}

}  // namespace
}  // namespace quorvane

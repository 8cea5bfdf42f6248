#pragma once

// The printed forms of the worked examples, as users see them.

#include <string>
#include <string_view>

namespace quorvane::testing {

// The block document of the worked example header with the given proof text.
inline std::string worked_example_block_document(std::string_view proof) {
    return "{\n"
           "  \"vrf_block\": {\n"
           "    \"unmined_block\": {\n"
           "      \"timestamp\": 1700000000,\n"
           "      \"miner\": \"0102030405060708090a0b0c0d0e0f1011121314.veq\",\n"
           "      \"previous_hash\": \"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f\",\n"
           "      \"next_block_difficulty\": 1000,\n"
           "      \"nonce\": 7\n"
           "    },\n"
           "    \"vrf\": 42\n"
           "  },\n"
           "  \"proof\": \"" + std::string(proof) + "\"\n"
           "}";
}

// The 25 lines of the 162-byte worked example torrent record, without the
// final newline.
inline constexpr std::string_view WORKED_EXAMPLE_TORRENT_JSON = R"({
  "info": {
    "length": 1000,
    "this_block_difficulty": 5000,
    "timestamp": 1700000000,
    "nonce": 7,
    "vrf": 42,
    "block_hash": "202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f",
    "previous_hash": "",
    "piece_length": 400,
    "info_hash": "a0a1a2a3a4a5a6a7a8a9aaabacadaeaf",
    "pieces": [
      {
        "1": "101112131415161718191a1b1c1d1e1f"
      },
      {
        "2": "202122232425262728292a2b2c2d2e2f"
      },
      {
        "3": "303132333435363738393a3b3c3d3e3f"
      }
    ]
  },
  "mined_by": "0102030405060708090a0b0c0d0e0f1011121314.veq"
})";

}  // namespace quorvane::testing

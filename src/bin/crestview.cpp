// crestview <block_number>: prints the difficulty, the hash and the header
// and proof of one block file of the test network.

#include <string>

#include "blocks/block.hpp"
#include "common/binary_conversions.hpp"
#include "common/process_arguments.hpp"
#include "common/tool_entry.hpp"
#include "records/unpack_block/unpack_header.hpp"

namespace {

using namespace quorvane;

std::expected<void, IoError> show_block(std::uint32_t height) {
    const auto header = read_block_header(height);
    if (!header) fatal_stop(header.error());
    // The header's file is closed before the proof read opens it again.
    const auto proof = read_block_proof(height);
    if (!proof) fatal_stop(proof.error());

    const std::string hash = compute_block_hash(*header);
    const auto document = block_document_text(*header, *proof);
    if (!document) return std::unexpected(document.error());
    const auto difficulty = hash_to_difficulty(hash);
    if (!difficulty) fatal_stop(difficulty.error());

    print(Stream::Stdout, "difficulty: " + std::to_string(*difficulty) + "\nhash_value: " + hash +
                              "\n" + *document + "\n");
    return {};
}

constexpr std::size_t MIN_ARGUMENTS = 2;
// The block number and up to two more, left to the settings loader (--config PATH).
constexpr std::size_t MAX_ARGUMENTS = 4;

}  // namespace

int main(int argc, char** argv) {
    start_tool(argc, argv);
    const auto& arguments = process_arguments();
    if (arguments.size() < MIN_ARGUMENTS || arguments.size() > MAX_ARGUMENTS) {
        return report_usage(arguments.empty() ? std::string() : arguments[0]);
    }
    const auto height = parse_block_height(arguments[1]);
    if (!height) return report_error(INVALID_BLOCK_NUMBER);
    return finish_flow(show_block(*height));
}

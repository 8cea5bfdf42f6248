// swarmview <block_number>: prints the torrent record that the node keeps
// for one block of the test network.

#include <string>

#include "common/file_reading.hpp"
#include "common/network_paths_and_settings.hpp"
#include "common/process_arguments.hpp"
#include "common/tool_entry.hpp"
#include "common/utf8.hpp"
#include "torrent/structs.hpp"
#include "torrent/torrent_file.hpp"

namespace {

using namespace quorvane;

std::expected<void, FlowError> show_torrent(std::string_view block_number) {
    // Settings come first: a bad settings file stops the run even when no
    // torrent file exists.
    const auto paths = testnet_network_paths();
    if (!paths) fatal_stop(settings_failure_text(paths.error()));

    const std::string path = torrent_file_path(paths->torrent_dir, block_number);
    if (!path_exists(path)) {
        print(Stream::Stderr, "Torrent file not found: " + utf8::to_text_lossy(path) + "\n");
        return std::unexpected(ReportedFailure{});
    }
    const auto content = read_torrent_file(path);
    if (!content) return std::unexpected(content.error());

    const auto torrent = decode_torrent(content->bytes(), content->total_length);
    if (!torrent) {
        print(Stream::Stderr, "Failed to parse torrent: " + torrent.error().message() + "\n");
        return std::unexpected(ReportedFailure{});
    }
    print(Stream::Stdout, torrent_json_text(*torrent) + "\n");
    return {};
}

constexpr std::size_t MIN_ARGUMENTS = 2;

}  // namespace

int main(int argc, char** argv) {
    start_tool(argc, argv);
    const auto& arguments = process_arguments();
    if (arguments.size() < MIN_ARGUMENTS) {
        return report_usage(arguments.empty() ? std::string() : arguments[0]);
    }
    // The block number is used as text, exactly as given.
    return finish_flow(show_torrent(arguments[1]));
}

// chainscan complete-heights: what the shell completion offers after --from
// and --to.

#include "common/tool_entry.hpp"
#include "scan/commands/commands.hpp"
#include "scan/store/height_listing.hpp"

namespace quorvane {

int run_complete_heights(const ScanOptions& options) {
    const auto settings = load_settings_once(options);
    if (!settings) return EXIT_STATUS_SUCCESS;
    const StoreLayout layout(testnet_paths_from(*settings));
    const auto heights = list_heights(layout.directory(options.directory), layout.suffix(options.directory));
    if (!heights) return EXIT_STATUS_SUCCESS;
    std::string out;
    for (const std::uint32_t height : *heights) out += std::to_string(height) + "\n";
    print(Stream::Stdout, out);
    return EXIT_STATUS_SUCCESS;
}

}  // namespace quorvane

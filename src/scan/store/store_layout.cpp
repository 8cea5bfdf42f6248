#include "scan/store/store_layout.hpp"

#include "records/unpack_block/unpack_header.hpp"
#include "torrent/torrent_file.hpp"

namespace quorvane {

StoreLayout::StoreLayout(const NetworkPaths& paths)
    : paths_(paths), block_suffix_("." + paths.currency_tag), torrent_suffix_(TORRENT_FILE_SUFFIX) {}

// The readers' own naming, so that chainscan reads the file the other tools do.
std::string StoreLayout::block_path(std::uint32_t height) const { return block_file_in(paths_, height); }

std::string StoreLayout::torrent_path(std::uint32_t height) const {
    return torrent_file_path(paths_.torrent_dir, std::to_string(height));
}

}  // namespace quorvane

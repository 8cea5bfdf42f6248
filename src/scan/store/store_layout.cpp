#include "scan/store/store_layout.hpp"

#include "records/unpack_block/unpack_header.hpp"
#include "torrent/torrent_file.hpp"

namespace quorvane {

StoreLayout::StoreLayout(const NetworkPaths& paths)
    : paths_(paths), block_suffix_("." + paths.currency_tag), torrent_suffix_(TORRENT_FILE_SUFFIX) {}

const std::string& StoreLayout::directory(RecordKind kind) const {
    return kind == RecordKind::Block ? paths_.block_dir : paths_.torrent_dir;
}

const std::string& StoreLayout::suffix(RecordKind kind) const {
    return kind == RecordKind::Block ? block_suffix_ : torrent_suffix_;
}

std::string StoreLayout::name(RecordKind kind, std::uint32_t height) const { return std::to_string(height) + suffix(kind); }

// The readers' own naming, so that chainscan reads the file the other tools do.
std::string StoreLayout::path(RecordKind kind, std::uint32_t height) const {
    if (kind == RecordKind::Block) return block_file_in(paths_, height);
    return torrent_file_path(paths_.torrent_dir, std::to_string(height));
}

std::string_view StoreLayout::noun(RecordKind kind) { return kind == RecordKind::Block ? "block" : "torrent"; }

}  // namespace quorvane

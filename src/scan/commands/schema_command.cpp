// chainscan schema: the SQL that creates the tables for dump --format csv and loads them.

#include "common/tool_entry.hpp"
#include "scan/commands/commands.hpp"
#include "scan/views/sql_schema.hpp"

namespace quorvane {

int run_schema(const ScanOptions& options) {
    // --for is required here, and checked against the same list.
    if (!options.engine) return EXIT_STATUS_FATAL;
    print(Stream::Stdout, sql_schema(*options.engine, options.table,
                                     options.torrents ? TorrentTables::Included : TorrentTables::Left));
    return EXIT_STATUS_SUCCESS;
}

}  // namespace quorvane

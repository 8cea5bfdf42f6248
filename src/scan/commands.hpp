#pragma once

// The flows of chainscan's commands; each returns the exit status.

#include "scan/scan_options.hpp"

namespace quorvane {

int run_dump(const ScanOptions& options);
int run_verify(const ScanOptions& options);
int run_schema(const ScanOptions& options);
// For shell completion: the heights of the block (or torrent) directory, one
// a line, or nothing when the settings cannot be found.
int run_complete_heights(const ScanOptions& options);

}  // namespace quorvane

#pragma once

// The flows of chainscan's commands; each returns the exit status.

#include "scan/commands/run_setup.hpp"
#include "scan/commands/scan_options.hpp"

namespace quorvane {

int run_dump(const ScanOptions& options);
int run_verify(const ScanOptions& options);
// dump or verify --follow: the store as it stands, then each height as the
// node writes it, until stopped or --to.
int run_follow(const ScanOptions& options);
// The chain at a glance over the range: aligned text or JSON (stats), or
// one self-contained HTML page (report).
int run_stats(const ScanOptions& options);
int run_report(const ScanOptions& options);
// Where two stores part: the runs of heights whose records differ, and a summary.
int run_diff(const ScanOptions& options);
int run_schema(const ScanOptions& options);
// For shell completion: the heights of the block (or torrent) directory, one
// a line, or nothing when the settings cannot be found.
int run_complete_heights(const ScanOptions& options);

}  // namespace quorvane

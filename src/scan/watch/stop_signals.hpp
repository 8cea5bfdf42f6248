#pragma once

// SIGINT and SIGTERM as a request to stop: the first is noted (and makes a
// descriptor readable, for a wait on it), a second SIGINT ends the process
// at once, as its default action would.

namespace quorvane {

void install_stop_signals();

bool stop_requested();

// Readable once a stop was requested; -1 before install_stop_signals.
int stop_descriptor();

}  // namespace quorvane

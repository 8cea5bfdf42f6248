#pragma once

// SIGINT and SIGTERM as a request to stop: the first is noted (and makes a
// descriptor readable, for a wait on it), a second SIGINT ends the process
// at once, as its default action would.

#include <expected>
#include <string>

namespace quorvane {

// Installs the handlers. Without the descriptor (no pipe could be made: the
// reason), a stop that comes just before a wait is seen only when the wait
// ends on its own.
std::expected<void, std::string> install_stop_signals();

bool stop_requested();

// Readable once a stop was requested; -1 before install_stop_signals.
int stop_descriptor();

}  // namespace quorvane

#include "scan/commands/sink_output.hpp"

#include "common/tool_entry.hpp"

namespace quorvane {

Written StandardOutput::write(Stream stream, std::string_view text) {
    progress_.make_room_for(stream);
    if (auto written = write_all(stream, text); !written) return std::unexpected(WriteFailure{stream, written.error()});
    return {};
}

int exit_status(const Finished& finished) {
    if (!finished) stop_on_failed_write(finished.error().stream, finished.error().error);
    return *finished;
}

}  // namespace quorvane

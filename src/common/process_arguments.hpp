#pragma once

#include <string>
#include <vector>

namespace quorvane {

// The process's command line, element 0 included, as the entry received it.
// The settings loader reads it for its --config option, so the entry records
// it before anything else runs.
void record_process_arguments(int argc, const char* const* argv);
const std::vector<std::string>& process_arguments();

}  // namespace quorvane

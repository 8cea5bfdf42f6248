#pragma once

#include <string>
#include <vector>

#include "support/record_builders.hpp"

namespace quorvane::testing {

struct ExampleFile {
    std::string relative_path;  // below the example node's directory
    Bytes content;
};

// The binary files of the example node that ships in examples/node.
std::vector<ExampleFile> example_node_files();

}  // namespace quorvane::testing

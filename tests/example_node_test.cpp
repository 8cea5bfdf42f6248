#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/example_node.hpp"

namespace quorvane::testing {
namespace {

// The shipped example files are exactly what the generator writes, so they
// can always be regenerated from readable code.
TEST(ExampleNode, ShippedFilesMatchTheGenerator) {
    for (const auto& file : example_node_files()) {
        std::ifstream in(std::string(EXAMPLE_NODE_DIR) + "/" + file.relative_path, std::ios::binary);
        ASSERT_TRUE(in.good()) << file.relative_path;
        std::ostringstream content;
        content << in.rdbuf();
        EXPECT_EQ(content.str(), as_text(file.content)) << file.relative_path;
    }
}

}  // namespace
}  // namespace quorvane::testing

// Writes the binary files of the example node below the given directory:
//   make_example_node examples/node

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/example_node.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s <node_directory>\n", argv[0]);
        return 1;
    }
    const std::filesystem::path root = argv[1];
    for (const auto& file : quorvane::testing::example_node_files()) {
        const auto path = root / file.relative_path;
        std::error_code error;
        std::filesystem::create_directories(path.parent_path(), error);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.content.data()),
                  static_cast<std::streamsize>(file.content.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s (%zu bytes)\n", path.c_str(), file.content.size());
    }
    return 0;
}

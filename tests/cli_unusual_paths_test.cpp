// Unusual but possible settings and files: a path must name exactly the file
// its bytes name, nothing is opened that no setting asks for, and no input,
// however long, keeps a tool from finishing.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_harness.hpp"
#include "support/record_builders.hpp"
#include "support/worked_examples.hpp"

namespace quorvane::testing {
namespace {

const std::string CRESTVIEW = CRESTVIEW_BINARY;
const std::string SWARMVIEW = SWARMVIEW_BINARY;
const std::string STRACE = "/usr/bin/strace";
const std::string TIMEOUT = "/usr/bin/timeout";

const std::string NON_UTF8_NODE = "no\xFF" "de";
// What a lossy conversion of that name would look for instead.
const std::string REPLACED_NODE = "no\xEF\xBF\xBD" "de";

std::string block7_output() {
    return "difficulty: 580780308832607816\n"
           "hash_value: 0d4282790a3bfe0a568b8aa895e8ddc12e880d7985ac20f25b6de9944f188746\n" +
           worked_example_block_document(std::string(1332, '0')) + "\n";
}

std::string torrent7_output() { return std::string(WORKED_EXAMPLE_TORRENT_JSON) + "\n"; }

std::string block8_file() {
    auto header = worked_example_header();
    header.nonce = 8;
    return as_text(block_file(header, zero_proof()));
}

// A node below `dir`/`name`: block 7 and torrent 7 as the worked examples.
void write_node(const TempDir& dir, const std::string& name,
                const std::map<std::string, std::string>& overrides = {}) {
    const std::string prefix = name.empty() ? "" : name + "/";
    dir.write(prefix + "settings.ini", valid_settings_text(overrides));
    dir.write(prefix + "blocks/testnet/7.vetq", as_text(block_file(worked_example_header(), zero_proof())));
    dir.write(prefix + "torrents/testnet/7.torrent", as_text(encode_torrent(worked_example_torrent())));
}

// A node that a wrong path would reach: its block 7 is another block and it
// has no torrent 7.
void write_decoy(const TempDir& dir, const std::string& name) {
    dir.write(name + "/settings.ini", valid_settings_text());
    dir.write(name + "/blocks/testnet/7.vetq", block8_file());
}

struct Invocation {
    std::string tool;
    std::vector<std::string> arguments;
    RunOptions options;
};

// The files below the test's directory, and the password file, that a run
// opened (or tried to), each once.
std::set<std::string> files_opened(const std::string& log, const std::string& below) {
    std::set<std::string> opened;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("open") == std::string::npos) continue;
        const auto first = line.find('"');
        const auto last = line.find('"', first + 1);
        if (first == std::string::npos || last == std::string::npos) continue;
        const std::string path = line.substr(first + 1, last - first - 1);
        if (path.starts_with(below) || path == "/etc/passwd") opened.insert(path);
    }
    return opened;
}

struct Case {
    std::string name;
    std::function<Invocation(const TempDir&)> prepare;
    int status;
    std::function<std::string(const TempDir&)> out;
    std::function<std::string(const TempDir&)> err;
    // When set, the run is traced and these are the only files it may open.
    std::function<std::set<std::string>(const TempDir&)> opened;
};

std::function<std::string(const TempDir&)> text(std::string value) {
    return [value](const TempDir&) { return value; };
}

TEST(UnusualPaths, ToolsReadOnlyTheFilesThePathsName) {
    const std::string open_error =
        "Error: Error opening block file for height 7: Error { kind: InvalidInput, message: "
        "\"file name contained an unexpected NUL byte\" }\n";
    const std::vector<Case> cases = {
        {"NUL in BLOCK_PATH",
         [](const TempDir& dir) {
             write_node(dir, "", {{"Paths.BLOCK_PATH", "BLOCK_PATH = b8file\\0x"}});
             dir.write("b8file", block8_file());
             return Invocation{CRESTVIEW, {"7", "--config", dir / "settings.ini"}, {}};
         },
         2, text(""), text(open_error), nullptr},
        {"NUL in TORRENT_PATH",
         [](const TempDir& dir) {
             write_node(dir, "", {{"Paths.TORRENT_PATH", "TORRENT_PATH = t7file\\0x"}});
             dir.write("t7file", as_text(encode_torrent(worked_example_torrent())));
             return Invocation{SWARMVIEW, {"99", "--config", dir / "settings.ini"}, {}};
         },
         1, text(""),
         [](const TempDir& dir) {
             return "Torrent file not found: " + (dir / "t7file") + std::string(1, '\0') +
                    "x/testnet/99.torrent\n";
         },
         nullptr},
        {"non-UTF-8 node directory through --config",
         [](const TempDir& dir) {
             write_node(dir, NON_UTF8_NODE);
             write_decoy(dir, REPLACED_NODE);
             RunOptions options;
             options.working_directory = dir.path();
             return Invocation{CRESTVIEW, {"7", "--config", NON_UTF8_NODE + "/settings.ini"}, options};
         },
         0, text(block7_output()), text(""), nullptr},
        {"non-UTF-8 node directory as the current directory",
         [](const TempDir& dir) {
             write_node(dir, NON_UTF8_NODE);
             write_decoy(dir, REPLACED_NODE);
             RunOptions options;
             options.working_directory = dir.path() / NON_UTF8_NODE;
             return Invocation{SWARMVIEW, {"7"}, options};
         },
         0, text(torrent7_output()), text(""), nullptr},
        {"non-UTF-8 path shown with a replacement character",
         [](const TempDir& dir) {
             write_node(dir, NON_UTF8_NODE);
             return Invocation{SWARMVIEW, {"99", "--config", dir / (NON_UTF8_NODE + "/settings.ini")}, {}};
         },
         1, text(""),
         [](const TempDir& dir) {
             return "Torrent file not found: " + (dir / REPLACED_NODE) + "/torrents/testnet/99.torrent\n";
         },
         nullptr},
        {"settings beside a copy of the tool in another folder",
         [](const TempDir& dir) {
             write_node(dir, "bin");
             std::filesystem::copy_file(CRESTVIEW, dir / "bin/crestview");
             std::filesystem::create_directories(dir / "elsewhere");
             RunOptions options;
             options.working_directory = dir.path() / "elsewhere";
             return Invocation{dir / "bin/crestview", {"7"}, options};
         },
         0, text(block7_output()), text(""), nullptr},
        {"HOME unset and no tilde: only the settings and the record",
         [](const TempDir& dir) {
             write_node(dir, "");
             RunOptions options;
             options.environment["HOME"] = std::nullopt;
             return Invocation{CRESTVIEW, {"7", "--config", dir / "settings.ini"}, options};
         },
         0, text(block7_output()), text(""),
         [](const TempDir& dir) {
             return std::set<std::string>{dir / "settings.ini", dir / "blocks/testnet/7.vetq"};
         }},
        {"HOME unset and a tilde: the password file too",
         [](const TempDir& dir) {
             write_node(dir, "", {{"Paths.+", "LOG_PATH = ~/logs"}});
             RunOptions options;
             options.environment["HOME"] = std::nullopt;
             return Invocation{SWARMVIEW, {"7", "--config", dir / "settings.ini"}, options};
         },
         0, text(torrent7_output()), text(""),
         [](const TempDir& dir) {
             return std::set<std::string>{dir / "settings.ini", "/etc/passwd",
                                          dir / "torrents/testnet/7.torrent"};
         }},
        {"endless settings file",
         [](const TempDir&) { return Invocation{CRESTVIEW, {"7", "--config", "/dev/zero"}, {}}; }, 2,
         text(""),
         text("Error: Failed to load settings: Io(Error { kind: InvalidData, message: \"settings file "
              "is larger than 16 MiB\" })\n"),
         nullptr},
        {"settings file one byte over 16 MiB",
         [](const TempDir& dir) {
             std::string big = valid_settings_text();
             big.resize((16u << 20) + 1, '\n');
             dir.write("settings.ini", big);
             return Invocation{SWARMVIEW, {"7", "--config", dir / "settings.ini"}, {}};
         },
         2, text(""),
         text("Error: Failed to load settings: Io(Error { kind: InvalidData, message: \"settings file "
              "is larger than 16 MiB\" })\n"),
         nullptr},
        {"settings file of exactly 16 MiB",
         [](const TempDir& dir) {
             std::string big = valid_settings_text();
             big.resize(16u << 20, '\n');
             write_node(dir, "");
             dir.write("settings.ini", big);
             return Invocation{SWARMVIEW, {"7", "--config", dir / "settings.ini"}, {}};
         },
         0, text(torrent7_output()), text(""), nullptr},
        {"torrent record linked to an endless device",
         [](const TempDir& dir) {
             write_node(dir, "");
             std::filesystem::remove(dir / "torrents/testnet/7.torrent");
             std::filesystem::create_symlink("/dev/zero", dir / "torrents/testnet/7.torrent");
             return Invocation{TIMEOUT, {"60", SWARMVIEW, "7", "--config", dir / "settings.ini"}, {}};
         },
         1, text(""),
         text("Error: Error { kind: InvalidData, message: \"torrent file is longer than 64 MiB\" }\n"),
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        auto invocation = c.prepare(dir);
        const std::string log = dir / "strace.log";
        if (c.opened) {
            if (!std::filesystem::exists(STRACE)) continue;
            invocation.arguments.insert(invocation.arguments.begin(),
                                        {"-f", "-qq", "-o", log, "-e", "trace=open,openat,openat2",
                                         invocation.tool});
            invocation.tool = STRACE;
            // The leak checker of sanitizer builds cannot run under ptrace.
            invocation.options.environment["ASAN_OPTIONS"] = "detect_leaks=0";
        }
        const auto result = run_program(invocation.tool, invocation.arguments, invocation.options);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.out, c.out(dir));
        EXPECT_EQ(result.err, c.err(dir));
        if (c.opened) {
            std::ifstream in(log);
            std::stringstream content;
            content << in.rdbuf();
            EXPECT_EQ(files_opened(content.str(), dir.path().string()), c.opened(dir));
        }
    }
}

}  // namespace
}  // namespace quorvane::testing

// Writes a consistent store of COUNT heights from FIRST on, with a node's
// settings.ini, and puts in the problems asked for:
//   make_store [--lifelike | --fork-at H] DIR COUNT [FIRST] [CODE=HEIGHT ...]
//   make_store /tmp/store 100000
//   make_store --lifelike /tmp/store 100000   (varied pace, miners, sizes)
//   make_store /tmp/store 20 0 chain_broken=8 torrent_mismatch=12
//   make_store --fork-at 700 /tmp/fork 1000   (from 700 on, another chain
//                                              than make_store's own)

#include <cstdio>
#include <exception>
#include <string>

#include "support/store_builder.hpp"

int main(int argc, char** argv) {
    quorvane::testing::StoreShape shape;
    if (argc > 1 && std::string(argv[1]) == "--lifelike") {
        shape.values = quorvane::testing::lifelike_values;
        --argc;
        ++argv;
    } else if (argc > 2 && std::string(argv[1]) == "--fork-at") {
        // Each block from there on a second later: another hash, and every
        // link above it another chain.
        const auto fork = static_cast<std::uint32_t>(std::stoul(argv[2]));
        shape.values = [fork](std::uint32_t h, quorvane::testing::HeightValues& v) {
            v.timestamp = 1700000000u + h + (h >= fork ? 1 : 0);
        };
        argc -= 2;
        argv += 2;
    }
    if (argc < 3) {
        std::fprintf(stderr, "Usage: make_store [--lifelike | --fork-at H] DIR COUNT [FIRST] [CODE=HEIGHT ...]\n");
        return 2;
    }
    try {
        shape.count = static_cast<std::uint32_t>(std::stoul(argv[2]));
        int next = 3;
        if (argc > 3 && std::string(argv[3]).find('=') == std::string::npos) {
            shape.first = static_cast<std::uint32_t>(std::stoul(argv[3]));
            next = 4;
        }
        for (int i = next; i < argc; ++i) {
            const std::string fault = argv[i];
            const auto equals = fault.find('=');
            if (equals == std::string::npos) throw std::invalid_argument("expected CODE=HEIGHT: " + fault);
            shape.faults.emplace(static_cast<std::uint32_t>(std::stoul(fault.substr(equals + 1))),
                                quorvane::testing::fault_from_name(fault.substr(0, equals)));
        }
        quorvane::testing::write_store(argv[1], shape);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_store: %s\n", error.what());
        return 2;
    }
    return 0;
}

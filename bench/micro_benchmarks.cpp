// Micro-benchmarks of the decoders, the hash and the settings loader.

#include <benchmark/benchmark.h>
#include <x86intrin.h>

#include <cstdio>
#include <string>
#include <vector>

#include "blocks/block.hpp"
#include "blocks/skein.hpp"
#include "config/settings.hpp"
#include "support/cli_harness.hpp"
#include "support/record_builders.hpp"
#include "torrent/structs.hpp"

namespace {

using namespace quorvane;

void Skein256(benchmark::State& state) {
    const std::vector<std::uint8_t> message(static_cast<std::size_t>(state.range(0)), 0xA5);
    std::uint64_t cycles = 0;
    for (auto _ : state) {
        const std::uint64_t start = __rdtsc();
        benchmark::DoNotOptimize(skein_256_256(message));
        cycles += __rdtsc() - start;
    }
    const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(message.size());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["cycles/byte"] = static_cast<double>(cycles) / bytes;
}
BENCHMARK(Skein256)->Arg(32)->Arg(256)->Arg(64 * 1024);

void HeaderDecodeTextHash(benchmark::State& state) {
    const auto bytes = testing::encode_block_header(testing::worked_example_header());
    for (auto _ : state) {
        const auto block = decode_block_header(bytes);
        benchmark::DoNotOptimize(compact_json_text(*block));
        benchmark::DoNotOptimize(compute_block_hash(*block));
    }
}
BENCHMARK(HeaderDecodeTextHash);

testing::TorrentFields torrent_with_pieces(std::size_t count) {
    testing::TorrentFields fields = testing::worked_example_torrent();
    fields.piece_length = 1;
    fields.length = count;
    fields.pieces.clear();
    for (std::size_t k = 1; k <= count; ++k) {
        fields.pieces.push_back({static_cast<std::uint8_t>(k), testing::counting_bytes<16>(static_cast<std::uint8_t>(k))});
    }
    return fields;
}

void TorrentDecodeJson(benchmark::State& state) {
    const auto bytes = testing::encode_torrent(torrent_with_pieces(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) {
        const auto torrent = decode_torrent(bytes);
        benchmark::DoNotOptimize(torrent_json_text(*torrent));
    }
}
BENCHMARK(TorrentDecodeJson)->Arg(0)->Arg(255)->Unit(benchmark::kMicrosecond);

// About 1 MiB: 30,000 lines of 35 bytes in the Quorvane section.
std::string large_settings_text() {
    std::string quorvane_keys;
    char line[64];
    for (int i = 0; i < 30000; ++i) {
        std::snprintf(line, sizeof line, "QUORVANE_K%05d = value %05d pad\n", i, i);
        quorvane_keys += line;
    }
    return testing::valid_settings_text({{"Quorvane.+", quorvane_keys}});
}

void SettingsValidation(benchmark::State& state) {
    const std::string text = state.range(0) == 0 ? testing::valid_settings_text() : large_settings_text();
    const std::optional<std::string> home = "/home/operator";
    for (auto _ : state) {
        const auto settings = settings_from_text(text, "/etc/node", home);
        if (!settings) state.SkipWithError("settings did not load");
        benchmark::DoNotOptimize(settings);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["file_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(SettingsValidation)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

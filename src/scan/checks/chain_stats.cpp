#include "scan/checks/chain_stats.hpp"

#include <ctime>

namespace quorvane {

namespace {

std::string network_of(const std::string& miner) {
    const auto dot = miner.rfind('.');
    std::string tag = dot == std::string::npos ? miner : miner.substr(dot + 1);
    for (char& c : tag) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return tag;
}

}  // namespace

ChainStats::ChainStats(std::uint32_t first, std::uint32_t last) : from(first), to(last), next_height_(first) {}

HeightFacts ChainStats::add(const HeightScan& scan) {
    HeightFacts facts;
    const std::uint32_t h = scan.height;
    torrents += scan.torrent_present;
    if (scan.block_present) {
        ++blocks;
        if (h > next_height_) {
            missing += h - next_height_;
            ++gaps;
        }
        next_height_ = std::uint64_t{h} + 1;
    }
    if (scan.block && *scan.block) {
        const UnminedBlock& header = (*scan.block)->contents.header.unmined_block;
        if (!first_timestamp) first_timestamp = header.timestamp;
        if (decoded_below_ && *decoded_below_ + 1 == h) {
            const std::int64_t interval = std::int64_t{header.timestamp} - *last_timestamp;
            intervals.add(interval);
            interval_sum += interval;
            zero_or_negative += interval <= 0;
            facts.interval = interval;
        }
        last_timestamp = header.timestamp;

        const std::uint64_t difficulty = header.next_block_difficulty;
        if (!first_difficulty) first_difficulty = difficulty;
        if (last_difficulty && *last_difficulty != difficulty) ++difficulty_changes;
        last_difficulty = difficulty;
        difficulties.add(difficulty);
        facts.difficulty = difficulty;

        miners.add(header.miner);
        networks.add(network_of(header.miner));
        decoded_below_ = h;
    }
    if (scan.torrent && *scan.torrent) {
        const Info& info = (*scan.torrent)->info;
        total_length += info.length;
        pieces.add(info.pieces.size());
        piece_lengths.add(info.piece_length);
        facts.length = info.length;
    }
    return facts;
}

void ChainStats::end_at(std::uint32_t last) {
    to = last;
    if (std::uint64_t{last} + 1 > next_height_) {
        missing += std::uint64_t{last} + 1 - next_height_;
        ++gaps;
    }
}

std::optional<double> ChainStats::interval_mean() const {
    if (intervals.total() == 0) return std::nullopt;
    return static_cast<double>(interval_sum) / static_cast<double>(intervals.total());
}

std::optional<std::int64_t> ChainStats::span_seconds() const {
    if (!first_timestamp) return std::nullopt;
    return std::int64_t{*last_timestamp} - *first_timestamp;
}

}  // namespace quorvane

#include "scan/checks/problem_finder.hpp"

#include "common/uint128.hpp"

namespace quorvane {

std::vector<FieldDifference> torrent_differences(const ScannedBlock& block, const Torrent& torrent) {
    const UnminedBlock& header = block.contents.header.unmined_block;
    const Info& info = torrent.info;
    std::vector<FieldDifference> differences;
    const auto compare = [&](std::string_view field, Json from_block, Json from_torrent) {
        if (from_block != from_torrent) {
            differences.push_back({std::string(field), std::move(from_block), std::move(from_torrent)});
        }
    };
    compare("block_hash", block.hash, info.block_hash);
    compare("timestamp", header.timestamp, info.timestamp);
    compare("nonce", header.nonce, info.nonce);
    compare("vrf", block.contents.header.vrf, info.vrf);
    compare("mined_by", header.miner, torrent.mined_by);
    if (!info.previous_hash.empty()) compare("previous_hash", header.previous_hash, info.previous_hash);
    return differences;
}

Problem Problem::missing(ProblemCode code, std::uint32_t first, std::uint32_t last) {
    return {code, first, last, std::nullopt, {}, {}, {}};
}

Problem Problem::invalid(std::uint32_t height, RecordFailure failure) {
    const ProblemCode code = failure.record == RecordKind::Block ? ProblemCode::BlockInvalid : ProblemCode::TorrentInvalid;
    return {code, height, height, std::move(failure), {}, {}, {}};
}

Problem Problem::chain_broken(std::uint32_t height, std::string expected, std::string found) {
    return {ProblemCode::ChainBroken, height, height, std::nullopt, std::move(expected), std::move(found), {}};
}

Problem Problem::torrent_mismatch(std::uint32_t height, std::vector<FieldDifference> fields) {
    return {ProblemCode::TorrentMismatch, height, height, std::nullopt, {}, {}, std::move(fields)};
}

ProblemFinder::ProblemFinder(std::uint32_t from, std::uint32_t to) : from_(from), to_(to), next_height_(from) {}

void ProblemFinder::add(const HeightScan& scan) {
    cover_until(scan.height);
    const std::uint32_t h = scan.height;
    note_presence(ProblemCode::BlockMissing, open_block_missing_, scan.block_present, h);
    note_presence(ProblemCode::TorrentMissing, open_torrent_missing_, scan.torrent_present, h);
    if (keeping_absent_) {
        if (!scan.block_present) absent_blocks_.insert(h);
        if (!scan.torrent_present) absent_torrents_.insert(h);
    }
    blocks_ += scan.block_present;
    torrents_ += scan.torrent_present;
    hash_below_ = check_records(scan, hash_below_);
    next_height_ = std::uint64_t{h} + 1;
    release(Held::WhileRangesOpen);
}

std::optional<std::string> ProblemFinder::check_records(const HeightScan& scan,
                                                      const std::optional<std::string>& hash_below) {
    const std::uint32_t h = scan.height;
    const ScannedBlock* block = nullptr;
    if (scan.block) {
        if (*scan.block) {
            block = &**scan.block;
        } else {
            found(Problem::invalid(h, scan.block->error()));
        }
    }
    const Torrent* torrent = nullptr;
    if (scan.torrent) {
        if (*scan.torrent) {
            torrent = &**scan.torrent;
        } else {
            found(Problem::invalid(h, scan.torrent->error()));
        }
    }
    if (block != nullptr && hash_below && block->contents.header.unmined_block.previous_hash != *hash_below) {
        found(Problem::chain_broken(h, *hash_below, block->contents.header.unmined_block.previous_hash));
    }
    if (block != nullptr && torrent != nullptr) {
        auto differences = torrent_differences(*block, *torrent);
        if (!differences.empty()) {
            found(Problem::torrent_mismatch(h, std::move(differences)));
        }
    }
    return block != nullptr ? std::optional<std::string>(block->hash) : std::nullopt;
}

void ProblemFinder::recheck(const HeightScan& below, const HeightScan& scan, const HeightScan* above) {
    const std::uint32_t h = scan.height;
    correct_presence(ProblemCode::BlockMissing, open_block_missing_, absent_blocks_, blocks_, scan.block_present, h);
    correct_presence(ProblemCode::TorrentMissing, open_torrent_missing_, absent_torrents_, torrents_,
                     scan.torrent_present, h);
    if (!scan.block_present) found(Problem::missing(ProblemCode::BlockMissing, h, h));
    if (!scan.torrent_present) found(Problem::missing(ProblemCode::TorrentMissing, h, h));
    std::optional<std::string> hash_of_below;
    if (h > from_ && below.block && *below.block) hash_of_below = (*below.block)->hash;
    const auto hash = check_records(scan, hash_of_below);
    if (above != nullptr && above->block && *above->block && hash) {
        const std::string& previous = (*above->block)->contents.header.unmined_block.previous_hash;
        if (previous != *hash) found(Problem::chain_broken(h + 1, *hash, previous));
    }
    if (std::uint64_t{h} + 1 == next_height_) hash_below_ = hash;
    release(Held::WhileRangesOpen);
}

void ProblemFinder::correct_presence(ProblemCode code, std::optional<std::uint32_t>& open, HeightRuns& absent,
                                    std::uint64_t& count, bool present, std::uint32_t height) {
    const bool in_open_range = open && *open <= height && height < next_height_;
    if (present && in_open_range) {
        if (*open < height) found(Problem::missing(code, *open, height - 1));
        if (std::uint64_t{height} + 1 < next_height_) {
            open = height + 1;
        } else {
            open.reset();
        }
    }
    if (!keeping_absent_) return;
    const bool was_absent = absent.contains(height);
    if (present && was_absent) {
        absent.erase(height);
        ++count;
    } else if (!present && !was_absent) {
        absent.insert(height);
        if (count > 0) --count;
    }
}

void ProblemFinder::stream() {
    streaming_ = true;
    release(Held::WhileRangesOpen);
}

void ProblemFinder::cover_until(std::uint64_t height) {
    if (next_height_ >= height) return;
    // Heights next_height_ .. height - 1 hold neither record.
    const auto first = static_cast<std::uint32_t>(next_height_);
    if (!open_block_missing_) open_block_missing_ = first;
    if (!open_torrent_missing_) open_torrent_missing_ = first;
    if (keeping_absent_) {
        absent_blocks_.insert(first, static_cast<std::uint32_t>(height - 1));
        absent_torrents_.insert(first, static_cast<std::uint32_t>(height - 1));
    }
    hash_below_.reset();
    next_height_ = height;
}

void ProblemFinder::note_presence(ProblemCode code, std::optional<std::uint32_t>& open, bool present,
                                 std::uint32_t height) {
    if (!present) {
        if (!open) open = height;
    } else if (open) {
        close_range(code, open, height - 1);
    }
}

void ProblemFinder::close_range(ProblemCode code, std::optional<std::uint32_t>& open, std::uint32_t last) {
    const std::uint32_t first = *open;
    open.reset();
    found(Problem::missing(code, first, last));
}

void ProblemFinder::found(Problem problem) {
    const std::pair key{problem.first, static_cast<int>(problem.code)};
    waiting_.emplace(key, std::move(problem));
}

void ProblemFinder::release(Held held_back) {
    std::optional<std::pair<std::uint32_t, int>> held;
    const auto hold = [&](const std::optional<std::uint32_t>& open, ProblemCode code) {
        if (!open) return;
        const std::pair key{*open, static_cast<int>(code)};
        if (!held || key < *held) held = key;
    };
    if (held_back == Held::WhileRangesOpen && !streaming_) {
        hold(open_block_missing_, ProblemCode::BlockMissing);
        hold(open_torrent_missing_, ProblemCode::TorrentMissing);
    }
    while (!waiting_.empty() && (!held || waiting_.begin()->first < *held)) {
        const Problem& problem = waiting_.begin()->second;
        if (!first_bad_height_ || problem.first < *first_bad_height_) first_bad_height_ = problem.first;
        ++problems_;
        ++by_code_[static_cast<std::size_t>(problem.code)];
        if (observer_) {
            observer_(problem);
        } else {
            ready_.push_back(problem);
        }
        waiting_.erase(waiting_.begin());
    }
}

std::vector<Problem> ProblemFinder::take_problems() { return std::exchange(ready_, {}); }

std::vector<Problem> ProblemFinder::finish() {
    cover_until(std::uint64_t{to_} + 1);
    if (open_block_missing_) close_range(ProblemCode::BlockMissing, open_block_missing_, to_);
    if (open_torrent_missing_) close_range(ProblemCode::TorrentMissing, open_torrent_missing_, to_);
    release(Held::Nothing);
    return take_problems();
}

VerifySummary ProblemFinder::summary() const { return summary_through(to_); }

VerifySummary ProblemFinder::summary_through(std::optional<std::uint32_t> last) const {
    VerifySummary summary;
    if (!last) return summary;
    summary.from = from_;
    summary.to = last;
    summary.blocks = blocks_;
    summary.torrents = torrents_;
    summary.problems = problems_;
    summary.by_code = by_code_;
    summary.first_bad_height = first_bad_height_;
    if (!first_bad_height_) {
        summary.verified_through = last;
    } else if (*first_bad_height_ > from_) {
        summary.verified_through = *first_bad_height_ - 1;
    }
    return summary;
}

}  // namespace quorvane

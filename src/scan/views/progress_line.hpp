#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/output.hpp"

namespace quorvane {

// "verify  63,412 / 100,000 heights  63%  412,000/s  0:00 left"
std::string progress_text(std::string_view label, std::uint64_t done, std::uint64_t total,
                          std::chrono::nanoseconds elapsed);

// "verify  following  at 12,345  last new block 0:03 ago  200/s"
std::string follow_progress_text(std::string_view label, std::optional<std::uint32_t> last_handled,
                                 std::chrono::nanoseconds since_new_block, double heights_per_second);

enum class ProgressShown { Off, On };

// One line on standard error, redrawn in place at most ten times a second
// while a run goes on, and erased before anything else is written. Draws
// nothing when off.
class ProgressLine {
public:
    ProgressLine(std::string_view label, std::uint64_t total, ProgressShown shown);
    ~ProgressLine() { hide(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Records how many heights are done; redraws when a tenth of a second
    // has passed since the last drawing (or since the start).
    void advance(std::uint64_t done);
    // While following: the last height handled, when the last new block
    // came, and the rate of heights since following began.
    void following(std::optional<std::uint32_t> last_handled, std::chrono::steady_clock::time_point new_block,
                   double heights_per_second);
    // Erases the line, if one is shown, so that other text can be written.
    void hide();
    // Erases it only when text for `stream` would land on the same terminal.
    void make_room_for(Stream stream);

private:
    using Clock = std::chrono::steady_clock;
    void draw(const std::string& text, Clock::time_point now);
    std::string label_;
    std::uint64_t total_;
    bool on_;
    bool stdout_is_terminal_;
    bool shown_ = false;
    Clock::time_point start_;
    Clock::time_point last_drawn_;
};

// Whether standard error is a terminal.
bool stderr_is_terminal();

}  // namespace quorvane

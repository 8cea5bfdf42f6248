#include "scan/views/text_forms.hpp"
#include "scan/views/progress_line.hpp"

#include <unistd.h>


namespace quorvane {

namespace {

constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(100);
// Back to the start of the line, then clear to its end.
constexpr std::string_view ERASE = "\r\033[K";

// m:ss, or h:mm:ss from an hour on.
std::string clock_text(std::uint64_t seconds) {
    std::string text;
    const auto two_digits = [&text](std::uint64_t value) {
        text += ':';
        text += static_cast<char>('0' + value / 10);
        text += static_cast<char>('0' + value % 10);
    };
    if (seconds >= 3600) {
        text = std::to_string(seconds / 3600);
        two_digits(seconds / 60 % 60);
    } else {
        text = std::to_string(seconds / 60);
    }
    two_digits(seconds % 60);
    return text;
}

}  // namespace

std::string progress_text(std::string_view label, std::uint64_t done, std::uint64_t total,
                          std::chrono::nanoseconds elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const std::uint64_t percent = total == 0 ? 100 : done * 100 / total;
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    std::string text(label);
    for (const std::string& part : {"  " + grouped(done), " / " + grouped(total), std::string(" heights  "),
                                    std::to_string(percent), std::string("%  "),
                                    grouped(static_cast<std::uint64_t>(rate)), std::string("/s  ")}) {
        text += part;
    }
    text += rate > 0 ? clock_text(static_cast<std::uint64_t>(static_cast<double>(total - done) / rate)) : "-:--";
    text += " left";
    return text;
}

std::string follow_progress_text(std::string_view label, std::optional<std::uint32_t> last_handled,
                                 std::chrono::nanoseconds since_new_block, double heights_per_second) {
    std::string text(label);
    text += "  following  ";
    text += last_handled ? "at " + grouped(*last_handled) : std::string("no height yet");
    text += "  last new block ";
    text += clock_text(static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(since_new_block).count()));
    text += " ago  ";
    text += grouped(static_cast<std::uint64_t>(heights_per_second));
    text += "/s";
    return text;
}

ProgressLine::ProgressLine(std::string_view label, std::uint64_t total, ProgressShown shown)
    : label_(label),
      total_(total),
      on_(shown == ProgressShown::On),
      stdout_is_terminal_(::isatty(STDOUT_FILENO) == 1),
      start_(Clock::now()),
      last_drawn_(start_) {}

void ProgressLine::advance(std::uint64_t done) {
    if (!on_) return;
    const auto now = Clock::now();
    if (now - last_drawn_ < REDRAW_INTERVAL) return;
    draw(progress_text(label_, done, total_, now - start_), now);
}

void ProgressLine::following(std::optional<std::uint32_t> last_handled, Clock::time_point new_block,
                             double heights_per_second) {
    if (!on_) return;
    const auto now = Clock::now();
    if (now - last_drawn_ < REDRAW_INTERVAL) return;
    draw(follow_progress_text(label_, last_handled, now - new_block, heights_per_second), now);
}

void ProgressLine::draw(const std::string& text, Clock::time_point now) {
    last_drawn_ = now;
    std::string line(ERASE);
    line += text;
    // A terminal that cannot be written to only loses the progress line.
    shown_ = write_all(Stream::Stderr, line).has_value() || shown_;
}

void ProgressLine::hide() {
    if (!shown_) return;
    shown_ = false;
    (void)write_all(Stream::Stderr, ERASE);
}

void ProgressLine::make_room_for(Stream stream) {
    if (stream == Stream::Stderr || stdout_is_terminal_) hide();
}

bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace quorvane

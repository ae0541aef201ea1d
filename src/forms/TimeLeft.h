#pragma once
// The rate and time left of a long phase, as the window shows them under its progress bar.
#include <chrono>
#include <cstdint>
#include <string>

namespace qob {

// "m:ss", or "h:mm:ss" from an hour on.
std::string durationText(std::uint64_t seconds);

class TimeLeft {
public:
    using Clock = std::chrono::steady_clock;

    // A new phase: its bytes are counted from here.
    void start(Clock::time_point now);
    // The text for `done` of `total` bytes at `now`: "12.5 MB/s, 0:42 left"; the rate alone while
    // the total is unknown; "" until a second has passed (an earlier rate says nothing).
    std::string update(std::uint64_t done, std::uint64_t total, Clock::time_point now) const;

private:
    Clock::time_point start_{};
};

} // namespace qob

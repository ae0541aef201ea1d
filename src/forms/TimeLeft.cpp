#include "forms/TimeLeft.h"

#include <cmath>
#include <cstdio>

namespace qob {

std::string durationText(std::uint64_t seconds) {
    char text[32];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
                      static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
    } else {
        std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(seconds / 60),
                      static_cast<unsigned>(seconds % 60));
    }
    return text;
}

void TimeLeft::start(Clock::time_point now) {
    start_ = now;
}

std::string TimeLeft::update(std::uint64_t done, std::uint64_t total, Clock::time_point now) const {
    const double seconds = std::chrono::duration<double>(now - start_).count();
    if (seconds < 1.0 || done == 0) {
        return "";
    }
    const double rate = static_cast<double>(done) / seconds;
    char text[64];
    std::snprintf(text, sizeof text, "%.1f MB/s", rate / (1000.0 * 1000.0));
    std::string line = text;
    if (total > done) {
        const double left = std::ceil(static_cast<double>(total - done) / rate);
        if (left < 1e7) { // beyond some hundred days the figure says nothing
            line += ", " + durationText(static_cast<std::uint64_t>(left)) + " left";
        }
    }
    return line;
}

} // namespace qob

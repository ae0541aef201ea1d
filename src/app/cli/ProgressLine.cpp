#include "app/cli/ProgressLine.h"

#include "app/cli/TerminalText.h"
#include "forms/TimeLeft.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace qob::cli {
namespace {

constexpr std::size_t kFallbackColumns = 80;
constexpr double kMegabyte = 1000.0 * 1000.0;

std::string printed(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// A file name from an archive may hold anything: control characters would move the cursor and
// line breaks would break the one line.
std::string oneLine(const std::string& text) {
    std::string line = escapeControls(text);
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::replace(line.begin(), line.end(), '\t', ' ');
    return line;
}

// Columns a character takes. Characters of three or four bytes are counted as two: wide (East
// Asian) characters are among them, and counting too many only shortens the name a little more,
// while counting too few would wrap the line.
std::size_t charColumns(unsigned char lead) {
    return lead >= 0xE0 ? 2 : 1;
}

bool isLead(unsigned char byte) {
    return (byte & 0xC0) != 0x80;
}

std::size_t columnsOf(const std::string& text) {
    std::size_t n = 0;
    for (unsigned char c : text) {
        if (isLead(c)) {
            n += charColumns(c);
        }
    }
    return n;
}

// The end of `text` in at most `width` columns, "..." in front when something was cut: the file
// name, at the end of a path, tells most.
std::string shortened(const std::string& text, std::size_t width) {
    if (columnsOf(text) <= width) {
        return text;
    }
    const std::string dots = "...";
    std::size_t used = dots.size();
    std::size_t start = text.size();
    while (start > 0) {
        std::size_t lead = start - 1;
        while (lead > 0 && !isLead(static_cast<unsigned char>(text[lead]))) {
            --lead;
        }
        const std::size_t w = charColumns(static_cast<unsigned char>(text[lead]));
        if (used + w > width) {
            break;
        }
        used += w;
        start = lead;
    }
    return dots + text.substr(start);
}

} // namespace

ProgressLine::ProgressLine(std::ostream& out, int fd, SteadyClock clock)
    : out_(out), fd_(fd), terminal_(fd >= 0 && ::isatty(fd) == 1), clock_(std::move(clock)) {
    phaseStart_ = clock_();
}

ProgressLine::~ProgressLine() {
    endLine();
}

void ProgressLine::endLine() {
    if (lineOpen_) {
        out_ << "\n" << std::flush;
        lineOpen_ = false;
    }
}

void ProgressLine::startPhase(JobPhase phase) {
    phase_ = phase;
    phaseStart_ = clock_();
    done_ = 0;
    total_ = 0;
    file_.clear();
    status_.clear(); // the words of the phase before no longer hold
}

void ProgressLine::phaseStarted(JobPhase phase) {
    if (!terminal_) {
        return;
    }
    if (phase == JobPhase::Finished) {
        // The last state stays on screen, drawn whole even when the throttle held it back.
        if (heldBack_) {
            draw(true);
        }
        endLine();
        return;
    }
    startPhase(phase);
    draw(true);
}

void ProgressLine::progress(const JobProgress& progress) {
    if (!terminal_) {
        return;
    }
    const bool newPhase = progress.phase != phase_;
    if (newPhase) {
        startPhase(progress.phase);
    }
    done_ = progress.done;
    total_ = progress.total;
    file_ = progress.file;
    draw(newPhase);
}

void ProgressLine::status(const std::string& text) {
    if (!terminal_) {
        return;
    }
    status_ = text;
    draw(false);
}

std::size_t ProgressLine::columns() const {
    winsize size{};
    if (::ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return kFallbackColumns;
}

void ProgressLine::draw(bool force) {
    const auto now = clock_();
    if (!force && drawnOnce_ && now - lastDraw_ < kRedrawInterval) {
        heldBack_ = true;
        return;
    }
    heldBack_ = false;
    lastDraw_ = now;
    drawnOnce_ = true;
    lineOpen_ = true;
    // The last column is left free: writing into it wraps the line on many terminals.
    const std::size_t width = columns();
    out_ << "\r" << render(width > 1 ? width - 1 : 1) << "\x1b[K" << std::flush;
}

std::string ProgressLine::render(std::size_t width) const {
    std::string line = phaseName(phase_);
    line.resize(std::max<std::size_t>(line.size(), 10), ' ');
    const double seconds = std::chrono::duration<double>(clock_() - phaseStart_).count();
    const double rate = seconds > 0 ? static_cast<double>(done_) / seconds : 0;
    if (total_ > 0) {
        const double percent =
            std::min(100.0, std::floor(static_cast<double>(done_) * 100.0 / static_cast<double>(total_)));
        line += printed(" %3.0f%%", percent);
    } else if (done_ > 0) {
        line += printed(" %.1f MB", static_cast<double>(done_) / kMegabyte);
    }
    if (rate > 0) {
        line += printed("  %.1f MB/s", rate / kMegabyte);
    }
    if (rate > 0 && total_ > done_) {
        const double left = std::ceil(static_cast<double>(total_ - done_) / rate);
        if (left < 1e7) { // beyond some hundred days the figure says nothing
            line += "  " + durationText(static_cast<std::uint64_t>(left)) + " left";
        }
    }
    if (line.size() >= width) {
        line.resize(width);
        return line;
    }
    const std::string tail = oneLine(file_.empty() ? status_ : file_);
    const std::size_t room = width - line.size();
    if (!tail.empty() && room >= 2 + 4) { // two spaces, then at least "...x"
        line += "  " + shortened(tail, room - 2);
    }
    return line;
}

} // namespace qob::cli

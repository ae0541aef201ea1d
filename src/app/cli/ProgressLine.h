#pragma once
// qob's progress on a terminal: one line redrawn in place with the phase, the percent, the rate,
// the time left and the current file. When the descriptor is not a terminal (a pipe, a file, cron)
// it writes nothing at all, so scripts see exactly the output they always saw.
#include "platform/Job.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

namespace qob::cli {

using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

class ProgressLine : public JobObserver {
public:
    // Draws on `out`, whose descriptor is `fd` (asked whether it is a terminal and how wide it is).
    ProgressLine(std::ostream& out, int fd, SteadyClock clock = std::chrono::steady_clock::now);
    // A line left open (a job that ended without Finished) is ended, so later output starts clean.
    ~ProgressLine() override;
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    bool active() const { return terminal_; }

    void phaseStarted(JobPhase phase) override;
    void progress(const JobProgress& progress) override;
    void status(const std::string& text) override;

    // Ends a drawn line with a line break; the next event starts a new one.
    void endLine();

    // Redraws come at most this often; a new phase is drawn at once.
    static constexpr std::chrono::milliseconds kRedrawInterval{100};

private:
    void startPhase(JobPhase phase);
    void draw(bool force);
    std::string render(std::size_t columns) const;
    std::size_t columns() const;

    std::ostream& out_;
    int fd_;
    bool terminal_;
    SteadyClock clock_;
    JobPhase phase_ = JobPhase::Preparing;
    std::chrono::steady_clock::time_point phaseStart_{};
    std::chrono::steady_clock::time_point lastDraw_{};
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;
    std::string file_;
    std::string status_;
    bool lineOpen_ = false; // a line has been drawn and not yet ended
    bool drawnOnce_ = false;
    bool heldBack_ = false; // something changed since the last redraw
};

} // namespace qob::cli

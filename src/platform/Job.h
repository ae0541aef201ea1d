#pragma once
// What every long run (backup, restore, the read-back check, the automatic run, later the disc
// jobs) shares with whoever drives it: a request goes in, events come out through a JobObserver,
// a summary value comes back, and a StopToken asks it to stop. A job shows no message and touches
// no form, so the same job serves the window (events marshalled to its thread), qob (a progress
// line) and the automatic run (no observer at all), and may run on any thread.
#include <atomic>
#include <cstdint>
#include <string>

namespace qob {

enum class JobPhase {
    Preparing,  // checks, closing Outlook, gathering the items
    Writing,    // the archive is being written
    Checking,   // the written backup is read back
    Extracting, // a restore extracts its files
    Committing, // a restore makes its changes real (short, not cancellable)
    Finished,
};

// Words for a phase, as a progress line shows them.
inline const char* phaseName(JobPhase phase) {
    switch (phase) {
    case JobPhase::Preparing:
        return "preparing";
    case JobPhase::Writing:
        return "writing";
    case JobPhase::Checking:
        return "checking";
    case JobPhase::Extracting:
        return "extracting";
    case JobPhase::Committing:
        return "committing";
    case JobPhase::Finished:
        return "finished";
    }
    return "";
}

struct JobProgress {
    JobPhase phase = JobPhase::Preparing;
    std::string file;        // the file or entry being worked on ("" when none)
    std::uint64_t done = 0;  // bytes of the phase done so far
    std::uint64_t total = 0; // bytes of the phase in all (0 when unknown)
};

// Called on the job's thread; an observer that drives a window marshals the calls to its thread.
// Bytes are reported per block (about a megabyte), never per byte.
class JobObserver {
public:
    virtual ~JobObserver() = default;
    virtual void phaseStarted(JobPhase phase) { (void)phase; }
    virtual void progress(const JobProgress& progress) { (void)progress; }
    // The status text a window shows ("Copying Signatures...").
    virtual void status(const std::string& text) { (void)text; }
    // One entry as it goes to the run log (without its line end).
    virtual void logLine(const std::string& line) { (void)line; }
};

// Shared between the job and whoever may cancel it (a window's button, qob's Ctrl-C handler).
class StopToken {
public:
    void requestStop() { stop_.store(true, std::memory_order_relaxed); }
    bool stopRequested() const { return stop_.load(std::memory_order_relaxed); }
    // Before the next job, when one token serves one job after another.
    void reset() { stop_.store(false, std::memory_order_relaxed); }

private:
    std::atomic<bool> stop_{false};
};

} // namespace qob

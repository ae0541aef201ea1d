#pragma once
// Runs one job at a time on a worker thread for a Win32 window, so its message loop stays free
// (the window moves, repaints and Cancel works while gigabytes are written). Every event the job
// reports is queued and the window woken with PostMessageW (WindowQueue); the window hands that
// message back to deliver(), which runs the events on its own thread in the order reported. Bursts
// of byte progress are folded into the latest one, so a fast job cannot flood the queue.
#include "forms/ForwardingObserver.h"
#include "platform/Job.h"
#include "win32gui/WindowQueue.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <thread>

namespace qob::win32gui {

class WindowJobRunner {
public:
    using Work = std::function<void(JobObserver& observer, const StopToken& stop)>;

    explicit WindowJobRunner(HWND window = nullptr) : queue_(window) {}
    // A job still running is asked to stop and waited for: a write is never cut off midway.
    ~WindowJobRunner();
    WindowJobRunner(const WindowJobRunner&) = delete;
    WindowJobRunner& operator=(const WindowJobRunner&) = delete;

    void setWindow(HWND window) { queue_.setWindow(window); }
    // Starts `work` on a new worker thread. `windowSide` hears every event on the window's thread
    // and must live until `done` has run there, after the last event. False when a job runs.
    bool start(Work work, JobObserver& windowSide, std::function<void()> done);
    bool running() const { return worker_ != nullptr; }
    void requestStop() { stop_.requestStop(); }
    bool stopRequested() const { return stop_.stopRequested(); }
    // Runs what the worker queued; the window calls it for kJobEventMessage.
    void deliver() { queue_.deliver(); }
    // Runs the window's messages until the running job has ended and its `done` has run.
    void waitUntilFinished();

private:
    void finish();

    // Before the worker: the worker may still be posting while the runner waits for it to end.
    WindowQueue queue_;
    StopToken stop_;
    std::unique_ptr<ForwardingObserver> forwarder_;
    std::unique_ptr<std::thread> worker_;
    std::function<void()> done_;
};

} // namespace qob::win32gui

#pragma once
// Runs one job at a time on a worker thread for a window, so its event loop stays free (the window
// can be moved, repainted and cancel pressed while gigabytes are written). Every event the job
// reports reaches the window-side observer on the window's thread, in the order reported; bursts
// of byte progress are folded into the latest one, so a fast job cannot flood the event queue.
#include "forms/ForwardingObserver.h"
#include "platform/Job.h"

#include <QObject>

#include <functional>
#include <memory>
#include <thread>

namespace qob::gui {

class JobRunner : public QObject {
    Q_OBJECT
public:
    // The job itself: reports through `observer` (on the worker), checks `stop`.
    using Work = std::function<void(JobObserver& observer, const StopToken& stop)>;

    explicit JobRunner(QObject* parent = nullptr);
    // A job still running is asked to stop and waited for: a write is never cut off midway.
    ~JobRunner() override;

    // Starts `work` on a new worker thread. `windowSide` hears every event on this object's thread
    // and must live until `done` has run there, after the last event. False (nothing started) when
    // a job is already running.
    bool start(Work work, JobObserver& windowSide, std::function<void()> done);
    bool running() const { return worker_ != nullptr; }
    void requestStop() { stop_.requestStop(); }
    bool stopRequested() const { return stop_.stopRequested(); }
    // Runs the event loop until the running job has ended and its `done` has run.
    void waitUntilFinished();

signals:
    void finished();

private:
    void finish();

    StopToken stop_;
    std::unique_ptr<ForwardingObserver> forwarder_;
    std::unique_ptr<std::thread> worker_;
    std::function<void()> done_;
};

} // namespace qob::gui

#pragma once
// Runs one disc engine call (a write, a verify or an erase) on a worker thread for a Qt disc
// window, as JobRunner does for backups: forms/DiscCall does the work and the ordering, and its
// reports are queued through Qt's own event queue, so they reach the window-side form on the
// window's thread and are dropped with this object.
#include "forms/DiscCall.h"

#include <QObject>

#include <functional>

namespace qob::gui {

class DiscRunner : public QObject {
    Q_OBJECT
public:
    using Work = DiscCall::Work;

    explicit DiscRunner(QObject* parent = nullptr);
    ~DiscRunner() override;

    // Starts `work`; `windowSide` hears every event on this object's thread, then `afterEvent`
    // runs (the window redraws). False when a call already runs.
    bool start(Work work, disc::DiscEvents& windowSide, std::function<void()> afterEvent,
               std::function<void(const Status&)> done);
    bool running() const { return call_.running(); }
    // Runs the event loop until the running call has ended and its `done` has run.
    void waitUntilFinished();

signals:
    void finished();

private:
    DiscCall call_;
};

} // namespace qob::gui

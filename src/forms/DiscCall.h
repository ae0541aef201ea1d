#pragma once
// Runs one disc engine call (a write, a verify or an erase) on a worker thread for a disc window,
// whatever its toolkit: every DiscEvents report reaches the window-side form on the window's
// thread, in order, and `done` runs there after the last of them with what the call returned. The
// window stays responsive (Cancel works, it repaints) while the drive works. The toolkit gives
// only the way to queue a call for its window's thread.
#include "disc/DiscEngine.h"

#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace qob {

class DiscCall {
public:
    // Queues `call` for the window's thread, in order. Calls still queued when this object goes
    // must be dropped by the toolkit (they name it).
    using Post = std::function<void(std::function<void()> call)>;
    // The call itself, on the worker; reports through `events`.
    using Work = std::function<Status(disc::DiscEvents& events)>;

    explicit DiscCall(Post post);
    // A call still running is waited for: a drive is never dropped mid-write. (Its window refuses
    // to close before, so this only happens when the program is torn down.)
    ~DiscCall();
    DiscCall(const DiscCall&) = delete;
    DiscCall& operator=(const DiscCall&) = delete;

    // Starts `work`; `windowSide` hears every event on the window's thread, then `afterEvent` runs
    // (the window redraws). False when a call already runs.
    bool start(Work work, disc::DiscEvents& windowSide, std::function<void()> afterEvent,
               std::function<void(const Status&)> done);
    bool running() const { return worker_ != nullptr; }

private:
    class Forwarder;
    // One forwarded report on the window's thread. A report may open a modal box whose event loop
    // runs the next reports and the end of the call: the end then waits until the outermost
    // report has returned, so nothing it still uses is freed under it.
    void deliver(const std::function<void(disc::DiscEvents&)>& report);
    void finish(const Status& result);

    Post post_;
    std::unique_ptr<Forwarder> forwarder_;
    std::unique_ptr<std::thread> worker_;
    disc::DiscEvents* windowSide_ = nullptr;
    std::function<void()> afterEvent_;
    std::function<void(const Status&)> done_;
    int delivering_ = 0;
    std::optional<Status> pendingEnd_;
};

} // namespace qob

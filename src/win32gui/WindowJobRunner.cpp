#include "win32gui/WindowJobRunner.h"

#include "win32gui/MessageLoop.h"

namespace qob::win32gui {

WindowJobRunner::~WindowJobRunner() {
    if (running()) {
        requestStop();
        // The window is going: its observer must not hear more, but the job must end cleanly.
        worker_->join();
        worker_.reset();
    }
}

bool WindowJobRunner::start(Work work, JobObserver& windowSide, std::function<void()> done) {
    if (running()) {
        return false;
    }
    stop_.reset();
    done_ = std::move(done);
    forwarder_ = std::make_unique<ForwardingObserver>(
        [this](std::function<void()> call) { queue_.post(std::move(call)); }, windowSide);
    worker_ = std::make_unique<std::thread>([this, work = std::move(work)] {
        work(*forwarder_, stop_);
        // Queued behind every event the job reported, so the window has seen them all first.
        queue_.post([this] { finish(); });
    });
    return true;
}

void WindowJobRunner::finish() {
    worker_->join();
    worker_.reset();
    forwarder_.reset();
    std::function<void()> done = std::move(done_);
    done_ = nullptr;
    if (done) {
        done();
    }
}

void WindowJobRunner::waitUntilFinished() {
    // A quit asked for meanwhile waits too: the job must not be cut off.
    pumpWhile([this] { return running(); });
}

} // namespace qob::win32gui

#include "win32gui/WindowJobRunner.h"

#include "win32gui/MessageLoop.h"

#include <optional>

namespace qob::win32gui {

WindowJobRunner::WindowJobRunner(HWND window) : window_(window) {}

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
        [this](std::function<void()> call) { post(std::move(call)); }, windowSide);
    worker_ = std::make_unique<std::thread>([this, work = std::move(work)] {
        work(*forwarder_, stop_);
        // Queued behind every event the job reported, so the window has seen them all first.
        post([this] { finish(); });
    });
    return true;
}

void WindowJobRunner::post(std::function<void()> event) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wake = queue_.empty(); // one wake-up message stands for everything queued behind it
        queue_.push_back(std::move(event));
    }
    if (wake) {
        PostMessageW(window_, kJobEventMessage, 0, 0);
    }
}

void WindowJobRunner::deliver() {
    for (;;) {
        std::function<void()> event;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) {
                return;
            }
            event = std::move(queue_.front());
            queue_.pop_front();
        }
        event();
    }
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
    // A quit asked for meanwhile waits too: the job must not be cut off, and the loop that owns
    // the quit sees it afterwards.
    std::optional<int> quit;
    while (running()) {
        MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (std::optional<int> code = pumpPending(); code) {
            quit = code;
        }
    }
    if (quit) {
        PostQuitMessage(*quit);
    }
}

} // namespace qob::win32gui

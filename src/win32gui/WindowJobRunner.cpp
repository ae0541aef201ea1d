#include "win32gui/WindowJobRunner.h"

#include "win32gui/MessageLoop.h"

#include <optional>

namespace qob::win32gui {

// The worker's observer: queues each event for the window's thread.
class WindowJobRunner::Forwarder : public JobObserver {
public:
    Forwarder(WindowJobRunner& runner, JobObserver& windowSide) : runner_(runner), windowSide_(windowSide) {}

    void phaseStarted(JobPhase phase) override {
        runner_.post([this, phase] { windowSide_.phaseStarted(phase); });
    }
    void status(const std::string& text) override {
        runner_.post([this, text] { windowSide_.status(text); });
    }
    void logLine(const std::string& line) override {
        runner_.post([this, line] { windowSide_.logLine(line); });
    }
    void progress(const JobProgress& progress) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            latest_ = progress;
            if (progressPosted_) {
                return; // the queued event will show this newer figure
            }
            progressPosted_ = true;
        }
        runner_.post([this] {
            JobProgress latest;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                latest = latest_;
                progressPosted_ = false;
            }
            windowSide_.progress(latest);
        });
    }

private:
    WindowJobRunner& runner_;
    JobObserver& windowSide_;
    std::mutex mutex_;
    JobProgress latest_;
    bool progressPosted_ = false;
};

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
    forwarder_ = std::make_unique<Forwarder>(*this, windowSide);
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

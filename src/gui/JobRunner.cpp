#include "gui/JobRunner.h"

#include <QEventLoop>

#include <mutex>

namespace qob::gui {

// The worker's observer: carries each event to the runner's thread.
class JobRunner::Forwarder : public JobObserver {
public:
    Forwarder(JobRunner& runner, JobObserver& windowSide) : runner_(runner), windowSide_(windowSide) {}

    void phaseStarted(JobPhase phase) override {
        post([this, phase] { windowSide_.phaseStarted(phase); });
    }
    void status(const std::string& text) override {
        post([this, text] { windowSide_.status(text); });
    }
    void logLine(const std::string& line) override {
        post([this, line] { windowSide_.logLine(line); });
    }
    void progress(const JobProgress& progress) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            latest_ = progress;
            if (progressPosted_) {
                return; // the posted event will show this newer figure
            }
            progressPosted_ = true;
        }
        post([this] {
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
    template <typename F> void post(F&& call) {
        QMetaObject::invokeMethod(&runner_, std::forward<F>(call), Qt::QueuedConnection);
    }

    JobRunner& runner_;
    JobObserver& windowSide_;
    std::mutex mutex_;
    JobProgress latest_;
    bool progressPosted_ = false;
};

JobRunner::JobRunner(QObject* parent) : QObject(parent) {}

JobRunner::~JobRunner() {
    if (running()) {
        requestStop();
        // The window is going: its observer must not hear more, but the job must end cleanly.
        worker_->join();
        worker_.reset();
    }
}

bool JobRunner::start(Work work, JobObserver& windowSide, std::function<void()> done) {
    if (running()) {
        return false;
    }
    stop_.reset();
    done_ = std::move(done);
    forwarder_ = std::make_unique<Forwarder>(*this, windowSide);
    worker_ = std::make_unique<std::thread>([this, work = std::move(work)] {
        work(*forwarder_, stop_);
        // Queued behind every event the job posted, so the window has seen them all first.
        QMetaObject::invokeMethod(
            this, [this] { finish(); }, Qt::QueuedConnection);
    });
    return true;
}

void JobRunner::finish() {
    worker_->join();
    worker_.reset();
    forwarder_.reset();
    std::function<void()> done = std::move(done_);
    done_ = nullptr;
    if (done) {
        done();
    }
    emit finished();
}

void JobRunner::waitUntilFinished() {
    if (!running()) {
        return;
    }
    QEventLoop loop;
    connect(this, &JobRunner::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace qob::gui

#include "gui/JobRunner.h"

#include <QEventLoop>

#include <mutex>

namespace qob::gui {

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
    // Each event carried to the runner's thread.
    forwarder_ = std::make_unique<ForwardingObserver>(
        [this](std::function<void()> call) {
            QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
        },
        windowSide);
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

#include "gui/DiscRunner.h"

#include <QEventLoop>

namespace qob::gui {
using namespace disc;

// The worker's DiscEvents: carries each report to the runner's thread. The posted reports hold
// copies of their arguments and the runner, never this object, which is gone once the call ends.
class DiscRunner::Forwarder : public DiscEvents {
public:
    explicit Forwarder(DiscRunner& runner) : runner_(runner) {}

    void writeStatus(int percent, WriteStage stage) override {
        post([=](DiscEvents& side) { side.writeStatus(percent, stage); });
    }
    void fileWarning(const FileError& error, bool& goOn) override {
        // The window warns and goes on whatever is pressed, so the worker need not wait for it.
        goOn = true;
        post([=](DiscEvents& side) {
            bool ignored = true;
            side.fileWarning(error, ignored);
        });
    }
    void errorRaised(const EngineError& error) override {
        post([=](DiscEvents& side) { side.errorRaised(error); });
    }
    void verifyStarted(int files) override {
        post([=](DiscEvents& side) { side.verifyStarted(files); });
    }
    void verifyMismatch(const ImageItem& item, VerifyKind kind, int counter, int total) override {
        post([=](DiscEvents& side) { side.verifyMismatch(item, kind, counter, total); });
    }
    void verifyFinished(int files, int matched) override {
        post([=](DiscEvents& side) { side.verifyFinished(files, matched); });
    }
    void eraseStatus(EraseStage stage, int percent) override {
        post([=](DiscEvents& side) { side.eraseStatus(stage, percent); });
    }
    void deviceErrorRaised(const DeviceError& error) override {
        post([=](DiscEvents& side) { side.deviceErrorRaised(error); });
    }

private:
    void post(std::function<void(DiscEvents&)> report) {
        DiscRunner* runner = &runner_;
        QMetaObject::invokeMethod(
            runner, [runner, report = std::move(report)] { runner->deliver(report); }, Qt::QueuedConnection);
    }

    DiscRunner& runner_;
};

DiscRunner::DiscRunner(QObject* parent) : QObject(parent) {}

DiscRunner::~DiscRunner() {
    if (running()) {
        worker_->join();
        worker_.reset();
    }
}

bool DiscRunner::start(Work work, DiscEvents& windowSide, std::function<void()> afterEvent,
                       std::function<void(const Status&)> done) {
    if (running()) {
        return false;
    }
    done_ = std::move(done);
    windowSide_ = &windowSide;
    afterEvent_ = std::move(afterEvent);
    pendingEnd_.reset();
    forwarder_ = std::make_unique<Forwarder>(*this);
    worker_ = std::make_unique<std::thread>([this, work = std::move(work)] {
        const Status result = work(*forwarder_);
        // Queued behind every event the call posted, so the window has seen them all first.
        QMetaObject::invokeMethod(
            this, [this, result] { finish(result); }, Qt::QueuedConnection);
    });
    return true;
}

void DiscRunner::deliver(const std::function<void(DiscEvents&)>& report) {
    if (windowSide_ == nullptr) {
        return;
    }
    ++delivering_;
    report(*windowSide_);
    if (afterEvent_) {
        afterEvent_();
    }
    --delivering_;
    if (delivering_ == 0 && pendingEnd_) {
        const Status result = *pendingEnd_;
        pendingEnd_.reset();
        finish(result);
    }
}

void DiscRunner::finish(const Status& result) {
    if (delivering_ > 0) {
        pendingEnd_ = result;
        return;
    }
    worker_->join();
    worker_.reset();
    forwarder_.reset();
    windowSide_ = nullptr;
    afterEvent_ = nullptr;
    std::function<void(const Status&)> done = std::move(done_);
    done_ = nullptr;
    if (done) {
        done(result);
    }
    emit finished();
}

void DiscRunner::waitUntilFinished() {
    if (!running()) {
        return;
    }
    QEventLoop loop;
    connect(this, &DiscRunner::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace qob::gui

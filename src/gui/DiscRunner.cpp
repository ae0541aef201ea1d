#include "gui/DiscRunner.h"

#include <QEventLoop>

namespace qob::gui {
using namespace disc;

// The worker's DiscEvents: carries each report to the runner's thread.
class DiscRunner::Forwarder : public DiscEvents {
public:
    Forwarder(DiscRunner& runner, DiscEvents& windowSide, std::function<void()> afterEvent)
        : runner_(runner), windowSide_(windowSide), afterEvent_(std::move(afterEvent)) {}

    void writeStatus(int percent, WriteStage stage) override {
        post([=, this] { windowSide_.writeStatus(percent, stage); });
    }
    void fileWarning(const FileError& error, bool& goOn) override {
        // The window warns and goes on whatever is pressed, so the worker need not wait for it.
        goOn = true;
        post([=, this] {
            bool ignored = true;
            windowSide_.fileWarning(error, ignored);
        });
    }
    void errorRaised(const EngineError& error) override {
        post([=, this] { windowSide_.errorRaised(error); });
    }
    void verifyStarted(int files) override {
        post([=, this] { windowSide_.verifyStarted(files); });
    }
    void verifyMismatch(const ImageItem& item, VerifyKind kind, int counter, int total) override {
        post([=, this] { windowSide_.verifyMismatch(item, kind, counter, total); });
    }
    void verifyFinished(int files, int matched) override {
        post([=, this] { windowSide_.verifyFinished(files, matched); });
    }
    void eraseStatus(EraseStage stage, int percent) override {
        post([=, this] { windowSide_.eraseStatus(stage, percent); });
    }
    void deviceErrorRaised(const DeviceError& error) override {
        post([=, this] { windowSide_.deviceErrorRaised(error); });
    }

private:
    template <typename F> void post(F call) {
        QMetaObject::invokeMethod(
            &runner_,
            [this, call] {
                call();
                if (afterEvent_) {
                    afterEvent_();
                }
            },
            Qt::QueuedConnection);
    }

    DiscRunner& runner_;
    DiscEvents& windowSide_;
    std::function<void()> afterEvent_;
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
    forwarder_ = std::make_unique<Forwarder>(*this, windowSide, std::move(afterEvent));
    worker_ = std::make_unique<std::thread>([this, work = std::move(work)] {
        const Status result = work(*forwarder_);
        // Queued behind every event the call posted, so the window has seen them all first.
        QMetaObject::invokeMethod(
            this, [this, result] { finish(result); }, Qt::QueuedConnection);
    });
    return true;
}

void DiscRunner::finish(const Status& result) {
    worker_->join();
    worker_.reset();
    forwarder_.reset();
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

#include "forms/DiscCall.h"

namespace qob {
using namespace disc;

// The worker's DiscEvents: carries each report to the window's thread. The queued reports hold
// copies of their arguments and the DiscCall, never this object, which is gone once the call ends.
class DiscCall::Forwarder : public DiscEvents {
public:
    explicit Forwarder(DiscCall& call) : call_(call) {}

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
        DiscCall* call = &call_;
        call->post_([call, report = std::move(report)] { call->deliver(report); });
    }

    DiscCall& call_;
};

DiscCall::DiscCall(Post post) : post_(std::move(post)) {}

DiscCall::~DiscCall() {
    if (running()) {
        worker_->join();
        worker_.reset();
    }
}

bool DiscCall::start(Work work, DiscEvents& windowSide, std::function<void()> afterEvent,
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
        post_([this, result] { finish(result); });
    });
    return true;
}

void DiscCall::deliver(const std::function<void(DiscEvents&)>& report) {
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

void DiscCall::finish(const Status& result) {
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
}

} // namespace qob

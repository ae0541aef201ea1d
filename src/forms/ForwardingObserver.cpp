#include "forms/ForwardingObserver.h"

#include <utility>

namespace qob {

ForwardingObserver::ForwardingObserver(Post post, JobObserver& windowSide)
    : post_(std::move(post)), windowSide_(windowSide) {}

void ForwardingObserver::phaseStarted(JobPhase phase) {
    post_([this, phase] { windowSide_.phaseStarted(phase); });
}

void ForwardingObserver::status(const std::string& text) {
    post_([this, text] { windowSide_.status(text); });
}

void ForwardingObserver::logLine(const std::string& line) {
    post_([this, line] { windowSide_.logLine(line); });
}

void ForwardingObserver::progress(const JobProgress& progress) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        latest_ = progress;
        if (progressPosted_) {
            return; // the queued event will show this newer figure
        }
        progressPosted_ = true;
    }
    post_([this] {
        JobProgress latest;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            latest = latest_;
            progressPosted_ = false;
        }
        windowSide_.progress(latest);
    });
}

} // namespace qob

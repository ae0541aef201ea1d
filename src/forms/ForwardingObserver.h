#pragma once
// The worker's observer of a job run from a window: hands each event to the window's thread through
// the toolkit's own queue (`post`). Progress comes in bursts; only the newest figure matters, so one
// queued progress event at a time carries whatever figure is latest when it is delivered.
#include "platform/Job.h"

#include <functional>
#include <mutex>
#include <string>

namespace qob {

class ForwardingObserver : public JobObserver {
public:
    // `post` queues a call for the window's thread, in order; this observer must outlive every call
    // it queued.
    using Post = std::function<void(std::function<void()> call)>;

    ForwardingObserver(Post post, JobObserver& windowSide);

    void phaseStarted(JobPhase phase) override;
    void status(const std::string& text) override;
    void logLine(const std::string& line) override;
    void progress(const JobProgress& progress) override;

private:
    Post post_;
    JobObserver& windowSide_;
    std::mutex mutex_;
    JobProgress latest_;
    bool progressPosted_ = false;
};

} // namespace qob

#pragma once
// A message on the desktop outside any window: how a run nobody watches (the weekly backup, started
// by cron) tells the user at once that it failed. Tests put a recording fake in its place.
#include "platform/ProcessRunner.h"
#include "platform/Status.h"

#include <string>

namespace qob {

class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    // Shows `summary` (one line) and `body` as an urgent notification.
    virtual Status notify(const std::string& summary, const std::string& body) = 0;
};

// The freedesktop notification service on the session bus, through notify-send, else through
// gdbus when notify-send is not installed.
class FreedesktopNotifier : public DesktopNotifier {
public:
    explicit FreedesktopNotifier(ProcessRunner& runner) : runner_(runner) {}
    Status notify(const std::string& summary, const std::string& body) override;

private:
    ProcessRunner& runner_;
};

} // namespace qob

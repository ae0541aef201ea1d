#pragma once
// A demo system with Outlook running in it, on a virtual clock: asked to close, Outlook exits after
// `exitAfter` (never when unset) and the registry holder lets go `registryAfter` later. Sleeping
// only moves the clock, so a wait of a minute costs nothing.
#include "DemoPlatform.h"
#include "registry/TargetContext.h"

#include <chrono>
#include <optional>

namespace qob::test {

class FakeOutlookProcess : public DemoSystemServices {
public:
    using ms = std::chrono::milliseconds;
    using DemoSystemServices::DemoSystemServices;

    bool running = true;
    bool askSucceeds = true;
    std::optional<ms> exitAfter;
    std::optional<ms> registryAfter = ms(0);

    int asks = 0;
    std::string askedName;
    int terminations = 0;
    ms clock{0};
    std::optional<ms> askedAt;

    std::vector<ProcessInfo> processes() const override {
        if (!outlookUp())
            return {{8, "explorer.exe"}};
        return {{8, "explorer.exe"}, {4660, "OUTLOOK.EXE"}};
    }
    bool terminateProcess(std::int64_t) override {
        ++terminations;
        running = false;
        return true;
    }
    bool askToClose(const std::string& exeName) override {
        ++asks;
        askedName = exeName;
        if (askSucceeds && !askedAt)
            askedAt = clock;
        return askSucceeds;
    }
    bool registryHeld() override {
        if (outlookUp())
            return true;
        auto exited = exitTime();
        return exited && (!registryAfter || clock < *exited + *registryAfter);
    }
    void sleep(ms duration) override { clock += duration; }

private:
    std::optional<ms> exitTime() const {
        if (askedAt && exitAfter)
            return *askedAt + *exitAfter;
        return std::nullopt;
    }
    bool outlookUp() const {
        auto exited = exitTime();
        return running && !(exited && clock >= *exited);
    }
};

// The demo platform with a FakeOutlookProcess in place of its system services.
struct OutlookPlatform {
    DemoPlatform p;
    FakeOutlookProcess outlook{p.demo};
    TargetContext platform{{p.store, p.files, outlook, p.dialogs, p.programFolder, p.demo.prefix},
                           p.registry};
};

} // namespace qob::test

#pragma once
// A start-up entry that records what it was asked and can be made to fail.
#include "platform/StartupEntry.h"

#include <vector>

namespace qob::test {

class FakeStartupEntry : public StartupEntry {
public:
    std::vector<bool> calls; // the argument of every set()
    Status result;           // what set() answers
    bool on = false;

    Status set(bool value) override {
        calls.push_back(value);
        if (result) {
            on = value;
        }
        return result;
    }
    bool isSet() const override { return on; }
};

} // namespace qob::test

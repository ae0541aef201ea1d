#pragma once
// Closes a registry key when the scope ends, so that no path through the module (an early return,
// a file error thrown mid-export) leaves a key open.
#include "platform/RegistryStore.h"

namespace qob {

class KeyHandle {
public:
    explicit KeyHandle(RegistryStore& store) : store_(store) {}
    ~KeyHandle() {
        if (handle_) {
            store_.closeKey(handle_);
        }
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;

    RegHandle& out() { return handle_; }
    RegHandle get() const { return handle_; }

private:
    RegistryStore& store_;
    RegHandle handle_ = 0;
};

} // namespace qob

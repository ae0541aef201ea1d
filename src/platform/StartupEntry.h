#pragma once
// The program's entry in the desktop's list of programs started at logon, kept in step with the
// settings window's "Start software on Windows start up" box. On Linux a Run value inside a Wine
// prefix could only start Windows programs, so the entry lives where the Linux desktop looks.
#include "platform/Status.h"

namespace qob {

class StartupEntry {
public:
    virtual ~StartupEntry() = default;
    // Creates (on) or removes (off) the entry; removing an absent entry is no error.
    virtual Status set(bool on) = 0;
    // The entry exists.
    virtual bool isSet() const = 0;
};

} // namespace qob

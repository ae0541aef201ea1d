#pragma once
// Errors as values at the platform boundary: an operation either succeeds or says, in words a
// user can act on, what went wrong.
#include <string>
#include <utility>

namespace qob {

struct Status {
    bool ok = true;
    std::string message; // empty when ok
    // The operation stopped because it was asked to (a cancel), not because something went wrong.
    bool cancelled = false;

    static Status success() { return {}; }
    static Status failure(std::string why) { return {false, std::move(why), false}; }
    static Status stopped(std::string why) { return {false, std::move(why), true}; }
    explicit operator bool() const { return ok; }
};

} // namespace qob

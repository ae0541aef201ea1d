#include "app/cli/Interrupt.h"

#include <atomic>
#include <csignal>
#include <signal.h>

namespace qob::cli {

struct InterruptScope::State {
    explicit State(StopToken* stopToken) : token(stopToken) {}
    StopToken* token;
    std::atomic<int> signal{0};
    struct sigaction previousInt {};
    struct sigaction previousTerm {};
};

namespace {

// A signal handler receives nothing but the signal number, so the scope in force has to be found
// through this one process-wide pointer; it is the only state a handler may touch.
std::atomic<InterruptScope::State*> activeScope{nullptr};
static_assert(std::atomic<InterruptScope::State*>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

// Async-signal-safe: lock-free atomic loads and stores only.
extern "C" void onStopSignal(int number) {
    InterruptScope::State* state = activeScope.load();
    if (state) {
        state->signal.store(number);
        state->token->requestStop();
    }
}

} // namespace

InterruptScope::InterruptScope(StopToken& token) : state_(std::make_unique<State>(&token)) {
    outer_ = activeScope.exchange(state_.get());
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Reads and writes the signal interrupts carry on; the job notices the token at its next check.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &state_->previousInt);
    sigaction(SIGTERM, &action, &state_->previousTerm);
}

InterruptScope::~InterruptScope() {
    sigaction(SIGINT, &state_->previousInt, nullptr);
    sigaction(SIGTERM, &state_->previousTerm, nullptr);
    activeScope.store(outer_);
}

int InterruptScope::signal() const {
    return state_->signal.load();
}

} // namespace qob::cli

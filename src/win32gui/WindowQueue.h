#pragma once
// Calls from worker threads queued for a window's thread: post() queues a call and wakes the window
// with PostMessageW(kJobEventMessage); the window hands that message back to deliver(), which runs
// the calls on its own thread in the order posted. Calls still queued when the queue goes are
// dropped with it.
#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

namespace qob::win32gui {

// The message a queue posts to its window; the window calls deliver() for it.
inline constexpr UINT kJobEventMessage = WM_APP + 1;

class WindowQueue {
public:
    explicit WindowQueue(HWND window = nullptr) : window_(window) {}
    WindowQueue(const WindowQueue&) = delete;
    WindowQueue& operator=(const WindowQueue&) = delete;

    // Before anything is posted.
    void setWindow(HWND window) { window_ = window; }
    // From any thread.
    void post(std::function<void()> call);
    // On the window's thread, for kJobEventMessage.
    void deliver();

private:
    HWND window_;
    std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
};

} // namespace qob::win32gui

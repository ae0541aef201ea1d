#include "win32gui/WindowQueue.h"

namespace qob::win32gui {

void WindowQueue::post(std::function<void()> call) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wake = queue_.empty(); // one wake-up message stands for everything queued behind it
        queue_.push_back(std::move(call));
    }
    if (wake) {
        PostMessageW(window_, kJobEventMessage, 0, 0);
    }
}

void WindowQueue::deliver() {
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) {
                return;
            }
            call = std::move(queue_.front());
            queue_.pop_front();
        }
        call();
    }
}

} // namespace qob::win32gui

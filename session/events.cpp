#include "session/events.h"

#include <chrono>

Event& commandWake = *new Event(Event::Reset::Automatic);

void Event::set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        set_ = true;
    }
    if (manual_) changed_.notify_all();
    else changed_.notify_one();
}

void Event::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = false;
}

void Event::wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return set_; });
    if (!manual_) set_ = false;
}

bool Event::waitFor(std::uint32_t ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return set_; })) return false;
    if (!manual_) set_ = false;
    return true;
}

bool Event::isSet() {
    std::lock_guard<std::mutex> lock(mutex_);
    return set_;
}

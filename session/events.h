// A signal one thread sets and another waits for, on a mutex and a condition
// variable. An automatic-reset event lets exactly one wait through per set and
// clears itself; a manual-reset one stays set, letting every wait through,
// until it is reset.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

class Event {
public:
    enum class Reset { Automatic, Manual };

    explicit Event(Reset reset) : manual_(reset == Reset::Manual) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    void wait();
    // Returns whether the event came within `ms` milliseconds.
    bool waitFor(std::uint32_t ms);
    bool isSet();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
    const bool manual_;
};

// Wakes the command loop: set when the engine parks and when a line of input
// arrives or the input ends (automatic reset). Never destroyed, as the input's
// reader thread sets it and may outlive the loop.
extern Event& commandWake;

#include "programs/encoder/watchdog.h"

Watchdog::Watchdog(std::function<void(const std::string&, Clock::duration)> expired)
    : expired_(std::move(expired)), thread_([this] { Watch(); }) {}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

// Guards come and go with every frame: the thread is woken only when it would otherwise
// wake too late (idle, or waiting for a later deadline). A deadline later than the one it
// waits for is seen when it wakes, at the cost of one wake per grab time limit, not one
// context switch (a system call each way) per frame.
void Watchdog::Arm(std::string what, Clock::duration limit) {
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = true;
        what_ = std::move(what);
        limit_ = limit;
        deadline_ = Clock::now() + limit;
        wake = deadline_ < wakeAt_;
    }
    if (wake) changed_.notify_all();
}

void Watchdog::Disarm() {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = false;
}

void Watchdog::Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_) {
        if (!armed_) {
            wakeAt_ = Clock::time_point::max();
            changed_.wait(lock);
            continue;
        }
        if (Clock::now() < deadline_) {
            wakeAt_ = deadline_;
            changed_.wait_until(lock, deadline_);
            continue;
        }
        armed_ = false;
        std::string what = what_;
        Clock::duration limit = limit_;
        lock.unlock();
        expired_(what, limit);
        lock.lock();
    }
}

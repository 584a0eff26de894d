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

void Watchdog::Arm(std::string what, Clock::duration limit) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = true;
        what_ = std::move(what);
        limit_ = limit;
        deadline_ = Clock::now() + limit;
    }
    changed_.notify_all();
}

void Watchdog::Disarm() {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = false;
}

void Watchdog::Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_) {
        if (!armed_) {
            changed_.wait(lock);
            continue;
        }
        if (Clock::now() < deadline_) {
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

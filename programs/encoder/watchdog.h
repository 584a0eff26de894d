// A call into a driver cannot be interrupted: if it never comes back, the program would
// hang forever while the panel believes it streams. The watchdog's thread runs an action
// (in the program: a message, then the process ends) when a guarded call overstays.
#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
public:
    using Clock = std::chrono::steady_clock;
    // `expired` gets what was being done and the time it was given; it runs on the
    // watchdog's thread, at most once per guarded call.
    explicit Watchdog(std::function<void(const std::string& what, Clock::duration limit)> expired);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Guards the calls made while it lives.
    class Guard {
    public:
        Guard(Watchdog& dog, std::string what, Clock::duration limit) : dog_(dog) { dog_.Arm(std::move(what), limit); }
        ~Guard() { dog_.Disarm(); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        Watchdog& dog_;
    };

private:
    void Arm(std::string what, Clock::duration limit);
    void Disarm();
    void Watch();

    std::function<void(const std::string&, Clock::duration)> expired_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool armed_ = false, quit_ = false;
    std::string what_;
    Clock::duration limit_{};
    Clock::time_point deadline_;
    Clock::time_point wakeAt_ = Clock::time_point::min();  // when the thread wakes next on its own
    std::thread thread_;
};

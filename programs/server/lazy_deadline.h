// A deadline for activity that comes often (every read, every write): moving a
// timer each time costs two system calls, so the timer is armed once and, when
// it fires, its owner compares the last activity with the time allowed and
// either acts or arms it again.
#pragma once
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <utility>

class LazyDeadline {
public:
    explicit LazyDeadline(asio::io_context& io) : timer_(io) {}

    // While armed, activity only notes its time: the pending deadline will look at it.
    bool armed() const { return armed_; }

    // Replaces any pending deadline; onDue runs once `due` passes, never for a
    // deadline that was replaced or cancelled. onDue must hold the owner of this
    // object alive (its shared_ptr), as the wait outlives the call.
    template <class OnDue>
    void Arm(std::chrono::steady_clock::time_point due, OnDue onDue) {
        armed_ = true;
        timer_.expires_at(due);
        timer_.async_wait([this, onDue = std::move(onDue)](const asio::error_code& ec) mutable {
            // A replaced wait ends after the new one was armed: the flag is the new one's.
            if (ec) return;
            armed_ = false;
            onDue();
        });
    }

    void Cancel() {
        armed_ = false;
        timer_.cancel();
    }

private:
    asio::steady_timer timer_;
    bool armed_ = false;
};

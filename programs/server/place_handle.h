// A move-only handle to a place its owner keeps for someone (a viewer's place
// under the limits, a sink's place in a broadcast): the place is given back
// when the handle is reset or goes. Owner::GiveBack(const Slot&) does that.
#pragma once
#include <utility>

template <typename Owner, typename Slot>
class PlaceHandle {
public:
    PlaceHandle() = default;
    PlaceHandle(Owner* owner, Slot slot) : owner_(owner), slot_(std::move(slot)) {}
    PlaceHandle(PlaceHandle&& other) noexcept : owner_(std::exchange(other.owner_, nullptr)), slot_(other.slot_) {}
    PlaceHandle& operator=(PlaceHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            owner_ = std::exchange(other.owner_, nullptr);
            slot_ = other.slot_;
        }
        return *this;
    }
    ~PlaceHandle() { Reset(); }

    void Reset() {
        if (Owner* owner = std::exchange(owner_, nullptr)) owner->GiveBack(slot_);
    }
    explicit operator bool() const { return owner_ != nullptr; }

private:
    Owner* owner_ = nullptr;
    Slot slot_{};
};

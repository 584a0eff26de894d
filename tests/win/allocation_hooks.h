// Test-only replacements of the global operator new and delete (allocation_hooks.cpp),
// switched on for the constructing thread while an object below lives.
#pragma once
#include <cstddef>

namespace wintest {

// Records the largest single allocation: a reader meant to hold a little at a time
// must never ask for a block the size of its input.
class AllocationWatch {
public:
    AllocationWatch();
    ~AllocationWatch();
    AllocationWatch(const AllocationWatch&) = delete;
    AllocationWatch& operator=(const AllocationWatch&) = delete;
    size_t Largest() const;
};

}  // namespace wintest

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

// Every delete sets the thread's last-error code to 0, as any call that succeeds may:
// code that reads GetLastError after freeing something then reads 0.
class DeleteOverwritesLastError {
public:
    DeleteOverwritesLastError();
    ~DeleteOverwritesLastError();
    DeleteOverwritesLastError(const DeleteOverwritesLastError&) = delete;
    DeleteOverwritesLastError& operator=(const DeleteOverwritesLastError&) = delete;
};

}  // namespace wintest

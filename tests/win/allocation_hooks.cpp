// The global operator new and delete of the test programs: malloc and free, with the
// two per-thread hooks of allocation_hooks.h. The operator new[] and delete[] of the
// run-time library forward to these.
#include "allocation_hooks.h"

#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

thread_local bool t_watching = false;
thread_local size_t t_largest = 0;
thread_local bool t_overwriteLastError = false;

}  // namespace

void* operator new(std::size_t size) {
    if (t_watching && size > t_largest) t_largest = size;
    for (;;) {
        if (void* p = std::malloc(size ? size : 1)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

void operator delete(void* p) noexcept {
    if (t_overwriteLastError) ::SetLastError(ERROR_SUCCESS);
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace wintest {

AllocationWatch::AllocationWatch() {
    t_largest = 0;
    t_watching = true;
}
AllocationWatch::~AllocationWatch() { t_watching = false; }
size_t AllocationWatch::Largest() const { return t_largest; }

DeleteOverwritesLastError::DeleteOverwritesLastError() { t_overwriteLastError = true; }
DeleteOverwritesLastError::~DeleteOverwritesLastError() { t_overwriteLastError = false; }

}  // namespace wintest

#include "programs/server/descriptor_limit.h"

#ifndef _WIN32
#include <sys/resource.h>

#include <algorithm>
#endif

long RaiseDescriptorLimit(long wanted) {
#ifdef _WIN32
    (void)wanted;
    return 0;
#else
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    rlim_t want = static_cast<rlim_t>(wanted);
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= want) return wanted;
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? want : std::min(want, limit.rlim_max);
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    return static_cast<long>(limit.rlim_cur);
#endif
}

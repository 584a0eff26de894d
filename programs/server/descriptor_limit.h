// The limit of open descriptors, which on POSIX systems caps the connections
// a process can hold (commonly 1024 by default, below MaxHTTPConnections 2000).
#pragma once

// Raises the soft limit to wanted where the hard limit allows, never lowers
// it. Returns the limit now in force, or 0 where the system has none (Windows).
long RaiseDescriptorLimit(long wanted);

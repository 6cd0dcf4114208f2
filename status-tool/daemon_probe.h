// Is tickwardd running? Asked of its lock file without ever taking the lock.
#pragma once

#include "status.h"

// Reads the lock file at `lock_path` (the daemon's "%d\n" pid), asks the
// kernel who holds a lock on it (F_GETLK, which takes nothing) and checks
// that the process written there is alive and named `name`.
DaemonState ProbeDaemon(const char* lock_path, const char* name);

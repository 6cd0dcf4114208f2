// Deletion of old log files by age or by count. Stateless; safe to call from
// several threads at once.
#pragma once

namespace vesk_sys {

// Both return 0 or an errno value (see the public header for the contract).
int FileCleanupByTime(const char* pattern, int ageSeconds);
int FileCleanupByNum(const char* pattern, int keep);

}  // namespace vesk_sys

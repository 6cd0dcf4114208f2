// Exported log file clean-up entry points.
#include "cleanup/file_cleanup.h"
#include "vesk2_syslog.h"

#define VESK_EXPORT extern "C" __attribute__((visibility("default")))

VESK_EXPORT int ZELKWSYM_FileCleanupByTime(const char* pattern, int age_seconds) {
  return vesk_sys::FileCleanupByTime(pattern, age_seconds);
}

VESK_EXPORT int ZELKWSYM_FileCleanupByNum(const char* pattern, int keep) {
  return vesk_sys::FileCleanupByNum(pattern, keep);
}

// Small helpers shared by the syslog library tests.
#pragma once

#include <pthread.h>

#include <cstdio>
#include <string>

namespace tw::test {

// The calling thread's identifier as the library prints it with a format.
inline std::string FormatTid(const char* format) {
  char buf[32];
  std::snprintf(buf, sizeof buf, format, static_cast<unsigned long>(pthread_self()));
  return buf;
}

// The build's default thread identifier width: 8 hex digits or 16.
inline const char* DefaultTidFormat() { return sizeof(unsigned long) == 8 ? "%016lX" : "%08lX"; }

}  // namespace tw::test

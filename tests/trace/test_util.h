// Helpers of the trace API tests: files, records, error words, and a
// fixture that puts the library's process-wide settings back after a test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "vesk2_trace.h"

namespace tracetest {

inline constexpr bool kThreadSafe = TW_TEST_THREAD_SAFE != 0;

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
long FileSize(const std::string& path);  // -1 when missing
bool Exists(const std::string& path);
int FileMode(const std::string& path);  // permission bits, -1 when missing
// Splits at CR LF; a trailing piece without CR LF is returned as is.
std::vector<std::string> Lines(const std::string& content);
// Records of a file: lines that are neither system nor column header lines.
std::vector<std::string> Records(const std::string& path);
// Number of header blocks (system lines) in a file.
int HeaderBlocks(const std::string& path);

struct LastError {
  uint32_t code;
  uint32_t detail;
};
LastError Last();
std::string Hex(uint32_t v);

// The thread id text the calling thread's records carry.
std::string OwnThreadId();
std::string ProcessId();

// A fresh directory under /tmp for one test.
std::string NewDir(const std::string& tag);

// Text of exactly n characters.
std::string Text(size_t n, char c = 'x');

// Spec record that keeps its path alive.
struct Spec {
  Spec(const std::string& prefix, long size, long num) : path(prefix) {
    spec.lFileSize = size;
    spec.lFileNum = num;
    spec.pszFileName = path.c_str();
  }
  std::string path;
  tagVESK_LOGFILE_SPEC spec;
  const tagVESK_LOGFILE_SPEC* get() { return &spec; }
  std::string File(int n) const { return path + std::to_string(n) + ".log"; }
};

class TraceTest : public ::testing::Test {
 protected:
  void TearDown() override;
};

}  // namespace tracetest

#define EXPECT_ERROR(expected)                                              \
  do {                                                                      \
    uint32_t got_ = ::tracetest::Last().code;                               \
    EXPECT_EQ(got_, static_cast<uint32_t>(expected))                        \
        << "error word expected " << ::tracetest::Hex(expected) << ", got " \
        << ::tracetest::Hex(got_);                                          \
  } while (0)

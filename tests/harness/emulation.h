// Whether this process runs under a user-mode emulator. Where the kernel
// cannot run 32-bit programs, the set-up has them run by qemu-user through
// binfmt_misc; a test whose subject the emulator does not reproduce (an
// ioctl it does not know, signal frames, timing) skips itself there.
#pragma once

#include <string>

namespace tw::test {

// The emulator's own executable, or "" when the kernel runs this process
// itself.
const std::string& EmulatorPath();

inline bool RunningEmulated() { return !EmulatorPath().empty(); }

// One word for reports: "native" or "emulated".
inline const char* HowThisRuns() { return RunningEmulated() ? "emulated" : "native"; }

// Exit status of a test program (CTest's SKIP_RETURN_CODE, set in
// cmake/TwBuild.cmake): a run that passed but skipped a test for the
// emulator is reported as skipped, never as passed.
inline constexpr int kSkippedExitCode = 77;
int TestExitCode(int run_all_tests_result);

// Marks the calling test as unable to mean anything under emulation.
void NoteSkippedForEmulation();

}  // namespace tw::test

// Ends the current test as skipped, with the reason, when it runs emulated.
#define TW_SKIP_WHERE_EMULATED(reason)                                            \
  do {                                                                            \
    if (::tw::test::RunningEmulated()) {                                          \
      ::tw::test::NoteSkippedForEmulation();                                      \
      GTEST_SKIP() << "under user-mode emulation (" << ::tw::test::EmulatorPath() \
                   << "): " << reason;                                            \
    }                                                                             \
  } while (0)

#include "harness/emulation.h"

#include <limits.h>
#include <unistd.h>

#include <atomic>

namespace tw::test {
namespace {

std::string Link(const char* path) {
  char buf[PATH_MAX];
  ssize_t n = ::readlink(path, buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::atomic<bool> skipped_for_emulation{false};

}  // namespace

const std::string& EmulatorPath() {
  // qemu-user answers for /proc/self/exe with the program it runs, but the
  // kernel's per-thread entry still names the binary actually executing.
  // Natively both are the same link.
  static const std::string path = [] {
    std::string kernel = Link("/proc/thread-self/exe");
    return kernel.empty() || kernel == Link("/proc/self/exe") ? std::string() : kernel;
  }();
  return path;
}

void NoteSkippedForEmulation() { skipped_for_emulation = true; }

int TestExitCode(int run_all_tests_result) {
  return run_all_tests_result == 0 && skipped_for_emulation ? kSkippedExitCode
                                                            : run_all_tests_result;
}

}  // namespace tw::test

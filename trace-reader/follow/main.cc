// tickward-trace-follow: what tail -f is to a plain file, for a shared trace
// ring. The reader library is loaded from its installed path, as every
// deliverable of the system loads another, so that the program runs against
// the library that is installed next to the writers.
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "options.h"
#include "reader_api.h"
#include "ring_follower.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

bool WriteAll(const char* bytes, size_t length) {
  while (length > 0) {
    const ssize_t n = write(STDOUT_FILENO, bytes, length);
    if (n < 0) {
      if (errno == EINTR) {
        if (g_stop) return false;
        continue;
      }
      return false;
    }
    bytes += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

void Tell(const std::string& message) {
  fprintf(stderr, "tickward-trace-follow: %s\n", message.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  follow::Options options;
  std::string error;
  if (!follow::ParseOptions(argc, argv, &options, &error)) {
    Tell(error);
    fprintf(stderr, "Try 'tickward-trace-follow --help'.\n");
    return 1;
  }
  if (options.help) {
    fputs(follow::kHelpText, stdout);
    return 0;
  }
  follow::ReaderApi api;
  if (!follow::LoadReaderApi(options.library, &api, &error)) {
    Tell(error);
    return 4;
  }
  if (options.version) {
    const char* banner = "(no version banner)";
    if (void* lib = dlopen(options.library.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
      if (void* v = dlsym(lib, "ZELKWSYM_version_string")) banner = static_cast<const char*>(v);
    }
    printf("tickward-trace-follow %s\nreader library %s: %s\n", TW_FOLLOW_VERSION,
           options.library.c_str(), banner);
    return 0;
  }

  struct sigaction sa = {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  follow::RingFollower follower(api, follow::PathsForPrefix(options.prefix), WriteAll, Tell);
  const int rc = follower.Run(options.settings, &g_stop);
  if (rc == 3) Tell("standard output failed; stopped");
  return rc;
}

// A stand-in for a notified process: copied to a file named like the process
// a notice names, it records the first signal it gets.
// Usage: NAME RESULT_FILE READY_FILE. Writes READY_FILE once its signals are
// blocked, then the signal number (0 after 20 s without one) to RESULT_FILE.
#include <signal.h>

#include <cstdio>
#include <ctime>
#include <initializer_list>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGHUP, SIGINT, SIGUSR1, SIGUSR2, SIGTERM}) sigaddset(&set, s);
  sigprocmask(SIG_BLOCK, &set, nullptr);
  if (FILE* ready = std::fopen(argv[2], "w")) {
    std::fclose(ready);
  } else {
    return 3;
  }
  const timespec wait{20, 0};
  int got = sigtimedwait(&set, nullptr, &wait);
  if (got < 0) got = 0;
  FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) return 4;
  std::fprintf(out, "%d\n", got);
  std::fclose(out);
  return 0;
}

/* The floor of the idle-cost benchmark: a process that does nothing but
 * sleep the daemon's refresh interval, as often as asked. Built once 32-bit
 * (run the way the daemon runs, emulated where the kernel cannot run i386
 * programs) and once native, so that the emulator's own share is visible.
 *
 *   sleep_loop SECONDS COUNT
 */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s SECONDS COUNT\n", argv[0]);
    return 2;
  }
  long seconds = strtol(argv[1], NULL, 10);
  long count = strtol(argv[2], NULL, 10);
  for (long i = 0; i < count; ++i) {
    struct timespec wait = {seconds, 0}, left;
    while (nanosleep(&wait, &left) != 0 && errno == EINTR) wait = left;
  }
  return 0;
}

#include "QVSM_Daemonize.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "QVSM_ErrorLogging.h"
#include "QVSM_Signals.h"

namespace {

const char kLockDirectory[] = "/tmp";
const char kLockFile[] = "/tmp/tickwardd.lock";
int g_nLockFileDescriptor = -1;

// /tmp is world-writable: never follow a link planted at our name, never
// lock something that is not a plain file, never hand the descriptor on.
int OpenLockFile() {
  int fd = open(kLockFile, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0640);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

// Descriptors 0 to 4 stay; everything else the process inherited goes.
void CloseInheritedDescriptors() {
  for (int fd = getdtablesize() - 1; fd >= 5; --fd) close(fd);
}

// The parent holds the trace file's lock until it is gone; the child's own
// trace instance can only be created after that.
void WaitForParentToLeave(pid_t parent) {
  for (int i = 0; i < 500 && getppid() == parent; ++i) usleep(10 * 1000);
}

}  // namespace

int WDT_Daemonize() {
  try {
    WDT_TRACE(ZELKW_011_K, "WDT_Daemonize");
    // Started by an init system (or as a container's first child): stay in
    // the foreground but set up everything else a daemon needs.
    bool forked = false;
    if (getppid() == 1) {
      WDT_TRACE(ZELKW_016_K, "WDT_Daemonize");
    } else {
      pid_t parent = getpid();
      pid_t child = fork();
      if (child < 0) {
        WDT_TRACE(ZELKW_020_E, "WDT_Daemonize");
        return -1;
      }
      WDT_TRACE(ZELKW_019_I, "WDT_Daemonize");
      // The parent leaves at once: its exit handlers would act on libraries
      // and files that now belong to the child.
      if (child > 0) _exit(0);
      forked = true;
      WaitForParentToLeave(parent);
    }
    // Before the trace instance is re-created: closing afterwards would
    // close its file under it, and a later open could take over the number.
    CloseInheritedDescriptors();
    if (g_objErrorLog.WDT_InitialiseLogFiles() != 0) return -1;
    if (forked) {
      WDT_TRACE(ZELKW_021_I, "WDT_Daemonize");
      WDT_TRACE(ZELKW_022_I, "WDT_Daemonize");
    }
    if (g_objErrorLog.WDT_StartLoggerThread() != 0) return -1;
    WDT_TRACE(ZELKW_042_I, "Main", "WDT_LoggerThread");

    if (setsid() == -1)
      WDT_TRACE(ZELKW_051_E, "WDT_Daemonize");
    else
      WDT_TRACE(ZELKW_050_I, "WDT_Daemonize");
    umask(027);
    if (chdir(kLockDirectory) != 0) {
      // Not fatal: the lock file is opened by its absolute path.
    }

    int fd = OpenLockFile();
    if (fd < 0) {
      WDT_TRACE(ZELKW_023_E, "WDT_Daemonize");
      return -1;
    }
    WDT_TRACE(ZELKW_024_I, "WDT_Daemonize");
    if (lockf(fd, F_TLOCK, 0) != 0) {
      WDT_TRACE(ZELKW_026_E, "WDT_Daemonize");
      close(fd);
      return -1;
    }
    WDT_TRACE(ZELKW_025_I, "WDT_Daemonize");
    // A shorter id than the last run's must not leave its tail behind.
    char pid[32];
    int length = snprintf(pid, sizeof pid, "%d\n", static_cast<int>(getpid()));
    if (ftruncate(fd, 0) != 0 || pwrite(fd, pid, length, 0) != length) {
      // The lock is what counts; a missing id only makes the file less useful.
    }
    g_nLockFileDescriptor = fd;

    if (WDT_RegisteringSignals() != 0) {
      WDT_TRACE(ZELKW_013_E, "WDT_Daemonize", "WDT_RegisteringSignals");
      return -1;
    }
    WDT_TRACE(ZELKW_012_K, "WDT_Daemonize");
    return 0;
  } catch (...) {
    WDT_TRACE(ZELKW_015_E, "WDT_Daemonize");
    return -1;
  }
}

int WDT_RemoveLockFile() {
  try {
    WDT_TRACE(ZELKW_011_K, "WDT_RemoveLockFile");
    if (g_nLockFileDescriptor < 0) return -1;
    // Removed while still locked, so that a daemon starting now either
    // fails on our lock or creates a new file; never locks the old one.
    if (unlink(kLockFile) != 0) return -1;
    if (lockf(g_nLockFileDescriptor, F_ULOCK, 0) != 0) return -1;
    close(g_nLockFileDescriptor);
    g_nLockFileDescriptor = -1;
    WDT_TRACE(ZELKW_012_K, "WDT_RemoveLockFile");
    return 0;
  } catch (...) {
    WDT_TRACE(ZELKW_015_E, "WDT_RemoveLockFile");
    return -1;
  }
}

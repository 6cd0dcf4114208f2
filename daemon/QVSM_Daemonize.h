// Turning the started process into the daemon, and its lock file.
#pragma once

// Forks (unless the parent is already process 1), re-creates the trace
// instance in the child, starts the logger thread, detaches, takes the lock
// file "/tmp/tickwardd.lock" and installs the signal table. 0 or -1; the
// parent of the fork exits with status 0.
int WDT_Daemonize();
// Releases and removes the lock file. 0 or -1.
int WDT_RemoveLockFile();

// From what the probes found to one verdict, its exit status and the one
// sentence an operator reads first.
#pragma once

#include <string>

#include "status.h"

// In this order: the daemon not running, settings unreadable, BMC not
// answering, then the timer against ErrorWatching.
Verdict Judge(const Status& status);

ExitStatus ExitStatusOf(Verdict verdict);

// Stable word for --json ("protected", "daemon-not-running", ...).
const char* VerdictKey(Verdict verdict);

// The headline: what is wrong or right, and what the BMC will do.
std::string Headline(const Status& status, Verdict verdict);

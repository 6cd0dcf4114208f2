// Runs a test process under the product's real, compiled-in paths without
// touching the host: a private mount namespace in which /opt/quorrel is a
// private copy of the staged install tree, /tmp is a private tmpfs and /dev
// is writable (an overlay) so that SyslogCapture can own /dev/log.
#pragma once

#include <string>

namespace tw::test {

// Enters the sandbox. Call once from main(), before any thread starts;
// needs root. Ends the process with a message when a step fails.
void EnterSandbox();

// True once EnterSandbox() has succeeded in this process.
bool InSandbox();

// The staged tree as built (the copy mounted at /opt/quorrel comes from it).
std::string StageDir();

}  // namespace tw::test

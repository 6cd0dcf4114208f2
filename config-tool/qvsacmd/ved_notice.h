// How a component is told that its data document changed, as its component
// file's "notice" record says, and running that notification.
#pragma once

#include <string>
#include <vector>

#include "vopcfg.h"

enum VedNoticeKind { kVedNoticeNone = 0, kVedNoticeExecute = 1, kVedNoticeSignal = 3 };

struct VedNotice {
  int kind = kVedNoticeNone;
  std::string target;  // the command, or the process name
  bool has_arguments = false;
  std::string arguments;  // a shell command line, appended to the quoted command
  int signal = 0;
};

// Reads the notice from a component file's handle. Anything missing or of the
// wrong type, an unknown action or an unknown signal name gives kind none.
VedNotice vedReadNotice(vop_config_t* component);

// The signal number of a signal keyword, 0 when unknown. "SIGUST2" is the
// historical spelling of "SIGUSR2"; both are accepted.
int VedSignalNumber(const std::string& keyword);

// Quotes a text as one word for sh, whatever characters it holds.
std::string VedShellQuote(const std::string& text);

// The argument vector that carries out the notice (empty for kind none):
// execute without arguments runs the command itself; execute with arguments
// runs sh -c with the command quoted as one word and the arguments as written;
// signal runs killall -N -- NAME, the name as one argument.
std::vector<std::string> VedNoticeArgv(const VedNotice& notice);

// Runs the notice and waits for it. Its exit status is not checked; a program
// that cannot be started is reported on standard error.
void VedRunNotice(const VedNotice& notice);

// tickward-status: one screen that answers "is this host protected?".
// Reads the daemon's lock file, its settings, the BMC timer and its trace
// file; never sends anything to the BMC but Get Watchdog Timer.
#include <cstdio>
#include <new>

#include "bmc_probe.h"
#include "daemon_probe.h"
#include "report.h"
#include "settings_probe.h"
#include "status_args.h"
#include "trace_tail.h"
#include "ved_paths.h"
#include "verdict.h"

namespace {

Status Gather(const char* program, size_t trace_lines) {
  Status s;
  s.daemon = ProbeDaemon(TW_LOCK_FILE, "tickwardd");
  const std::string cnf = TW_KW_CNF;
  // The library comes from this tool's own tree, found as qvsacmd finds it.
  if (VED_SetPaths(program) != 0) {
    s.settings.definition_path = cnf + "/qvwdtdef.xml";
    s.settings.data_path = cnf + "/qvwdtcfg.xml";
    s.settings.problem = std::string("cannot find the installation directory of ") + program;
  } else {
    s.settings = ProbeSettings(cnf + "/qvwdtdef.xml", cnf + "/qvwdtcfg.xml");
  }
  s.bmc = ProbeBmcTimer("/dev/ipmi0");
  if (s.settings.readable) {
    s.trace = TailTrace(TracePrefix(s.settings, TW_KW_LOG), trace_lines);
  } else {
    s.trace.problem = "the trace file is named in the settings, which cannot be read";
  }
  return s;
}

bool Print(const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
         std::fflush(stdout) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const StatusOptions options = ParseStatusArgs(argc, argv);
  if (!options.error.empty()) {
    std::fprintf(stderr, "tickward-status: %s (see --help)\n", options.error.c_str());
    return kExitUsage;
  }
  if (options.help) {
    PrintStatusUsage(stdout);
    return std::fflush(stdout) == 0 ? kExitHealthy : kExitFailure;
  }
  try {
    const Status status = Gather(argc > 0 ? argv[0] : "tickward-status", options.lines);
    const Verdict verdict = Judge(status);
    const std::string report =
        options.json ? JsonReport(status, verdict) : TextReport(status, verdict);
    if (!Print(report)) {
      std::fputs("tickward-status: cannot write standard output\n", stderr);
      return kExitFailure;
    }
    return ExitStatusOf(verdict);
  } catch (const std::bad_alloc&) {
    std::fputs("tickward-status: out of memory\n", stderr);
    return kExitFailure;
  }
}

#include "status_args.h"

#include <string.h>

#include <cstdlib>

namespace {

constexpr unsigned long kMostLines = 1000;

bool ParseCount(const char* text, size_t* count) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  unsigned long value = strtoul(text, &end, 10);
  if (*end != '\0' || value > kMostLines) return false;
  *count = value;
  return true;
}

}  // namespace

StatusOptions ParseStatusArgs(int argc, char** argv) {
  StatusOptions o;
  for (int i = 1; i < argc && o.error.empty(); ++i) {
    const char* a = argv[i];
    if (strcmp(a, "-h") == 0 || strcmp(a, "--help") == 0) {
      o.help = true;
    } else if (strcmp(a, "-j") == 0 || strcmp(a, "--json") == 0) {
      o.json = true;
    } else if (strcmp(a, "-n") == 0 || strcmp(a, "--lines") == 0) {
      if (!ParseCount(i + 1 < argc ? argv[++i] : nullptr, &o.lines))
        o.error = std::string(a) + " needs a number of lines from 0 to 1000";
    } else if (strncmp(a, "--lines=", 8) == 0) {
      if (!ParseCount(a + 8, &o.lines)) o.error = "--lines needs a number of lines from 0 to 1000";
    } else {
      o.error = std::string("unknown argument: ") + a;
    }
  }
  return o;
}

void PrintStatusUsage(FILE* out) {
  fputs(
      "Usage: tickward-status [--json] [--lines N]\n"
      "Tells whether the BMC watchdog protects this host: whether tickwardd runs,\n"
      "the settings in force, the BMC timer as the BMC reports it, and the\n"
      "daemon's last trace messages. It only reads; it never changes the timer.\n"
      "\n"
      "  -j, --json      one JSON object for fleet tooling, instead of the screen\n"
      "  -n, --lines N   trace messages to show (default 10, at most 1000)\n"
      "  -h, --help      this text\n"
      "\n"
      "Exit status:\n"
      "  0  healthy: protected, or ErrorWatching deliberately off and the timer stopped\n"
      "  2  the daemon tickwardd is not running\n"
      "  3  ErrorWatching is on but the BMC timer is not running\n"
      "  4  the BMC does not answer (or there is no /dev/ipmi0)\n"
      "  5  the watchdog settings cannot be read\n"
      "  6  ErrorWatching is off but the BMC timer runs\n"
      "  1  this command failed;  64  the command line is wrong\n"
      "Run it as root: /dev/ipmi0 is root's. See tickward-status(8).\n",
      out);
}

#include "options.h"

#include <stdlib.h>
#include <string.h>

namespace follow {

const char kHelpText[] =
    "Usage: tickward-trace-follow [OPTION]... PREFIX\n"
    "Print the records of a shared trace ring, oldest first.\n"
    "\n"
    "PREFIX is the ring's path prefix: the ring /var/trace/app consists of\n"
    "/var/trace/app1.log, /var/trace/app2.log, ... and the management file\n"
    "/var/trace/mmap/app.mm.\n"
    "\n"
    "  -f, --follow           keep printing records as the writers add them,\n"
    "                         moving on to the next file as they do; wait for\n"
    "                         the ring if it does not exist yet\n"
    "  -i, --interval=MS      pause between looks for new records (default 50)\n"
    "  -L, --library=PATH     reader library to load (default " TW_READER_LIB_PATH
    ")\n"
    "  -h, --help             show this text and exit\n"
    "  -V, --version          show the program's and the library's version\n"
    "\n"
    "Records are printed as they stand in the files (CR LF line ends), with the\n"
    "header blocks the writers put at the start of a file. Messages about the\n"
    "ring go to standard error, prefixed with the program's name.\n"
    "\n"
    "Exit status: 0 done or stopped by SIGINT/SIGTERM, 1 usage error, 2 the\n"
    "ring cannot be read, 3 standard output failed, 4 the library cannot be loaded.\n";

namespace {

bool ParseInterval(const char* text, int* out) {
  char* end = nullptr;
  const long v = strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < 1 || v > 60000) return false;
  *out = static_cast<int>(v);
  return true;
}

// Value of an option given as "--name=value", "--name value", "-x value" or "-xvalue".
const char* TakeValue(int argc, char** argv, int* i, const char* arg, size_t nameLen) {
  if (arg[1] != '-' && arg[2] != '\0') return arg + 2;
  if (arg[1] == '-' && arg[nameLen] == '=') return arg + nameLen + 1;
  if (*i + 1 < argc) return argv[++*i];
  return nullptr;
}

bool IsOption(const char* arg, char shortName, const char* longName, bool takesValue) {
  if (arg[0] != '-') return false;
  if (arg[1] == shortName) return takesValue || arg[2] == '\0';
  if (arg[1] != '-') return false;
  const size_t n = strlen(longName);
  return strncmp(arg, longName, n) == 0 && (arg[n] == '\0' || (takesValue && arg[n] == '='));
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options* options, std::string* error) {
  bool endOfOptions = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!endOfOptions && arg[0] == '-' && arg[1] != '\0') {
      if (strcmp(arg, "--") == 0) {
        endOfOptions = true;
      } else if (IsOption(arg, 'f', "--follow", false)) {
        options->settings.follow = true;
      } else if (IsOption(arg, 'h', "--help", false)) {
        options->help = true;
      } else if (IsOption(arg, 'V', "--version", false)) {
        options->version = true;
      } else if (IsOption(arg, 'i', "--interval", true)) {
        const char* v = TakeValue(argc, argv, &i, arg, strlen("--interval"));
        if (v == nullptr || !ParseInterval(v, &options->settings.pollMs)) {
          *error = "the interval must be a number of milliseconds from 1 to 60000";
          return false;
        }
      } else if (IsOption(arg, 'L', "--library", true)) {
        const char* v = TakeValue(argc, argv, &i, arg, strlen("--library"));
        if (v == nullptr || *v == '\0') {
          *error = "--library needs the path of the reader library";
          return false;
        }
        options->library = v;
      } else {
        *error = std::string("unknown option ") + arg;
        return false;
      }
    } else if (options->prefix.empty()) {
      options->prefix = arg;
    } else {
      *error = std::string("only one ring may be given, found a second: ") + arg;
      return false;
    }
  }
  if (options->prefix.empty() && !options->help && !options->version) {
    *error = "the ring's path prefix is missing";
    return false;
  }
  return true;
}

}  // namespace follow

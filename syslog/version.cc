#include "vesk2_syslog.h"

#ifndef TW_SYSLOG_TITLE
#error "the build names the library (TW_SYSLOG_TITLE)"
#endif

extern "C" __attribute__((visibility("default"))) const char ZELKWSYM_sys_version_string[] =
    "$Version: " TW_SYSLOG_TITLE " " TW_VERSION " Last Update: " TW_BUILD_DATE " $";

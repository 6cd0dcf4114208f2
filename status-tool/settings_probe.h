// The watchdog settings in force: the daemon's two documents read through
// the 64-bit libvopcfg of this tool's tree, then the daemon's own checks.
#pragma once

#include "status.h"

// Reads `definition` and `data` with the library loaded from the tool's lib
// directory (VED_SetPaths must have run). Never fails: an unreadable set
// comes back with readable false and the reason in problem.
SettingsState ProbeSettings(const std::string& definition, const std::string& data);

// What the daemon does with a set it has read: any value outside its range
// puts the whole built-in set in force (watching off among it); then a
// TimeoutInterval shorter than IntervalCount x MinimumInterval is lengthened.
void ApplyDaemonRules(SettingsState* s);

// The TimeoutAction enumerator for a code the daemon arms with; "" if none.
const char* ActionName(int code);

// A libvopcfg result code in words.
std::string DescribeVopResult(uint32_t rc);

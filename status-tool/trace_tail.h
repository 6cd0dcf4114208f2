// The daemon's last messages: the newest records of its trace ring.
#pragma once

#include <stddef.h>

#include <string>

#include "status.h"

// The path prefix of the daemon's trace files: LogName when absolute, else
// under `log_dir`; a path too long for the daemon falls back to the
// definition's default name, as the daemon does.
std::string TracePrefix(const SettingsState& settings, const std::string& log_dir);

// The last `count` records of the ring <prefix>1.log ... <prefix>16.log,
// newest file first and then the files before it (by modification time),
// oldest line first. Header lines of the files are left out.
TraceState TailTrace(const std::string& prefix, size_t count);

// A daemon record for the screen: its time, message id and text, without the
// record's other columns, the daemon's own time/thread prefix and its
// source-file suffix. Other lines come back as they are.
std::string CompactTraceLine(const std::string& record);

// Helpers of the daemon's sandbox tests: the settings fields set directly,
// the ring emptied, files written, and trace files read back.
#pragma once

#include <string>
#include <vector>

#include "QVSM_LogRing.h"

namespace tw::test {

// One record of a trace file, by its columns.
struct TraceRecord {
  std::string app;   // columns 33-48, padding removed
  std::string id;    // columns 68-88, padding removed
  std::string text;  // from column 90
};

// Records of a single-process trace file (header blocks left out).
std::vector<TraceRecord> ReadTraceRecords(const std::string& path);
// Number of header blocks ("**** " system lines) in a trace file; each is
// written when a trace instance opens the file.
int CountTraceHeaders(const std::string& path);

// Empties the daemon's message buffer and returns what it held.
std::vector<WdtLogEntry> DrainLogBuffer();

void WriteFile(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

// Initialises the settings mutex once, as the daemon's main does first.
void InitSettingsMutex();

}  // namespace tw::test

// The settings fields, for tests that need values no document would pass.
struct CWDTSettingsAccess {
  static void SetLog(int size, int pages, int level, const char* name, const char* defaultName);
};

#include "daemon_test_util.h"

#include <pthread.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "QVSM_Globals.h"
#include "QVSM_WDTSettings.h"

namespace tw::test {
namespace {

std::string Trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

}  // namespace

std::vector<TraceRecord> ReadTraceRecords(const std::string& path) {
  std::vector<TraceRecord> records;
  for (const std::string& line : Lines(path)) {
    if (line.rfind("**** ", 0) == 0 || line.rfind("     ", 0) == 0 || line.size() < 90) continue;
    records.push_back({Trim(line.substr(33, 16)), Trim(line.substr(68, 21)), line.substr(90)});
  }
  return records;
}

int CountTraceHeaders(const std::string& path) {
  int n = 0;
  for (const std::string& line : Lines(path)) n += line.rfind("**** ", 0) == 0 ? 1 : 0;
  return n;
}

std::vector<WdtLogEntry> DrainLogBuffer() {
  WdtLogRing& ring = WDT_LogBuffer();
  std::vector<WdtLogEntry> out;
  pthread_mutex_lock(ring.Mutex());
  const WdtLogEntry* e = nullptr;
  while (ring.Get(&e) >= 0) {
    if (e != nullptr) out.push_back(*e);
  }
  pthread_mutex_unlock(ring.Mutex());
  return out;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

void InitSettingsMutex() {
  static bool done = false;
  if (!done) pthread_mutex_init(&g_mtxSettingsMutex, nullptr);
  done = true;
}

}  // namespace tw::test

void CWDTSettingsAccess::SetLog(int size, int pages, int level, const char* name,
                                const char* defaultName) {
  WdtSettingsLock s;
  CWDTSettings* settings = s.operator->();
  settings->m_nLogSize = size;
  settings->m_nLogPages = pages;
  settings->m_nLogLevel = level;
  std::snprintf(settings->m_szLogName, sizeof settings->m_szLogName, "%s", name);
  std::snprintf(settings->m_szDefaultLogName, sizeof settings->m_szDefaultLogName, "%s",
                defaultName);
}

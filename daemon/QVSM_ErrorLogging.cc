#include "QVSM_ErrorLogging.h"

#include <sys/time.h>
#include <time.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "QVSM_Globals.h"
#include "QVSM_LogLibraries.h"
#include "QVSM_LogRing.h"
#include "QVSM_Signals.h"
#include "QVSM_WDTSettings.h"

CErrorLog g_objErrorLog;

namespace {

constexpr size_t kLineBytes = 1024;
constexpr size_t kDirectBytes = 303;
constexpr size_t kPathBytes = 1025;
constexpr size_t kLongestPath = 249;
constexpr char kSuffix[] = " FileName: %s, LineNumber: %d.";
constexpr char kAppName[] = "ZEL-KW";
constexpr int kCreateRetries = 5;

// Guards every use of the trace instance and the record of what it was
// created with. Taken after the ring's mutex where both are held.
pthread_mutex_t lb_CondMutex = PTHREAD_MUTEX_INITIALIZER;

struct TraceFile {
  VESKTraceObject* instance = nullptr;
  long size = 0;
  int count = 0;
  int level = 0;
  char path[kPathBytes] = {};
};
TraceFile fs_stTraceFile;  // under lb_CondMutex

// Written by the main thread before the logger starts and after it is
// joined; the trace entry points are also swapped under lb_CondMutex.
WdtLogLibraries fs_stLibs;

pthread_t fs_tLoggerThread;
bool fs_bLoggerStarted = false;  // main thread only

// "[yyyy-mm-dd hh:mm:ss:mmm][tid] ". The date changes once a second, so each
// thread keeps the text of the last second it formatted.
size_t FormatPrefix(char* out, size_t size) {
  thread_local time_t t_cachedSecond = -1;
  thread_local char t_date[32] = "";
  struct timeval now {};
  int ms = 0;
  if (gettimeofday(&now, nullptr) == 0) {
    ms = static_cast<int>(now.tv_usec / 1000);
  } else {
    now.tv_sec = time(nullptr);
  }
  if (now.tv_sec != t_cachedSecond) {
    struct tm local {};
    if (localtime_r(&now.tv_sec, &local) == nullptr ||
        strftime(t_date, sizeof t_date, "%F %T", &local) == 0) {
      t_date[0] = '\0';
    }
    t_cachedSecond = now.tv_sec;
  }
  int n = snprintf(out, size, "[%s:%03d][%lx] ", t_date, ms,
                   static_cast<unsigned long>(pthread_self()));
  if (n < 0) return 0;
  return static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
}

void Sleep100ms() {
  struct timespec delay = {0, 100 * 1000 * 1000};
  while (nanosleep(&delay, &delay) != 0) {
  }
}

// With lb_CondMutex held: a new instance for the given file set, retried
// while the previous owner (the parent before its exit) still holds the
// files; mode 0644 and the level applied. Null on failure.
VESKTraceObject* CreateInstance(long size, int count, const char* path, int level) {
  tagVESK_LOGFILE_SPEC spec = {size, count, path};
  VESKTraceObject* instance = nullptr;
  int result = fs_stLibs.createInstance(&instance, &spec, kAppName);
  for (int retry = 0; result < 0 && retry < kCreateRetries; ++retry) {
    Sleep100ms();
    result = fs_stLibs.createInstance(&instance, &spec, kAppName);
  }
  if (result < 0 || instance == nullptr) return nullptr;
  if (fs_stLibs.chInstanceFileAttr(instance, 0644) < 0) {
    fs_stLibs.deleteInstance(instance);
    return nullptr;
  }
  fs_stLibs.setInstanceLogLevel(instance, level);
  return instance;
}

void Record(VESKTraceObject* instance, long size, int count, const char* path, int level) {
  fs_stTraceFile.instance = instance;
  fs_stTraceFile.size = size;
  fs_stTraceFile.count = count;
  fs_stTraceFile.level = level;
  snprintf(fs_stTraceFile.path, sizeof fs_stTraceFile.path, "%s", path);
}

void WriteEntry(const WdtLogEntry& entry) {
  if (entry.kind == WDT_LOG_TRACE) {
    pthread_mutex_lock(&lb_CondMutex);
    if (fs_stTraceFile.instance != nullptr) {
      fs_stLibs.putInstanceWithId(fs_stTraceFile.instance, entry.level, entry.id, entry.text);
    }
    pthread_mutex_unlock(&lb_CondMutex);
  } else if (entry.kind == WDT_LOG_SYSLOG && fs_stLibs.putToSysLogWithTid != nullptr) {
    fs_stLibs.putToSysLogWithTid(entry.level, entry.id, entry.text);
  }
}

void WriteDirect(WdtMsgId msg, const char* text, int line) {
  const WdtMessage& m = WDT_GetMessage(msg);
  g_objErrorLog.WDT_ErrorLogWithoutBuffer(m.level, m.id, text, WDT_SOURCE_FILE, line);
}

void ReportDropped(int dropped) {
  if (dropped == WdtLogRing::kDroppedMax) {
    WriteDirect(ZELKW_057_E, WDT_GetMessage(ZELKW_057_E).text, __LINE__);
  } else if (dropped > 0) {
    char text[256];
    snprintf(text, sizeof text, WDT_GetMessage(ZELKW_058_E).text, dropped);
    WriteDirect(ZELKW_058_E, text, __LINE__);
  }
}

void* WDT_LoggerThread(void*) {
  WriteDirect(ZELKW_059_K, WDT_GetMessage(ZELKW_059_K).text, __LINE__);
  if (WDT_BlockAllSignals() != 0) {
    WriteDirect(ZELKW_060_K, WDT_GetMessage(ZELKW_060_K).text, __LINE__);
    return nullptr;
  }
  WdtLogRing& ring = WDT_LogBuffer();
  pthread_mutex_lock(ring.Mutex());
  for (;;) {
    // Drain before every wait: what was put before this thread ran, or
    // while it was writing, has already signalled and will not again.
    const WdtLogEntry* entry = nullptr;
    int dropped;
    while ((dropped = ring.Get(&entry)) >= 0) {
      pthread_mutex_unlock(ring.Mutex());
      ReportDropped(dropped);
      if (entry != nullptr) WriteEntry(*entry);
      pthread_mutex_lock(ring.Mutex());
    }
    // The stop is set under the ring's mutex, so it cannot slip in between
    // this test and the wait.
    if (g_vServiceStopArrivedForLoggerThread != 0) break;
    ring.Wait();
  }
  pthread_mutex_unlock(ring.Mutex());
  WriteDirect(ZELKW_060_K, WDT_GetMessage(ZELKW_060_K).text, __LINE__);
  return nullptr;
}

}  // namespace

CErrorLog::CErrorLog() : m_bFirstInitialisation(true), m_bSysLogOpen(false) {}

void CErrorLog::LogTrace(int level, const char* id, const char* format, ...) {
  if (id == nullptr || format == nullptr || level > g_nXmlLogLevel.load()) return;
  // The caller's last two arguments are its file and line: the suffix's
  // conversions go at the end of its format. A format too long for that is
  // used alone (its file and line are then left out, never misread).
  char withSuffix[kLineBytes];
  const size_t formatLen = strlen(format);
  const char* use = format;
  if (formatLen + sizeof kSuffix <= sizeof withSuffix) {
    memcpy(withSuffix, format, formatLen);
    memcpy(withSuffix + formatLen, kSuffix, sizeof kSuffix);
    use = withSuffix;
  }
  char line[kLineBytes];
  const size_t prefix = FormatPrefix(line, sizeof line);
  va_list args;
  va_start(args, format);
  const int n = vsnprintf(line + prefix, sizeof line - prefix, use, args);
  va_end(args);
  if (n < 0) return;
  size_t len = prefix + static_cast<size_t>(n);
  if (len >= sizeof line) len = sizeof line - 1;
  WDT_LogBuffer().Put(WDT_LOG_TRACE, level, id, line, len);
}

void CErrorLog::LogSysLog(int importance, const char* id, const char* text) {
  if (id == nullptr || text == nullptr || importance < 0 || importance > 6) return;
  if (!m_bSysLogOpen.load()) return;
  char line[kLineBytes];
  const size_t prefix = FormatPrefix(line, sizeof line);
  const int n = snprintf(line + prefix, sizeof line - prefix, "%s", text);
  if (n < 0) return;
  size_t len = prefix + static_cast<size_t>(n);
  if (len >= sizeof line) len = sizeof line - 1;
  WDT_LogBuffer().Put(WDT_LOG_SYSLOG, importance, id, line, len);
}

void CErrorLog::WDT_ErrorLogWithoutBuffer(int level, const char* id, const char* text,
                                          const char* file, int line) {
  if (id == nullptr || text == nullptr || file == nullptr || line == 0) return;
  char prefix[64];
  FormatPrefix(prefix, sizeof prefix);
  char out[kDirectBytes];
  // The prefix ends in the space that separates it from the text. A long
  // line is cut at the buffer's end; the result is looked at so that -O3
  // builds do not take that intended cut for a mistake.
  const int written =
      snprintf(out, sizeof out, "%s%s FileName: %s, LineNumber: %d. ", prefix, text, file, line);
  if (written < 0) return;
  pthread_mutex_lock(&lb_CondMutex);
  if (fs_stTraceFile.instance != nullptr) {
    fs_stLibs.putInstanceWithId(fs_stTraceFile.instance, level, id, out);
  }
  pthread_mutex_unlock(&lb_CondMutex);
}

int CErrorLog::WDT_InitialiseLogFiles() {
  try {
    int level;
    int count;
    long long size;
    char path[kPathBytes];
    {
      WdtSettingsLock settings;
      level = settings->WDT_GetLogLevel();
      size = static_cast<long long>(settings->WDT_GetLogSize()) * 1048576;
      count = settings->WDT_GetLogPages();
      char name[256];
      settings->WDT_GetLogFileName(name);
      if (name[0] == '/') {
        snprintf(path, sizeof path, "%s", name);
      } else {
        snprintf(path, sizeof path, "%s/%s", TW_KW_LOG, name);
      }
      if (strlen(path) > kLongestPath) {
        settings->WDT_GetDefaultLogFileName(name);
        snprintf(path, sizeof path, "%s/%s", TW_KW_LOG, name);
      }
    }
    // The settings are read before they are validated at start-up: a size
    // the trace library's long cannot hold is refused here, not wrapped.
    if (size <= 0 || size > 2147483647LL) return -1;
    if (m_bFirstInitialisation) {
      m_bFirstInitialisation = false;
      return WDT_CreateLoggerThread(static_cast<long>(size), count, path, level);
    }
    return WDT_CustomizeLogFiles(static_cast<long>(size), count, path, level);
  } catch (...) {
    WDT_TRACE(ZELKW_015_E, "WDT_InitialiseLogFiles");
    return -1;
  }
}

int CErrorLog::WDT_CreateLoggerThread(long fileSize, int fileCount, const char* path, int level) {
  if (fileSize == 0 || fileCount == 0 || path == nullptr || path[0] == '\0' || level < -1 ||
      level > 1000) {
    return -1;
  }
  // The ring and its mutex are ready from the start; what is already
  // buffered stays and is written once the logger thread runs.
  WdtLogLibraries libs;
  if (WDT_LoadVESKLibrary(&libs) != 0) return -1;
  pthread_mutex_lock(&lb_CondMutex);
  fs_stLibs = libs;
  pthread_mutex_unlock(&lb_CondMutex);
  fs_stLibs.openSysLog("zelkwmon", 3, 24);
  m_bSysLogOpen = true;

  pthread_mutex_lock(&lb_CondMutex);
  VESKTraceObject* instance = CreateInstance(fileSize, fileCount, path, level);
  if (instance != nullptr) Record(instance, fileSize, fileCount, path, level);
  pthread_mutex_unlock(&lb_CondMutex);
  return instance != nullptr ? 0 : -1;
}

int CErrorLog::WDT_CustomizeLogFiles(long fileSize, int fileCount, const char* path, int level) {
  if (fs_stLibs.trace == nullptr) return -1;
  WdtLogRing& ring = WDT_LogBuffer();
  int result = 0;
  pthread_mutex_lock(ring.Mutex());
  pthread_mutex_lock(&lb_CondMutex);
  // Without an instance (a failed earlier re-creation) an unchanged file set
  // must still get one, or trace output would stay off for good.
  if (fileSize != fs_stTraceFile.size || fileCount != fs_stTraceFile.count ||
      strcmp(path, fs_stTraceFile.path) != 0 || g_nInitializeFromDaemonize == 1 ||
      fs_stTraceFile.instance == nullptr) {
    g_nInitializeFromDaemonize = 0;
    if (fs_stTraceFile.instance != nullptr) fs_stLibs.deleteInstance(fs_stTraceFile.instance);
    fs_stTraceFile.instance = nullptr;
    VESKTraceObject* instance = CreateInstance(fileSize, fileCount, path, level);
    if (instance != nullptr) {
      Record(instance, fileSize, fileCount, path, level);
    } else {
      result = -1;
    }
  } else if (level != fs_stTraceFile.level) {
    fs_stLibs.setInstanceLogLevel(fs_stTraceFile.instance, level);
    fs_stTraceFile.level = level;
  }
  pthread_mutex_unlock(&lb_CondMutex);
  pthread_mutex_unlock(ring.Mutex());
  return result;
}

int CErrorLog::WDT_StartLoggerThread() {
  if (fs_bLoggerStarted) return -1;
  if (pthread_create(&fs_tLoggerThread, nullptr, WDT_LoggerThread, nullptr) != 0) return -1;
  fs_bLoggerStarted = true;
  return 0;
}

void CErrorLog::WDT_CloseSysLog() {
  if (m_bSysLogOpen && fs_stLibs.closeSysLog != nullptr) fs_stLibs.closeSysLog();
  m_bSysLogOpen = false;
}

int CErrorLog::WDT_StopLogging() {
  int result = 0;
  WdtLogRing& ring = WDT_LogBuffer();
  if (fs_bLoggerStarted) {
    pthread_mutex_lock(ring.Mutex());
    g_vServiceStopArrivedForLoggerThread = 1;
    ring.Wake();
    pthread_mutex_unlock(ring.Mutex());
    if (pthread_join(fs_tLoggerThread, nullptr) != 0) result = -1;
    fs_bLoggerStarted = false;
  }
  pthread_mutex_lock(&lb_CondMutex);
  if (fs_stTraceFile.instance != nullptr) fs_stLibs.deleteInstance(fs_stTraceFile.instance);
  fs_stTraceFile = TraceFile();
  pthread_mutex_unlock(&lb_CondMutex);
  WDT_CloseSysLog();
  pthread_mutex_lock(&lb_CondMutex);
  WDT_UnloadVESKLibrary(&fs_stLibs);
  pthread_mutex_unlock(&lb_CondMutex);
  // Back to the constructed state (the flag is the logger thread's only).
  g_vServiceStopArrivedForLoggerThread = 0;
  m_bFirstInitialisation = true;
  return result;
}

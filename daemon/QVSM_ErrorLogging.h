// The daemon's event log: callers format a message and put it into a fixed
// ring; the logger thread writes it to the trace instance or to syslog, both
// libraries loaded at run time. Callers never wait for a disk or syslog.
#pragma once

#include <pthread.h>

#include <atomic>

#include "QVSM_MessageCatalogue.h"

// Source file of a call, without its directory, for the trace line suffix.
#define WDT_SOURCE_FILE \
  (__builtin_strrchr(__FILE__, '/') ? __builtin_strrchr(__FILE__, '/') + 1 : __FILE__)

class CErrorLog {
 public:
  CErrorLog();

  // Formats `format` (with " FileName: %s, LineNumber: %d." appended, so
  // the last two arguments are the caller's file and line) behind the
  // "[date time:ms][tid] " prefix and buffers it for the trace file.
  // Nothing when `level` is above g_nXmlLogLevel or an argument is null.
  void LogTrace(int level, const char* id, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  // Buffers `text` behind the same prefix for syslog; only while syslog is
  // open, and only for importances 0 to 6.
  void LogSysLog(int importance, const char* id, const char* text);

  // First call: loads the trace and syslog libraries and creates the trace
  // instance from the settings; later calls adapt it (re-create it when
  // size, count or path changed, or once after the fork). 0 or -1.
  int WDT_InitialiseLogFiles();
  // Starts the logger thread (all signals blocked in it). 0 or -1.
  int WDT_StartLoggerThread();
  // Asks the logger thread to write what is buffered and end, then joins it
  // (if it was started), deletes the trace instance, closes syslog and
  // unloads both libraries. 0, or -1 if the join failed. Afterwards the
  // object is as constructed: a later WDT_InitialiseLogFiles starts afresh.
  int WDT_StopLogging();
  // Writes at once to the trace instance (the logger thread's own lines).
  void WDT_ErrorLogWithoutBuffer(int level, const char* id, const char* text, const char* file,
                                 int line);

 private:
  // First creation: loads the libraries and creates the trace instance;
  // the logger thread is started separately.
  int WDT_CreateLoggerThread(long fileSize, int fileCount, const char* path, int level);
  // Adapts the trace instance to changed settings.
  int WDT_CustomizeLogFiles(long fileSize, int fileCount, const char* path, int level);
  void WDT_CloseSysLog();

  bool m_bFirstInitialisation;  // main thread only
  // Read by every thread that raises a syslog message.
  std::atomic<bool> m_bSysLogOpen;
};

extern CErrorLog g_objErrorLog;

// Raise catalogue messages by identifier. WDT_TRACE takes the operation
// name and the message's further arguments; file and line are added here.
#define WDT_TRACE(msg, ...)                                                 \
  g_objErrorLog.LogTrace(WDT_GetMessage(msg).level, WDT_GetMessage(msg).id, \
                         WDT_GetMessage(msg).text, __VA_ARGS__, WDT_SOURCE_FILE, __LINE__)
#define WDT_SYSLOG(msg)                                                      \
  g_objErrorLog.LogSysLog(WDT_GetMessage(msg).level, WDT_GetMessage(msg).id, \
                          WDT_GetMessage(msg).text)

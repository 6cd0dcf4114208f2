// The daemon's twelve settings, read from its definition and data documents
// through the 32-bit configuration library (loaded for each read), checked,
// replaced by the built-in defaults when any is out of range, and adjusted so
// that a refresh never comes sooner than the minimum interval. One instance
// per process; every access holds g_mtxSettingsMutex.
#pragma once

#include <pthread.h>

// TimeoutAction codes, as the BMC takes them in the Set Watchdog Timer's
// timer actions byte.
enum WdtTimeoutAction {
  WDT_ACTION_NO_ACTION = 0x00,
  WDT_ACTION_HARD_RESET = 0x01,
  WDT_ACTION_POWER_DOWN = 0x02,
  WDT_ACTION_POWER_CYCLE = 0x03,
  WDT_ACTION_NMI = 0x20,
  WDT_ACTION_SMI = 0x10,
};

class CWDTSettings {
 public:
  // Locks the settings mutex, creates the instance on first use and returns
  // it still locked; every caller pairs it with WDT_ReleaseSettingsInstance.
  static CWDTSettings* WDT_GetSettingsInstance();
  static int WDT_ReleaseSettingsInstance();

  // Reads every key from the documents; 0, or -1 (keys after the failing
  // one keep their old values).
  int WDT_WatchdogReadConfig();
  // Traces the values, applies the whole default set when any is invalid
  // (ZELKW-118-W, ZELKW-119-W), then the interval adjustment. 0, or -1 when
  // the defaults were applied.
  int WDT_LogXMLvalues();

  int WDT_GetWatchtimeout() const;           // TimeoutInterval, s
  int WDT_GetSettingWatchInterTime() const;  // IntervalCount
  int WDT_GetShortWatchTime() const;         // ShorteningCount
  int WDT_GetShortInterval() const;          // MinimumInterval, s
  int WDT_GetReOprConfirmation() const;      // RetryInterval, s
  bool WDT_GetWatchExists() const;           // ErrorWatching
  int WDT_GetLogSize() const;                // LogSize, MiB
  int WDT_GetLogLevel() const;               // LogLevel
  int WDT_GetLogPages() const;               // LogPages
  int WDT_GetMaxRetryTime() const;           // MaximumRetryTime, s
  int WDT_GetActionOperation() const;        // TimeoutAction code
  // Copy at most 256 bytes (NUL included) into `out`.
  void WDT_GetLogFileName(char* out) const;
  void WDT_GetDefaultLogFileName(char* out) const;

 private:
  CWDTSettings();
  friend struct CWDTSettingsReader;  // the reading of one key (WDT_GetSpecData)
  friend struct CWDTSettingsAccess;  // tests

  int m_nTimeoutInterval;
  int m_nIntervalCount;
  int m_nShorteningCount;
  int m_nMinimumInterval;
  int m_nRetryInterval;
  bool m_bErrorWatching;
  int m_nLogSize;
  int m_nLogLevel;
  int m_nLogPages;
  int m_nMaximumRetryTime;
  char m_szLogName[256];
  char m_szDefaultLogName[256];
  int m_nTimeoutAction;
  char m_szDataFilePath[1024];
  char m_szDefinitionFilePath[1024];
};

// Holds the settings lock for one scope.
class WdtSettingsLock {
 public:
  WdtSettingsLock() : m_pSettings(CWDTSettings::WDT_GetSettingsInstance()) {}
  ~WdtSettingsLock() { CWDTSettings::WDT_ReleaseSettingsInstance(); }
  WdtSettingsLock(const WdtSettingsLock&) = delete;
  WdtSettingsLock& operator=(const WdtSettingsLock&) = delete;
  CWDTSettings* operator->() const { return m_pSettings; }

 private:
  CWDTSettings* m_pSettings;
};

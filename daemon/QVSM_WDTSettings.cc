#include "QVSM_WDTSettings.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "QVSM_ErrorLogging.h"
#include "QVSM_Globals.h"
#include "vopcfg.h"

namespace {

CWDTSettings* objSettings = nullptr;  // created on first use, never destroyed

// RTLD_LAZY | RTLD_NOW | RTLD_GLOBAL, as the library has always been opened.
constexpr int kOpenMode = 0x103;

struct VopCfg {
  decltype(&VOP_ConfigCreate) create = nullptr;
  decltype(&VOP_ConfigDestroy) destroy = nullptr;
  decltype(&VOP_ConfigRead) read = nullptr;
  decltype(&VOP_DataGet) dataGet = nullptr;
  decltype(&VOP_DataDefaultGet) defaultGet = nullptr;
};

template <typename F>
bool Resolve(void* handle, const char* name, F* out) {
  *out = reinterpret_cast<F>(dlsym(handle, name));
  return *out != nullptr;
}

// Keys in the order they are read; a failure leaves the later ones as they were.
const char* const kKeys[] = {"ErrorWatching", "TimeoutAction",    "TimeoutInterval",
                             "IntervalCount", "ShorteningCount",  "MinimumInterval",
                             "RetryInterval", "MaximumRetryTime", "LogLevel",
                             "LogSize",       "LogPages",         "LogName"};

struct ActionName {
  const char* name;
  int code;
};
const ActionName kActions[] = {
    {"NoAction", WDT_ACTION_NO_ACTION},
    {"HardReset", WDT_ACTION_HARD_RESET},
    {"PowerDown", WDT_ACTION_POWER_DOWN},
    {"PowerCycle", WDT_ACTION_POWER_CYCLE},
    {"NMI", WDT_ACTION_NMI},
    {"SMI", WDT_ACTION_SMI},
};

bool Within(int value, int low, int high) { return value >= low && value <= high; }

// A value beyond int would wrap into range if only its low half were kept;
// it is pinned to the nearest int end instead, which every check refuses.
int ToInt(int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int>(value);
}

}  // namespace

// Private helpers that need the fields; one friend keeps them out of the header.
struct CWDTSettingsReader {
  static int WDT_GetSpecData(CWDTSettings* s, vop_config_t* config, const VopCfg& vop,
                             const char* key);
};

CWDTSettings::CWDTSettings()
    : m_nTimeoutInterval(1),
      m_nIntervalCount(1),
      m_nShorteningCount(1),
      m_nMinimumInterval(1),
      m_nRetryInterval(1),
      m_bErrorWatching(false),
      m_nLogSize(1),
      m_nLogLevel(1),
      m_nLogPages(1),
      m_nMaximumRetryTime(1),
      m_szLogName(),
      m_szDefaultLogName(),
      m_nTimeoutAction(WDT_ACTION_HARD_RESET),
      m_szDataFilePath(),
      m_szDefinitionFilePath() {}

CWDTSettings* CWDTSettings::WDT_GetSettingsInstance() {
  pthread_mutex_lock(&g_mtxSettingsMutex);
  if (objSettings == nullptr) objSettings = new CWDTSettings();
  return objSettings;
}

int CWDTSettings::WDT_ReleaseSettingsInstance() {
  pthread_mutex_unlock(&g_mtxSettingsMutex);
  return 0;
}

int CWDTSettingsReader::WDT_GetSpecData(CWDTSettings* s, vop_config_t* config, const VopCfg& vop,
                                        const char* key) {
  if (s == nullptr || config == nullptr || vop.dataGet == nullptr || vop.defaultGet == nullptr ||
      key == nullptr) {
    return -1;
  }
  try {
    vop_data_t* record = nullptr;
    uint32_t count = 1;
    if (vop.dataGet(config, key, &record, &count) != 0 || count == 0) {
      if (vop.defaultGet(config, key, &record) != 0) return -1;
    }
    if (record == nullptr) return -1;
    switch (record->type) {
      case VOP_TYPE_INTEGER: {
        int* field = nullptr;
        if (strcmp(key, "TimeoutInterval") == 0)
          field = &s->m_nTimeoutInterval;
        else if (strcmp(key, "IntervalCount") == 0)
          field = &s->m_nIntervalCount;
        else if (strcmp(key, "ShorteningCount") == 0)
          field = &s->m_nShorteningCount;
        else if (strcmp(key, "MinimumInterval") == 0)
          field = &s->m_nMinimumInterval;
        else if (strcmp(key, "RetryInterval") == 0)
          field = &s->m_nRetryInterval;
        else if (strcmp(key, "LogLevel") == 0)
          field = &s->m_nLogLevel;
        else if (strcmp(key, "LogPages") == 0)
          field = &s->m_nLogPages;
        else if (strcmp(key, "LogSize") == 0)
          field = &s->m_nLogSize;
        else if (strcmp(key, "MaximumRetryTime") == 0)
          field = &s->m_nMaximumRetryTime;
        if (field != nullptr) *field = ToInt(record->value.integer);
        break;
      }
      case VOP_TYPE_STRING: {
        if (strcmp(key, "LogName") == 0 && record->value.string != nullptr) {
          snprintf(s->m_szLogName, sizeof s->m_szLogName, "%s", record->value.string);
        }
        vop_data_t* fallback = nullptr;
        if (vop.defaultGet(config, key, &fallback) != 0 || fallback == nullptr) return -1;
        const char* text = fallback->value.string != nullptr ? fallback->value.string : "";
        snprintf(s->m_szDefaultLogName, sizeof s->m_szDefaultLogName, "%s", text);
        break;
      }
      case VOP_TYPE_BOOLEAN:
        if (strcmp(key, "ErrorWatching") == 0) s->m_bErrorWatching = record->value.boolean != 0;
        break;
      case VOP_TYPE_ENUMERATION:
        if (record->value.enumeration == nullptr) break;
        for (const ActionName& action : kActions) {
          if (strcmp(record->value.enumeration, action.name) == 0) {
            s->m_nTimeoutAction = action.code;
            break;
          }
        }
        break;
      default:
        break;
    }
    return 0;
  } catch (...) {
    WDT_TRACE(ZELKW_015_E, "WDT_GetSpecData");
    return -1;
  }
}

int CWDTSettings::WDT_WatchdogReadConfig() {
  try {
    snprintf(m_szDefinitionFilePath, sizeof m_szDefinitionFilePath, "%s/qvwdtdef.xml", TW_KW_CNF);
    snprintf(m_szDataFilePath, sizeof m_szDataFilePath, "%s/qvwdtcfg.xml", TW_KW_CNF);
    void* library = dlopen(TW_DAEMON_VOPCFG_LIB, kOpenMode);
    if (library == nullptr) return -1;
    VopCfg vop;
    if (!Resolve(library, "VOP_ConfigCreate", &vop.create) ||
        !Resolve(library, "VOP_ConfigDestroy", &vop.destroy) ||
        !Resolve(library, "VOP_ConfigRead", &vop.read) ||
        !Resolve(library, "VOP_DataGet", &vop.dataGet) ||
        !Resolve(library, "VOP_DataDefaultGet", &vop.defaultGet)) {
      dlclose(library);
      return -1;
    }
    vop_config_t* config = nullptr;
    if (vop.create(m_szDefinitionFilePath, &config) != 0) {
      dlclose(library);
      return -1;
    }
    int result = vop.read(m_szDataFilePath, config) == 0 ? 0 : -1;
    for (size_t i = 0; result == 0 && i < sizeof kKeys / sizeof kKeys[0]; ++i) {
      result = CWDTSettingsReader::WDT_GetSpecData(this, config, vop, kKeys[i]);
    }
    vop.destroy(config);
    dlclose(library);
    return result;
  } catch (...) {
    WDT_TRACE(ZELKW_015_E, "WDT_WatchdogReadConfig");
    return -1;
  }
}

int CWDTSettings::WDT_LogXMLvalues() {
  try {
    static const char kOp[] = "WDT_LogXMLvalues";
    const struct {
      const char* key;
      int value;
    } numbers[] = {{"TimeoutInterval", m_nTimeoutInterval},
                   {"IntervalCount", m_nIntervalCount},
                   {"ShorteningCount", m_nShorteningCount},
                   {"MinimumInterval", m_nMinimumInterval},
                   {"RetryInterval", m_nRetryInterval},
                   {"LogLevel", m_nLogLevel},
                   {"LogSize", m_nLogSize},
                   {"LogPages", m_nLogPages},
                   {"MaximumRetryTime", m_nMaximumRetryTime}};
    for (const auto& n : numbers) WDT_TRACE(ZELKW_052_K, kOp, n.key, n.value);
    WDT_TRACE(ZELKW_053_K, kOp, "LogName", m_szLogName);
    WDT_TRACE(ZELKW_052_K, kOp, "ErrorWatching", m_bErrorWatching ? 1 : 0);
    WDT_TRACE(ZELKW_052_K, kOp, "TimeoutAction", m_nTimeoutAction);

    bool actionValid = false;
    for (const ActionName& action : kActions) actionValid |= m_nTimeoutAction == action.code;
    const bool valid = actionValid && Within(m_nTimeoutInterval, 60, 3600) &&
                       Within(m_nIntervalCount, 2, 10) && Within(m_nShorteningCount, 1, 5) &&
                       Within(m_nMinimumInterval, 15, 360) && Within(m_nRetryInterval, 60, 3600) &&
                       Within(m_nMaximumRetryTime, 1, 60) && Within(m_nLogLevel, -1, 1000) &&
                       Within(m_nLogSize, 1, 2047) && Within(m_nLogPages, 1, 16) &&
                       strlen(m_szLogName) <= 225;
    int result = 0;
    if (!valid) {
      WDT_TRACE(ZELKW_118_W, kOp);
      WDT_SYSLOG(ZELKW_119_W);
      m_bErrorWatching = false;
      m_nTimeoutAction = WDT_ACTION_NMI;
      m_nTimeoutInterval = 1200;
      m_nIntervalCount = 2;
      m_nShorteningCount = 2;
      m_nMinimumInterval = 30;
      m_nRetryInterval = 1800;
      m_nMaximumRetryTime = 15;
      m_nLogLevel = 30;
      m_nLogSize = 8;
      m_nLogPages = 10;
      snprintf(m_szLogName, sizeof m_szLogName, "%s", "qvsmwdt");
      result = -1;
    }
    if (m_nTimeoutInterval / m_nIntervalCount < m_nMinimumInterval) {
      m_nTimeoutInterval = m_nIntervalCount * m_nMinimumInterval;
      WDT_TRACE(ZELKW_068_K, kOp, "TimeoutInterval", m_nTimeoutInterval);
    }
    return result;
  } catch (...) {
    WDT_TRACE(ZELKW_015_E, "WDT_LogXMLvalues");
    return -1;
  }
}

int CWDTSettings::WDT_GetWatchtimeout() const { return m_nTimeoutInterval; }
int CWDTSettings::WDT_GetSettingWatchInterTime() const { return m_nIntervalCount; }
int CWDTSettings::WDT_GetShortWatchTime() const { return m_nShorteningCount; }
int CWDTSettings::WDT_GetShortInterval() const { return m_nMinimumInterval; }
int CWDTSettings::WDT_GetReOprConfirmation() const { return m_nRetryInterval; }
bool CWDTSettings::WDT_GetWatchExists() const { return m_bErrorWatching; }
int CWDTSettings::WDT_GetLogSize() const { return m_nLogSize; }
int CWDTSettings::WDT_GetLogLevel() const { return m_nLogLevel; }
int CWDTSettings::WDT_GetLogPages() const { return m_nLogPages; }
int CWDTSettings::WDT_GetMaxRetryTime() const { return m_nMaximumRetryTime; }
int CWDTSettings::WDT_GetActionOperation() const { return m_nTimeoutAction; }

void CWDTSettings::WDT_GetLogFileName(char* out) const {
  snprintf(out, sizeof m_szLogName, "%s", m_szLogName);
}

void CWDTSettings::WDT_GetDefaultLogFileName(char* out) const {
  snprintf(out, sizeof m_szDefaultLogName, "%s", m_szDefaultLogName);
}

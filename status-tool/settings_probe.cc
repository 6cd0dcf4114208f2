#include "settings_probe.h"

#include <string.h>

#include <cstdint>
#include <cstdio>

#include "ved_library.h"
#include "vopcfg.h"

namespace {

struct ActionCode {
  const char* name;
  int code;
};
// As the daemon maps them onto the Set Watchdog Timer's actions byte.
const ActionCode kActions[] = {{"NoAction", 0x00},   {"HardReset", 0x01}, {"PowerDown", 0x02},
                               {"PowerCycle", 0x03}, {"NMI", 0x20},       {"SMI", 0x10}};

// Keys in the daemon's reading order; a key that fails ends the read there.
const char* const kKeys[] = {"ErrorWatching", "TimeoutAction",    "TimeoutInterval",
                             "IntervalCount", "ShorteningCount",  "MinimumInterval",
                             "RetryInterval", "MaximumRetryTime", "LogLevel",
                             "LogSize",       "LogPages",         "LogName"};

int* IntegerField(SettingsState* s, const char* key) {
  const struct {
    const char* key;
    int* field;
  } fields[] = {{"TimeoutInterval", &s->timeout_interval},
                {"IntervalCount", &s->interval_count},
                {"ShorteningCount", &s->shortening_count},
                {"MinimumInterval", &s->minimum_interval},
                {"RetryInterval", &s->retry_interval},
                {"MaximumRetryTime", &s->maximum_retry_time},
                {"LogLevel", &s->log_level},
                {"LogSize", &s->log_size},
                {"LogPages", &s->log_pages}};
  for (const auto& f : fields)
    if (strcmp(f.key, key) == 0) return f.field;
  return nullptr;
}

// Values beyond int are pinned to its ends, which every range refuses.
int ToInt(int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int>(value);
}

// One key as the daemon takes it: the data's first record, else the default.
uint32_t ReadKey(vop_config_t* config, const char* key, SettingsState* s) {
  vop_data_t* record = nullptr;
  uint32_t count = 1;
  uint32_t rc = fs_vopFuncs.DataGet(config, key, &record, &count);
  if (rc != 0 || count == 0 || record == nullptr) {
    rc = fs_vopFuncs.DataDefaultGet(config, key, &record);
    if (rc != 0) return rc;
    if (record == nullptr) return VOP_ERR_NOT_FOUND;
  }
  switch (record->type) {
    case VOP_TYPE_INTEGER:
      if (int* field = IntegerField(s, key)) *field = ToInt(record->value.integer);
      break;
    case VOP_TYPE_STRING: {
      if (strcmp(key, "LogName") == 0 && record->value.string != nullptr)
        s->log_name.assign(record->value.string, strnlen(record->value.string, 255));
      vop_data_t* fallback = nullptr;
      rc = fs_vopFuncs.DataDefaultGet(config, key, &fallback);
      if (rc != 0) return rc;
      if (fallback != nullptr && fallback->value.string != nullptr)
        s->default_log_name.assign(fallback->value.string, strnlen(fallback->value.string, 255));
      break;
    }
    case VOP_TYPE_BOOLEAN:
      if (strcmp(key, "ErrorWatching") == 0) s->error_watching = record->value.boolean != 0;
      break;
    case VOP_TYPE_ENUMERATION:
      // An enumerator the daemon does not know leaves the action as it was.
      for (const ActionCode& a : kActions) {
        if (record->value.enumeration != nullptr &&
            strcmp(record->value.enumeration, a.name) == 0) {
          s->timeout_action = a.name;
          s->timeout_action_code = a.code;
        }
      }
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace

const char* ActionName(int code) {
  for (const ActionCode& a : kActions)
    if (a.code == code) return a.name;
  return "";
}

std::string DescribeVopResult(uint32_t rc) {
  const struct {
    uint32_t kind;
    const char* text;
  } kinds[] = {{VOP_ERR_SYSCALL, "a system call failed"},
               {VOP_ERR_IN_USE, "already in use"},
               {VOP_ERR_NO_MEMORY, "out of memory"},
               {VOP_ERR_RETRY, "locked by another program; try again"},
               {VOP_ERR_INVALID, "malformed document or value"},
               {VOP_ERR_NO_ENTRY, "no such entry"},
               {VOP_ERR_READ_FAILED, "read failed"},
               {VOP_ERR_DUPLICATE, "a setting is given twice"},
               {VOP_ERR_NOT_FOUND, "not found (missing file or setting)"},
               {VOP_ERR_BAD_HANDLE, "bad handle"},
               {VOP_ERR_NOT_MEMBER, "not a member"},
               {VOP_ERR_OUT_OF_RANGE, "a value is out of range"},
               {VOP_ERR_ACCESS, "permission denied"}};
  std::string text = "error 0x";
  char hex[16];
  snprintf(hex, sizeof hex, "%08x", rc);
  text += hex;
  for (const auto& k : kinds) {
    if ((rc & VOP_ERR_KIND_MASK) == k.kind) {
      text = k.text;
      break;
    }
  }
  uint32_t detail = rc & ~VOP_ERR_KIND_MASK;
  if (detail != 0) text += std::string(": ") + strerror(static_cast<int>(detail));
  return text;
}

void ApplyDaemonRules(SettingsState* s) {
  auto within = [](int v, int low, int high) { return v >= low && v <= high; };
  const struct {
    const char* key;
    bool valid;
  } rules[] = {{"TimeoutAction", ActionName(s->timeout_action_code)[0] != '\0'},
               {"TimeoutInterval", within(s->timeout_interval, 60, 3600)},
               {"IntervalCount", within(s->interval_count, 2, 10)},
               {"ShorteningCount", within(s->shortening_count, 1, 5)},
               {"MinimumInterval", within(s->minimum_interval, 15, 360)},
               {"RetryInterval", within(s->retry_interval, 60, 3600)},
               {"MaximumRetryTime", within(s->maximum_retry_time, 1, 60)},
               {"LogLevel", within(s->log_level, -1, 1000)},
               {"LogSize", within(s->log_size, 1, 2047)},
               {"LogPages", within(s->log_pages, 1, 16)},
               {"LogName", s->log_name.size() <= 225}};
  for (const auto& r : rules) {
    if (!r.valid) {
      s->invalid_key = r.key;
      break;
    }
  }
  if (!s->invalid_key.empty()) {
    s->defaults_applied = true;
    s->error_watching = false;
    s->timeout_action = "NMI";
    s->timeout_action_code = 0x20;
    s->timeout_interval = 1200;
    s->interval_count = 2;
    s->shortening_count = 2;
    s->minimum_interval = 30;
    s->retry_interval = 1800;
    s->maximum_retry_time = 15;
    s->log_level = 30;
    s->log_size = 8;
    s->log_pages = 10;
    s->log_name = "qvsmwdt";
  }
  if (s->timeout_interval / s->interval_count < s->minimum_interval) {
    s->timeout_interval = s->interval_count * s->minimum_interval;
    s->timeout_adjusted = true;
  }
}

SettingsState ProbeSettings(const std::string& definition, const std::string& data) {
  SettingsState s;
  s.definition_path = definition;
  s.data_path = data;
  std::string why;
  if (vedLoadFunctions(&why) != 0) {
    s.problem = "cannot load the configuration library: " + why;
    return s;
  }
  vop_config_t* config = nullptr;
  uint32_t rc = fs_vopFuncs.ConfigCreate(definition.c_str(), &config);
  if (rc != 0) {
    s.problem = "cannot read the definition " + definition + ": " + DescribeVopResult(rc);
  } else if ((rc = fs_vopFuncs.ConfigRead(data.c_str(), config)) != 0) {
    s.problem = "cannot read the settings " + data + ": " + DescribeVopResult(rc);
  } else {
    for (const char* key : kKeys) {
      if ((rc = ReadKey(config, key, &s)) != 0) {
        s.problem = std::string("the setting ") + key + " has no value in " + data +
                    " and no default in " + definition + ": " + DescribeVopResult(rc);
        break;
      }
    }
  }
  if (config != nullptr) fs_vopFuncs.ConfigDestroy(config);
  vedTermFunctions();
  if (!s.problem.empty()) return s;
  s.readable = true;
  ApplyDaemonRules(&s);
  return s;
}

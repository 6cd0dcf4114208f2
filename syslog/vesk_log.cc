#include "vesk_log.h"

#include <pthread.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "message_buffer.h"
#include "vesk_syslog.h"

namespace vesk_sys {
namespace {

struct TidMode {
  int mode;
  const char* format;
};

constexpr TidMode Tid_Mode[] = {
    {4, "%08lX"}, {1, "%lX"}, {2, "%lu"}, {8, "%016lX"}, {0, nullptr},
};

// Which instance's settings the process's syslog connection currently has.
const tag_VESK2_SYSLOG* cs_lastOperatedInstance = nullptr;
bool cs_isCacheValid = false;

// openlog keeps the identity pointer it is given. Handing it the record's
// own buffer would leave the connection pointing into freed memory once the
// instance is deleted (and at a changed text once it is reopened), so the
// identity in use lives here, owned by the library.
char cs_connectedIdent[sizeof(tag_VESK2_SYSLOG::ident)];

void CopyBounded(char* dst, size_t size, const char* src) {
  std::strncpy(dst, src != nullptr ? src : "", size);
  dst[size - 1] = '\0';
}

}  // namespace

void InvalidateConnectionCache() { cs_isCacheValid = false; }

int Vesk_Log::SetMask(tag_VESK2_SYSLOG* instance, int mask) {
  if (instance == nullptr) return 1;
  int old = instance->logMask;
  InvalidateConnectionCache();
  instance->logMask = mask;
  return old;
}

int Vesk_Log::SetSrcName(tag_VESK2_SYSLOG*, const char*) { return 0; }

const char* Vesk_Log::GetTidFormat(int mode) {
  const TidMode* entry = Tid_Mode;
  while (entry->mode != 0 && entry->mode != mode) ++entry;
  return entry->format;
}

int Vesk_Log::SetTidFormat(tag_VESK2_SYSLOG* instance, int mode, const char* prefix,
                           const char* suffix) {
  if (instance == nullptr) return 1;
  if (prefix != nullptr && std::strlen(prefix) > 7) return 1;
  if (suffix != nullptr && std::strlen(suffix) > 7) return 1;
  if (mode < 0 || mode > 8 || ((0x116u >> mode) & 1u) == 0) return 1;
  const char* format = GetTidFormat(mode);
  if (format == nullptr) return 1;
  instance->tidFormat = format;
  InvalidateConnectionCache();
  CopyBounded(instance->tidPrefix, sizeof instance->tidPrefix, prefix != nullptr ? prefix : "[");
  CopyBounded(instance->tidSuffix, sizeof instance->tidSuffix, suffix != nullptr ? suffix : "] ");
  return 0;
}

int Vesk_Log::CloseLog(tag_VESK2_SYSLOG* instance) {
  if (instance == nullptr) return 1;
  InvalidateConnectionCache();
  instance->option = 3;
  instance->ident[0] = '\0';
  instance->facility = 8;
  instance->tidFormat = kDefaultTidFormat;
  instance->tidEnabled = 0;
  CopyBounded(instance->tidPrefix, sizeof instance->tidPrefix, "[");
  CopyBounded(instance->tidSuffix, sizeof instance->tidSuffix, "] ");
  return 0;
}

int Vesk_Log::OpenLog(tag_VESK2_SYSLOG* instance, const char* ident, int option, int facility) {
  if (instance == nullptr) return 1;
  instance->option = option;
  instance->facility = facility;
  InvalidateConnectionCache();
  CopyBounded(instance->ident, sizeof instance->ident, ident);
  return 0;
}

int Vesk_Log::PutToLog(tag_VESK2_SYSLOG* instance, int importance, const char* text) {
  if (instance == nullptr) return 1;
  VeskSysLog platform;
  if (instance != cs_lastOperatedInstance || !cs_isCacheValid) {
    std::memcpy(cs_connectedIdent, instance->ident, sizeof cs_connectedIdent);
    platform.openSyslog(cs_connectedIdent, instance->option, instance->facility);
    platform.setLogMask(instance->logMask);
  }
  cs_lastOperatedInstance = instance;
  cs_isCacheValid = true;
  platform.reportMsg(importance, text);
  return 0;
}

int Vesk_Log::PutToLogWithoutTid(tag_VESK2_SYSLOG* instance, int importance, const char* text1,
                                 const char* text2) {
  if (instance == nullptr) return 1;
  MessageBuffer message;
  if (message.Append(text1)) {
    bool separate = text1 != nullptr && text2 != nullptr && text2[0] != '\0';
    if (!separate || message.Append(" ")) message.Append(text2);
  }
  return PutToLog(instance, importance, message.c_str());
}

int Vesk_Log::PutToLogWithTid(tag_VESK2_SYSLOG* instance, int importance, const char* text1,
                              const char* text2) {
  if (instance == nullptr) return 1;
  char tid[32];
  std::snprintf(tid, sizeof tid, instance->tidFormat, static_cast<unsigned long>(pthread_self()));
  MessageBuffer message;
  for (const char* part :
       {text1, static_cast<const char*>(instance->tidPrefix), static_cast<const char*>(tid),
        static_cast<const char*>(instance->tidSuffix), text2}) {
    if (!message.Append(part)) break;
  }
  return PutToLog(instance, importance, message.c_str());
}

}  // namespace vesk_sys

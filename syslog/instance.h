// The syslog instance record and the registry of instances this library
// handed out.
#pragma once

#include "vesk2_syslog.h"

struct tag_VESK2_SYSLOG {
  char id[5];      // "VESK" while alive, "DEAD" once deleted
  char ident[17];  // at most 16 characters
  int option;      // openlog options
  int facility;    // openlog facility
  int logMask;     // setlogmask mask
  const char* tidFormat;
  int tidEnabled;  // ordinary puts insert the thread identifier
  char tidPrefix[8];
  char tidSuffix[8];
};

namespace vesk_sys {

void VESK2_InstanceValidSet(tag_VESK2_SYSLOG* instance);
void VESK2_InstanceValidUnSet(tag_VESK2_SYSLOG* instance);

// The instance the entry points without "Instance" in their name act on.
tag_VESK2_SYSLOG* GlobalInstance();

// A deleted record is freed, so its "DEAD" mark cannot be read safely
// afterwards; instead every entry point first asks whether the pointer is
// one this library created and has not deleted, then checks the mark.
void RegisterInstance(tag_VESK2_SYSLOG* instance);
void UnregisterInstance(tag_VESK2_SYSLOG* instance);
bool IsAlive(const tag_VESK2_SYSLOG* instance);

}  // namespace vesk_sys

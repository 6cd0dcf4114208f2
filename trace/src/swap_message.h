// Swap messages: a syslog line each time a single-process ring moves on
// from file n, built from the configured "MsgString" template.
#pragma once

namespace vesk {

bool VESK_IsEnableSwapMsg();

// Expands tmpl (%a application name, %f file name, %i file number, %% a
// percent sign; "%" + anything else gives nothing; a trailing "%" ends it)
// within 255 characters, each percent sign counting twice, and logs it at
// LOG_INFO. Returns the number of characters built.
int VESK_FormatSwapMsgString(const char* tmpl, const char* appName, long fileNo,
                             const char* fileName);

// The expansion alone, as escaped text ("%%" per percent sign) into out[256].
int ExpandSwapTemplate(char* out, const char* tmpl, const char* appName, long fileNo,
                       const char* fileName);

}  // namespace vesk

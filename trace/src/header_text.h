// Texts of a trace file's header block, taken once when a file object is
// made: host, system, start time, time zone and language.
#pragma once

#include <cstddef>

namespace vesk {

struct HeaderTexts {
  char szHostName[17];
  char szOsInfo[61];
  char szStartTime[24];
  char szTimeZone[33];
  char szLang[81];

  void Fill();
  // Replaces the start time with the current local time.
  void RefreshStartTime();
};

inline constexpr size_t kSystemLineLength = 141;
// System line and column line together never exceed this.
inline constexpr size_t kMaxHeaderBlock = 317;

// Builds the system line and the column line into out (kMaxHeaderBlock + 1
// bytes) and returns their length.
size_t BuildHeaderBlock(char* out, const HeaderTexts& texts);

}  // namespace vesk

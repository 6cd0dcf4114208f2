// The daemon's message catalogue: every message it raises, by identifier,
// with its channel, level (trace) or importance (syslog) and exact text.
#pragma once

enum WdtChannel {
  WDT_CHANNEL_TRACE = 1,   // LogTrace: filtered by LogLevel, time prefix, file/line suffix
  WDT_CHANNEL_DIRECT = 2,  // written by the logger thread itself, unbuffered
  WDT_CHANNEL_SYSLOG = 3,  // LogSysLog: importance is the syslog priority
};

// One enumerator per identifier, in catalogue order.
enum WdtMsgId {
  ZELKW_011_K,
  ZELKW_012_K,
  ZELKW_013_E,
  ZELKW_014_I,
  ZELKW_015_E,
  ZELKW_016_K,
  ZELKW_017_I,
  ZELKW_018_E,
  ZELKW_019_I,
  ZELKW_020_E,
  ZELKW_021_I,
  ZELKW_022_I,
  ZELKW_023_E,
  ZELKW_024_I,
  ZELKW_025_I,
  ZELKW_026_E,
  ZELKW_028_I,
  ZELKW_029_K,
  ZELKW_030_K,
  ZELKW_031_K,
  ZELKW_032_K,
  ZELKW_033_K,
  ZELKW_034_K,
  ZELKW_035_K,
  ZELKW_036_I,
  ZELKW_037_E,
  ZELKW_038_I,
  ZELKW_039_I,
  ZELKW_040_I,
  ZELKW_041_E,
  ZELKW_042_I,
  ZELKW_043_E,
  ZELKW_044_E,
  ZELKW_045_E,
  ZELKW_046_E,
  ZELKW_048_K,
  ZELKW_049_K,
  ZELKW_050_I,
  ZELKW_051_E,
  ZELKW_052_K,
  ZELKW_053_K,
  ZELKW_054_E,
  ZELKW_055_E,
  ZELKW_056_I,
  ZELKW_057_E,
  ZELKW_058_E,
  ZELKW_059_K,
  ZELKW_060_K,
  ZELKW_061_I,
  ZELKW_062_I,
  ZELKW_063_I,
  ZELKW_064_I,
  ZELKW_065_E,
  ZELKW_066_I,
  ZELKW_067_E,
  ZELKW_068_K,
  ZELKW_109_I,
  ZELKW_110_I,
  ZELKW_113_E,
  ZELKW_116_E,
  ZELKW_118_W,
  ZELKW_119_W,
  WDT_MSG_COUNT
};

struct WdtMessage {
  const char* id;  // "ZELKW-011-K"
  WdtChannel channel;
  int level;         // trace level 0/10/20/30, or syslog importance 3/5/6
  const char* text;  // printf format for trace messages, plain text otherwise
};

// The catalogue entry of one identifier; `id` must be below WDT_MSG_COUNT.
const WdtMessage& WDT_GetMessage(WdtMsgId id);

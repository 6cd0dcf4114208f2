// Marks an exported entry point; everything else stays hidden.
#pragma once

#define VESK_API extern "C" __attribute__((visibility("default")))

// The four commands of qvsacmd. Each returns 0 or a result code and writes
// its "ERROR:" messages to standard error; text to print goes into *out.
#pragma once

#include <cstdint>
#include <string>

#include "ved_buffer.h"

// The components in the assist directory, with their definitions' texts.
uint32_t VED_GetComponentList(VedBuffer* out);

// The definition document of a component, as stored.
uint32_t VED_GetConfigDefine(const std::string& component, VedBuffer* out);

// The data document of a component, as stored.
uint32_t VED_GetConfigData(const std::string& component, VedBuffer* out);

// Sets the items that the new data text mentions, keeps the others, replaces
// the data document (temporary file, backup, rename) and notifies the
// component.
uint32_t VED_SetConfigData(const std::string& component, const std::string& new_data);

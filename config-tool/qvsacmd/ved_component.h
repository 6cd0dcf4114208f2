// The component file of a component, read with the definition of component
// files (cnf/qvsacnsl.xml).
#pragma once

#include <cstdint>
#include <string>

#include "ved_read.h"

// Path of the definition of component files.
std::string VedComponentDefinitionPath();

// Reads the component file of a component into *config and sets
// *component_path. On failure prints "ERROR:don't read file (PATH)." naming
// the document that could not be read and returns ERR_READ_FAILED.
uint32_t VedReadComponentFile(const std::string& component, VedConfig* config,
                              std::string* component_path);

#include "ved_component.h"

#include <cstdio>

#include "result_codes.h"
#include "ved_paths.h"

std::string VedComponentDefinitionPath() {
  std::string path;
  if (VedJoinPath(VedDirPath(kVedDirCnf), "qvsacnsl.xml", &path) != 0) {
    path = VedDirPath(kVedDirCnf) + "/qvsacnsl.xml";  // too long to open; named in messages
  }
  return path;
}

uint32_t VedReadComponentFile(const std::string& component, VedConfig* config,
                              std::string* component_path) {
  const std::string nsl = VedComponentDefinitionPath();
  const uint32_t rc = vedGetConstructPathname(component, component_path);
  const int read =
      rc != 0 ? kVedReadDataFailed : vedReadConfig(nsl.c_str(), component_path->c_str(), config);
  if (read == kVedReadOk) return 0;
  std::fprintf(stderr, "ERROR:don't read file (%s).\n",
               read == kVedReadDefinitionFailed ? nsl.c_str() : component_path->c_str());
  return ERR_READ_FAILED;
}

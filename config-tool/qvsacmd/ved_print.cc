// Printing a component's definition or data document as it is stored.
#include <cstdio>

#include "util_l2.h"
#include "ved_commands.h"
#include "ved_component.h"
#include "ved_paths.h"
#include "ved_read.h"

namespace {

constexpr size_t kBlock = 1024;

uint32_t vedOutConfig(const std::string& component, const char* tag, VedBuffer* out) {
  VedLibraryScope library;
  if (library.result() != 0) return library.result();
  VedConfig config;
  std::string component_path;
  uint32_t rc = VedReadComponentFile(component, &config, &component_path);
  if (rc != 0) return rc;

  vop_data_t* record = nullptr;
  std::string path;
  rc = VedFirstRecord(config.get(), tag, &record);
  if (rc == 0 && !VedStringValue(record, &path)) rc = ERR_NOT_FOUND;
  if (rc != 0) {
    std::fprintf(stderr, "ERROR:not found XML tag <%s>.\n", tag);
    return rc;
  }

  int fd = -1;
  rc = FileOpen_L2(&fd, path.c_str(), FILE_OPEN_READ, 0x644);
  if (rc != 0) {
    std::fprintf(stderr, "ERROR:don't open file (%s).\n", path.c_str());
    return rc;
  }
  char block[kBlock];
  for (;;) {
    size_t size = sizeof block;
    rc = FileRead_L2(fd, block, &size);
    if (rc != 0 || size == 0) break;
    if ((rc = out->Append(block, size)) != 0) break;
  }
  FileClose_L2(fd);
  // A document cut short by a read error must not be printed as if whole.
  if (rc != 0) {
    std::fprintf(stderr, "ERROR:don't read file (%s).\n", path.c_str());
    return rc;
  }
  return 0;
}

}  // namespace

uint32_t VED_GetConfigDefine(const std::string& component, VedBuffer* out) {
  return vedOutConfig(component, "define", out);
}

uint32_t VED_GetConfigData(const std::string& component, VedBuffer* out) {
  return vedOutConfig(component, "config", out);
}

// Component list: one <program> entry per regular file in the assist directory.
#include <dirent.h>
#include <sys/stat.h>

#include "util_l2.h"
#include "ved_commands.h"
#include "ved_component.h"
#include "ved_paths.h"
#include "ved_read.h"

namespace {

void AppendText(VedBuffer* out, const char* tag, const char* text) {
  if (text == nullptr) return;
  out->Append(std::string("    <") + tag + ">" + text + "</" + tag + ">\n");
}

// The description and dispstring from the head of the component's definition
// handle; nothing when a document cannot be read or names no definition.
void vedListDescription(const std::string& component_path, VedBuffer* out) {
  VedConfig component;
  if (vedReadConfig(VedComponentDefinitionPath().c_str(), component_path.c_str(), &component) !=
      kVedReadOk) {
    return;
  }
  vop_data_t* define = nullptr;
  std::string define_path;
  if (VedFirstRecord(component.get(), "define", &define) != 0) return;
  if (!VedStringValue(define, &define_path)) return;
  VedConfig definition;
  if (vedReadConfig(define_path.c_str(), nullptr, &definition) != kVedReadOk) return;
  AppendText(out, "description", definition.get()->description);
  AppendText(out, "dispstring", definition.get()->dispstring);
}

}  // namespace

uint32_t VED_GetComponentList(VedBuffer* out) {
  out->Append("<programs>\n");
  {
    VedLibraryScope library;
    if (library.result() != 0) return library.result();
    const std::string& assist = VedDirPath(kVedDirAssist);
    if (DIR* dir = opendir(assist.c_str())) {
      while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (assist.size() + name.size() + 2 > PATH_MAX_L2) continue;
        const std::string path = assist + "/" + name;
        struct stat st {};
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        out->Append("  <program>\n    <name>" + name + "</name>\n");
        vedListDescription(path, out);
        out->Append("  </program>\n");
      }
      closedir(dir);
    }
  }
  out->Append("</programs>\n");
  return 0;
}

// Definition documents fed to VOP_ConfigCreate, the handle's head read, then
// a data document read, every item's records and defaults looked at, and the handle written.
#include <stdint.h>
#include <string.h>

#include <string>

#include "fuzz_common.h"
#include "vopcfg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemFile def, out;
  def.Set(data, size);
  vop_config_t* c = nullptr;
  if (VOP_ConfigCreate(def.path(), &c) != 0) return 0;
  // The head's texts are whole NUL-terminated texts or NULL (ASan reads them),
  // and the flag is 0 or 1.
  for (const char* text : {c->name, c->description, c->dispstring}) {
    if (text != nullptr && strlen(text) > size) abort();
  }
  if (c->hidden > 1) abort();
  // Feed the document to itself: element names of the definition then meet
  // their own items.
  std::string text(reinterpret_cast<const char*>(data), size);
  VOP_ConfigReadFromData(text.c_str(), c);
  vop_content_t entries[32];
  uint32_t n = 32;
  if (VOP_ContentListGet(c, entries, &n) == 0) {
    for (uint32_t i = 0; i < n && i < 32; ++i) {
      if (entries[i].name == nullptr) continue;
      vop_data_t* d = nullptr;
      if (VOP_DataDefaultGet(c, entries[i].name, &d) != 0) abort();
      vop_data_t* rec = nullptr;
      if (VOP_DataDefaultCreate(c, entries[i].name, &rec) == 0) {
        VOP_DataAdd(c, rec);  // may be refused; the handle still owns it
      }
      vop_data_t* records[4];
      uint32_t count = 4;
      VOP_DataGet(c, entries[i].name, records, &count);
    }
  }
  VOP_ConfigWrite(out.path(), c);
  VOP_ConfigDestroy(c);
  return 0;
}

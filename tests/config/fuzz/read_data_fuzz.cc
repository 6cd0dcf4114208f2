// Data documents read against a fixed definition with every type and nested
// structures. A document that reads must write, read back and write again
// to the same bytes.
#include <stdint.h>
#include <string.h>

#include <string>

#include "fuzz_common.h"
#include "vopcfg.h"

namespace {

const char kDefinition[] =
    "<config_define><name>fuzz</name>"
    "<item><name>I</name><type>integer</type><number>0</number>"
    "<minimum>-1000000000000</minimum><maximum>5000000000</maximum></item>"
    "<item><name>S</name><type>string</type><number>3</number><maximum>64</maximum></item>"
    "<item><name>B</name><type>boolean</type></item>"
    "<item><name>A</name><type>ipaddr</type><number>0</number></item>"
    "<item><name>E</name><type>enumeration</type><enum><One>1</One><Two/><Three>3</Three></enum>"
    "<default>Two</default></item>"
    "<item><name>H</name><type>structure</type><number>0</number>"
    "<item><name>N</name><type>string</type><identifier>TRUE</identifier></item>"
    "<item><name>P</name><type>integer</type><identifier>TRUE</identifier></item>"
    "<item><name>O</name><type>structure</type><number>2</number>"
    "<item><name>K</name><type>string</type><number>0</number></item>"
    "<item><name>V</name><type>ipaddr</type></item></item></item>"
    "<item><name>G</name><type>structure</type><number>0</number>"
    "<item><name>X</name><type>integer</type><number>0</number></item>"
    "<item><name>Y</name><type>boolean</type></item></item>"
    "</config_define>";

vop_config_t* Create(MemFile* def) {
  vop_config_t* c = nullptr;
  if (VOP_ConfigCreate(def->path(), &c) != 0) abort();
  return c;
}

void Walk(vop_data_t* record, int depth) {
  vop_content_t entries[8];
  uint32_t n = 8;
  if (VOP_ContentListGetFromData(record, entries, &n) != 0) abort();
  if (record->type != VOP_TYPE_STRUCTURE || depth > 8) return;
  for (const char* name : {"N", "P", "O", "K", "V", "X", "Y"}) {
    vop_data_t* members[4];
    uint32_t count = 4;
    uint32_t rc = VOP_DataGetFromData(record, name, members, &count);
    if (rc != 0) continue;
    for (uint32_t i = 0; i < count && i < 4; ++i) Walk(members[i], depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemFile def;
  static bool ready = false;
  if (!ready) {
    def.Set(kDefinition, sizeof kDefinition - 1);
    ready = true;
  }
  std::string text(reinterpret_cast<const char*>(data), size);  // NUL-terminated copy
  vop_config_t* c = Create(&def);
  uint32_t rc = VOP_ConfigReadFromData(text.c_str(), c);
  if (rc == 0) {
    for (const char* name : {"I", "S", "B", "A", "E", "H", "G"}) {
      vop_data_t* records[8];
      uint32_t count = 8;
      if (VOP_DataGet(c, name, records, &count) != 0) abort();
      for (uint32_t i = 0; i < count && i < 8; ++i) Walk(records[i], 0);
    }
    MemFile first, second;
    if (VOP_ConfigWrite(first.path(), c) != 0) abort();
    std::string written = first.Get();
    vop_config_t* back = Create(&def);
    if (VOP_ConfigReadFromData(written.c_str(), back) != 0) abort();
    if (VOP_ConfigWrite(second.path(), back) != 0) abort();
    if (second.Get() != written) {
      fprintf(stderr, "written document changed on read-back:\n%s\n---\n%s\n", written.c_str(),
              second.Get().c_str());
      abort();
    }
    VOP_ConfigDestroy(back);
  }
  VOP_ConfigDestroy(c);
  return 0;
}

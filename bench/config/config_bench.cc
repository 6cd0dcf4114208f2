// Settings documents of about 2 KB and 1 MB read from memory into a handle
// and written back, next to libxml2's xmlReadMemory plus a walk of the tree.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "vopcfg.h"

namespace {

const char kDefinition[] =
    "<config_define><name>bench</name>"
    "<item><name>Interval</name><type>integer</type><minimum>1</minimum><maximum>3600</maximum></"
    "item>"
    "<item><name>Action</name><type>enumeration</type><enum><NoAction/><HardReset/><PowerDown/>"
    "<NMI/></enum></item>"
    "<item><name>Enabled</name><type>boolean</type></item>"
    "<item><name>Label</name><type>string</type><number>0</number></item>"
    "<item><name>Host</name><type>structure</type><number>0</number>"
    "<item><name>Name</name><type>string</type><identifier>TRUE</identifier></item>"
    "<item><name>Address</name><type>ipaddr</type></item>"
    "<item><name>Port</name><type>integer</type></item>"
    "<item><name>Secure</name><type>boolean</type></item>"
    "<item><name>Options</name><type>structure</type>"
    "<item><name>Timeout</name><type>integer</type></item>"
    "<item><name>Mode</name><type>string</type></item></item>"
    "</item></config_define>";

// A data document with `hosts` nested structures and as many labels.
std::string MakeDocument(int hosts) {
  std::string d =
      "<config>\n  <Interval>60</Interval>\n  <Action>NMI</Action>\n"
      "  <Enabled>TRUE</Enabled>\n";
  char buf[512];
  for (int i = 0; i < hosts; ++i) {
    snprintf(buf, sizeof buf,
             "  <Host>    <Name>host-%06d.example.net</Name>\n"
             "    <Address>10.%d.%d.%d</Address>\n    <Port>%d</Port>\n"
             "    <Secure>%s</Secure>\n"
             "    <Options>      <Timeout>%d</Timeout>\n      <Mode>retry on failure</Mode>\n"
             "    </Options>\n  </Host>\n  <Label>label number %d</Label>\n",
             i, (i >> 16) & 255, (i >> 8) & 255, i & 255, 1024 + i % 50000,
             i % 2 ? "TRUE" : "FALSE", 30 + i % 100, i);
    d += buf;
  }
  d += "</config>\n";
  return d;
}

struct Fixture {
  std::string def_path = "/tmp/twbench_def.xml";
  std::string out_path = "/tmp/twbench_out.xml";
  std::string small = MakeDocument(8);
  std::string large = MakeDocument(3800);
  Fixture() { std::ofstream(def_path) << kDefinition; }
  ~Fixture() {
    unlink(def_path.c_str());
    unlink(out_path.c_str());
  }
};

Fixture& Docs() {
  static Fixture f;
  return f;
}

const std::string& Doc(int which) { return which == 0 ? Docs().small : Docs().large; }

vop_config_t* NewHandle() {
  vop_config_t* c = nullptr;
  if (VOP_ConfigCreate(Docs().def_path.c_str(), &c) != 0) abort();
  return c;
}

void BM_VopRead(benchmark::State& state) {
  const std::string& doc = Doc(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    vop_config_t* c = NewHandle();
    state.ResumeTiming();
    if (VOP_ConfigReadFromData(doc.c_str(), c) != 0) abort();
    VOP_ConfigDestroy(c);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
  state.counters["doc_bytes"] = static_cast<double>(doc.size());
}

void BM_VopWrite(benchmark::State& state) {
  const std::string& doc = Doc(static_cast<int>(state.range(0)));
  vop_config_t* c = NewHandle();
  if (VOP_ConfigReadFromData(doc.c_str(), c) != 0) abort();
  for (auto _ : state) {
    if (VOP_ConfigWrite(Docs().out_path.c_str(), c) != 0) abort();
  }
  VOP_ConfigDestroy(c);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

// Heap bytes held per record (members included) after reading.
void BM_VopMemoryPerRecord(benchmark::State& state) {
  const std::string& doc = Doc(1);
  double per_record = 0;
  for (auto _ : state) {
    malloc_trim(0);
    size_t before = mallinfo2().uordblks;
    vop_config_t* c = NewHandle();
    size_t handle = mallinfo2().uordblks - before;
    if (VOP_ConfigReadFromData(doc.c_str(), c) != 0) abort();
    size_t after = mallinfo2().uordblks;
    // Records: 3 singles + per host (Host, Name, Address, Port, Secure,
    // Options, Timeout, Mode) + one Label.
    double records = 3 + 3800 * 9.0;
    per_record = static_cast<double>(after - before - handle) / records;
    VOP_ConfigDestroy(c);
  }
  state.counters["bytes_per_record"] = per_record;
}

size_t Walk(xmlNode* n) {
  size_t count = 0;
  for (; n != nullptr; n = n->next) {
    ++count;
    if (n->type == XML_TEXT_NODE && n->content != nullptr) benchmark::DoNotOptimize(n->content[0]);
    count += Walk(n->children);
  }
  return count;
}

void BM_Libxml2Read(benchmark::State& state) {
  const std::string& doc = Doc(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    xmlDoc* d = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "bench.xml", nullptr, 0);
    if (d == nullptr) abort();
    benchmark::DoNotOptimize(Walk(xmlDocGetRootElement(d)));
    xmlFreeDoc(d);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

void BM_Libxml2Write(benchmark::State& state) {
  const std::string& doc = Doc(static_cast<int>(state.range(0)));
  xmlDoc* d = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "bench.xml", nullptr, 0);
  for (auto _ : state) {
    if (xmlSaveFile(Docs().out_path.c_str(), d) < 0) abort();
  }
  xmlFreeDoc(d);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

}  // namespace

// Argument 0: the ~2 KB document; 1: the ~1 MB document.
BENCHMARK(BM_VopRead)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Libxml2Read)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VopWrite)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Libxml2Write)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VopMemoryPerRecord)->Iterations(3);

BENCHMARK_MAIN();

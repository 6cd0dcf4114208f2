#include "tool_fixture.h"

#include <algorithm>
#include <filesystem>

namespace tw::test {

const char kSampleDefinition[] =
    "<?xml version=\"1.0\"?>\n"
    "<config_define><name>sample</name>\n"
    "<description>Sample component</description><dispstring>Sample</dispstring>\n"
    "<item><name>Interval</name><type>integer</type><default>60</default>"
    "<minimum>1</minimum><maximum>600</maximum></item>\n"
    "<item><name>Mode</name><type>enumeration</type>"
    "<enum><Fast>fast mode</Fast><Slow>slow mode</Slow></enum><default>Slow</default></item>\n"
    "<item><name>Label</name><type>string</type><minimum>1</minimum><maximum>16</maximum>"
    "<default>none</default></item>\n"
    "<item><name>Flag</name><type>boolean</type><default>FALSE</default></item>\n"
    "<item><name>Ports</name><type>integer</type><number>0</number><default>1</default>"
    "<minimum>1</minimum><maximum>65535</maximum></item>\n"
    "<item><name>Extra</name><type>integer</type><default>7</default>"
    "<minimum>0</minimum><maximum>100</maximum></item>\n"
    "<item><name>Peer</name><type>structure</type>"
    "<item><name>Host</name><type>string</type><default>localhost</default></item>"
    "<item><name>Port</name><type>integer</type><minimum>1</minimum><maximum>65535</maximum>"
    "<default>80</default></item></item>\n"
    "</config_define>\n";

const char kSampleData[] =
    "<config>\n"
    "  <Interval>30</Interval>\n"
    "  <Mode>Fast</Mode>\n"
    "  <Label>alpha</Label>\n"
    "  <Flag>TRUE</Flag>\n"
    "  <Ports>22</Ports>\n"
    "  <Peer>    <Host>a</Host>\n"
    "    <Port>8080</Port>\n"
    "  </Peer>\n"
    "</config>\n";

void ToolTest::SetUp() {
  ASSERT_TRUE(Exists(kQvsacmd)) << kQvsacmd << " is not installed in the staged tree";
  static int serial = 0;
  work_ = "/tmp/tw-tool/" + std::to_string(++serial);
  std::filesystem::remove_all(work_);
  std::filesystem::create_directories(work_);
  cleanup_.push_back(work_);
}

void ToolTest::TearDown() {
  for (const std::string& path : cleanup_) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
}

std::string ToolTest::AddComponent(const std::string& name, const std::string& body) {
  const std::string path = std::string(kAssist) + "/" + name;
  WriteFile(path, body);
  cleanup_.push_back(path);
  return path;
}

std::string ToolTest::AddComponent(const std::string& name, const std::string& define,
                                   const std::string& config, const std::string& notice) {
  std::string body =
      "<config>\n  <define>" + define + "</define>\n  <config>" + config + "</config>\n";
  if (!notice.empty()) body += "  <notice>" + notice + "</notice>\n";
  body += "</config>\n";
  return AddComponent(name, body);
}

void ToolTest::AddSample(const std::string& name, const std::string& notice) {
  define_ = work_ + "/sample-def.xml";
  data_ = work_ + "/sample.xml";
  WriteFile(define_, kSampleDefinition);
  WriteFile(data_, kSampleData);
  AddComponent(name, define_, data_, notice);
}

std::string ToolTest::ExecuteNotice(const std::string& arguments) const {
  const std::string script = work_ + "/rec $HOME 'q'.sh";
  WriteFile(script,
            "#!/bin/sh\n"
            ": > '" +
                ArgsFile() +
                "'\n"
                "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" +
                ArgsFile() + "'; done\n",
            0755);
  std::string notice = "<action>execute</action><command>" + script + "</command>";
  if (!arguments.empty()) notice += "<arguments>" + arguments + "</arguments>";
  return notice;
}

std::vector<std::string> ProgramBlocks(const std::string& list) {
  const std::string head = "<programs>\n", tail = "</programs>\n";
  std::vector<std::string> blocks;
  if (list.compare(0, head.size(), head) != 0 || list.size() < head.size() + tail.size() ||
      list.compare(list.size() - tail.size(), tail.size(), tail) != 0) {
    ADD_FAILURE() << "expected a list framed by <programs> lines, got:\n" << list;
    return blocks;
  }
  const std::string body = list.substr(head.size(), list.size() - head.size() - tail.size());
  const std::string end = "  </program>\n";
  size_t at = 0;
  while (at < body.size()) {
    const size_t stop = body.find(end, at);
    if (stop == std::string::npos) {
      ADD_FAILURE() << "unterminated <program> block in:\n" << list;
      break;
    }
    blocks.push_back(body.substr(at, stop + end.size() - at));
    at = stop + end.size();
  }
  std::sort(blocks.begin(), blocks.end());
  return blocks;
}

std::string ProgramBlock(const std::string& name, const std::string& description,
                         const std::string& dispstring) {
  std::string block = "  <program>\n    <name>" + name + "</name>\n";
  if (!description.empty()) block += "    <description>" + description + "</description>\n";
  if (!dispstring.empty()) block += "    <dispstring>" + dispstring + "</dispstring>\n";
  return block + "  </program>\n";
}

}  // namespace tw::test

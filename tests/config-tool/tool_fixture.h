// Shared set-up of the qvsacmd tests: a sample component (definition, data
// document, component file in the installed assist directory) under the
// sandbox's private /opt and /tmp, removed again after each test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_runner.h"

namespace tw::test {

constexpr const char kToolTree[] = "/opt/quorrel/zel-px/tool";
constexpr const char kAssist[] = "/opt/quorrel/zel-px/tool/assist";
constexpr const char kNsl[] = "/opt/quorrel/zel-px/tool/cnf/qvsacnsl.xml";

// Every type, limits, an item with any number of records, a structure.
extern const char kSampleDefinition[];
// The sample data in the form the library writes it (without Extra).
extern const char kSampleData[];

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A component file in the assist directory; removed after the test.
  std::string AddComponent(const std::string& name, const std::string& body);
  // A component file naming define and config, with an optional notice body.
  std::string AddComponent(const std::string& name, const std::string& define,
                           const std::string& config, const std::string& notice = "");
  // The sample component "name": definition and data under the work folder.
  void AddSample(const std::string& name, const std::string& notice = "");
  // Anything else to remove after the test.
  void RemoveLater(const std::string& path) { cleanup_.push_back(path); }

  // A notice running a script that writes its arguments, one a line, to
  // ArgsFile(); the command path holds a space, a "$" and a quote.
  std::string ExecuteNotice(const std::string& arguments = "") const;
  std::string ArgsFile() const { return work_ + "/args.out"; }

  std::string work_;  // a fresh folder under /tmp
  std::string define_, data_;

 private:
  std::vector<std::string> cleanup_;
};

// Splits a component list into its <program> blocks, sorted (the directory
// order is not fixed). Fails the test when the frame is wrong.
std::vector<std::string> ProgramBlocks(const std::string& list);

// One block as the tool prints it.
std::string ProgramBlock(const std::string& name, const std::string& description = "",
                         const std::string& dispstring = "");

}  // namespace tw::test

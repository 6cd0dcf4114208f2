// The installed qvsacmd under its real paths: argument classification,
// listing, printing and their error messages.
#include <sys/stat.h>

#include <filesystem>

#include "tool_fixture.h"

namespace tw::test {
namespace {

const char kInvalid[] = "ERROR:option invalid.\n";

// Moves an installed file or directory aside (on the same file system) for
// the lifetime of the object.
class MovedAside {
 public:
  explicit MovedAside(const std::string& path) : path_(path), aside_(path + ".aside") {
    std::filesystem::rename(path_, aside_);
  }
  ~MovedAside() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    std::filesystem::rename(aside_, path_, ec);
  }

 private:
  std::string path_, aside_;
};

TEST_F(ToolTest, ArgumentClassification) {
  AddSample("comp");
  struct Case {
    std::vector<std::string> args;
    bool valid;  // valid: prints the data of comp
  };
  const Case cases[] = {
      {{}, false},
      {{"--bogus"}, false},
      {{"--getconfigdefine"}, false},
      {{"--getconfigdata"}, false},
      {{"--setconfigdata", "comp"}, false},
      {{"--setconfigdata"}, false},
      {{"--getcomponentlist", "comp"}, false},
      {{"--getconfigdata", "comp", "extra"}, false},
      {{"--", "--getconfigdata", "comp"}, false},
      {{"comp"}, false},
      {{"-x"}, false},
      {{"--getconfigdata", "comp"}, true},
      {{"-x", "--getconfigdata", "comp"}, true},
      {{"--getconfigdata", "-x", "comp", "-y"}, true},
      {{"--bogus", "--getconfigdata", "comp"}, true},
      {{"--getconfigdata", "--getconfigdefine", "comp"}, true},  // the first option counts
      {{"--getconfigdata", "--", "comp"}, true},
      {{"--getconfigdata", "--", "-x"}, false},  // "-x" is an operand: no such component
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += "[" + a + "] ";
    const ToolResult r = RunTool(c.args);
    if (c.valid) {
      EXPECT_EQ(0, r.status) << shown << r.err;
      EXPECT_EQ(kSampleData, r.out) << shown;
      EXPECT_EQ("", r.err) << shown;
    } else if (c.args.size() == 3 && c.args[2] == "-x") {
      EXPECT_EQ(1, r.status) << shown;
      EXPECT_EQ(std::string("ERROR:don't read file (") + kAssist + "/-x).\n", r.err) << shown;
    } else {
      EXPECT_EQ(1, r.status) << shown;
      EXPECT_EQ(kInvalid, r.err) << shown;
      EXPECT_EQ("", r.out) << shown;
    }
  }
}

TEST_F(ToolTest, FindsItsTreeFromTheNameItWasStartedBy) {
  AddSample("comp");
  struct Case {
    std::string argv0, cwd, path;
  };
  const std::string bin = std::string(kToolTree) + "/bin";
  const Case cases[] = {
      {"qvsacmd", "/", "/nonexistent:" + bin + ":/usr/bin:/bin"},
      {"./qvsacmd", bin, ""},
      {"bin/qvsacmd", kToolTree, ""},
      {"../bin/qvsacmd", std::string(kToolTree) + "/cnf", ""},
      {"qvsacmd", bin, ":/usr/bin:/bin"},  // an empty PATH element is the working directory
  };
  for (const Case& c : cases) {
    RunOptions options;
    options.argv0 = c.argv0;
    options.cwd = c.cwd;
    options.path_env = c.path;
    const ToolResult r = RunTool({"--getconfigdata", "comp"}, options);
    EXPECT_EQ(0, r.status) << c.argv0 << " in " << c.cwd << ": " << r.err;
    EXPECT_EQ(kSampleData, r.out) << c.argv0 << " in " << c.cwd;
  }
  // Started by a name that leads nowhere, it cannot find its tree.
  RunOptions lost;
  lost.argv0 = "qvsacmd";
  lost.path_env = "/usr/bin:/bin";
  const ToolResult r = RunTool({"--getcomponentlist"}, lost);
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("ERROR:don't find the installation directory of qvsacmd.\n", r.err);
  EXPECT_EQ("", r.out);
}

TEST_F(ToolTest, OperandsBeyondEightAreCountedAndRefused) {
  std::vector<std::string> args{"--getcomponentlist"};
  for (int i = 0; i < 10; ++i) args.push_back("op" + std::to_string(i));
  const ToolResult r = RunTool(args);
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(kInvalid, r.err);
}

TEST_F(ToolTest, HelpPrintsUsageOnlyWithoutACommand) {
  ToolResult r = RunTool({"--help"});
  EXPECT_EQ(0, r.status);
  EXPECT_NE(std::string::npos, r.out.find("Usage: qvsacmd --getcomponentlist")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("--setconfigdata COMPONENT DATA")) << r.out;
  EXPECT_EQ("", r.err);
  // With a command, --help is one more ignored option.
  r = RunTool({"--help", "--getcomponentlist"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(0u, r.out.rfind("<programs>\n", 0)) << r.out;
  r = RunTool({"--", "--help"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(kInvalid, r.err);
}

TEST_F(ToolTest, ComponentListShowsRegularFilesWithTheirTexts) {
  AddSample("comp");
  // A definition without texts, an unreadable component file, a component
  // file without "define", a symbolic link to a file, a dangling link and a
  // subdirectory.
  const std::string bare = work_ + "/bare-def.xml";
  WriteFile(bare,
            "<config_define><name>bare</name><item><name>A</name><type>integer</type>"
            "</item></config_define>\n");
  AddComponent("bare", bare, work_ + "/bare.xml");
  AddComponent("garbage", "this is not a document");
  AddComponent("nodefine", "<config><config>/nonexistent.xml</config></config>\n");
  AddComponent("missingdef", work_ + "/nonexistent-def.xml", work_ + "/x.xml");
  const std::string link = std::string(kAssist) + "/linked";
  std::filesystem::create_symlink(std::string(kAssist) + "/comp", link);
  RemoveLater(link);
  const std::string dangling = std::string(kAssist) + "/dangling";
  std::filesystem::create_symlink(work_ + "/nowhere", dangling);
  RemoveLater(dangling);
  const std::string subdir = std::string(kAssist) + "/subdir";
  std::filesystem::create_directories(subdir + "/inner");
  WriteFile(subdir + "/inner/file", "x");
  RemoveLater(subdir);

  const ToolResult r = RunTool({"--getcomponentlist"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err);
  std::vector<std::string> want = {
      ProgramBlock("comp", "Sample component", "Sample"),
      ProgramBlock("linked", "Sample component", "Sample"),
      ProgramBlock("bare"),
      ProgramBlock("garbage"),
      ProgramBlock("nodefine"),
      ProgramBlock("missingdef"),
      ProgramBlock("tickwardd", "BMC watchdog timer daemon", "Watchdog timer"),
  };
  std::sort(want.begin(), want.end());
  EXPECT_EQ(want, ProgramBlocks(r.out)) << r.out;
}

TEST_F(ToolTest, ComponentListOfAnEmptyOrMissingAssistDirectory) {
  MovedAside moved(kAssist);
  ToolResult r = RunTool({"--getcomponentlist"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("<programs>\n</programs>\n", r.out);
  std::filesystem::create_directories(kAssist);
  r = RunTool({"--getcomponentlist"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("<programs>\n</programs>\n", r.out);
}

TEST_F(ToolTest, PrintsDefinitionAndDataAsStored) {
  AddSample("comp");
  ToolResult r = RunTool({"--getconfigdefine", "comp"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(kSampleDefinition, r.out);
  r = RunTool({"--getconfigdata", "comp"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(kSampleData, r.out);

  // Printed texts are data: "%s" and a text over several read blocks come
  // out unchanged; an empty file prints nothing.
  std::string big = "<config>\n";
  while (big.size() < 5000) big += "  <Label>%s%n%d</Label>\n";
  big += "</config>\n";
  WriteFile(data_, big);
  r = RunTool({"--getconfigdata", "comp"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(big, r.out);
  WriteFile(data_, "");
  r = RunTool({"--getconfigdata", "comp"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.out);
}

TEST_F(ToolTest, PrintErrors) {
  AddSample("comp");
  // No component file.
  ToolResult r = RunTool({"--getconfigdata", "nosuch"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(std::string("ERROR:don't read file (") + kAssist + "/nosuch).\n", r.err);
  EXPECT_EQ("", r.out);
  // A component name may not leave the assist directory.
  r = RunTool({"--getconfigdata", "../cnf/qvsacnsl.xml"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(std::string("ERROR:don't read file (") + kAssist + "/../cnf/qvsacnsl.xml).\n", r.err);
  // No "config" record, no "define" record.
  AddComponent("onlydefine", "<config><define>" + define_ + "</define></config>\n");
  r = RunTool({"--getconfigdata", "onlydefine"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("ERROR:not found XML tag <config>.\n", r.err);
  AddComponent("onlyconfig", "<config><config>" + data_ + "</config></config>\n");
  r = RunTool({"--getconfigdefine", "onlyconfig"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("ERROR:not found XML tag <define>.\n", r.err);
  // The named document is missing.
  AddComponent("gone", define_, work_ + "/gone.xml");
  r = RunTool({"--getconfigdata", "gone"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("ERROR:don't open file (" + work_ + "/gone.xml).\n", r.err);
  // A document that opens but cannot be read is not printed in part.
  AddComponent("dir", define_, work_);
  r = RunTool({"--getconfigdata", "dir"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("ERROR:don't read file (" + work_ + ").\n", r.err);
  EXPECT_EQ("", r.out);
}

TEST_F(ToolTest, MissingComponentDefinitionOrLibrary) {
  AddSample("comp");
  ToolResult r;
  {
    MovedAside moved(kNsl);
    r = RunTool({"--getconfigdata", "comp"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(std::string("ERROR:don't read file (") + kNsl + ").\n", r.err);
    r = RunTool({"--setconfigdata", "comp", "<config><Interval>5</Interval></config>"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(std::string("ERROR:don't read file (") + kNsl + ").\n", r.err);
  }

  const std::string lib = std::string(kToolTree) + "/lib/libvopcfg.so";
  {
    MovedAside moved(lib);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--getcomponentlist"},
          std::vector<std::string>{"--getconfigdata", "comp"},
          std::vector<std::string>{"--setconfigdata", "comp", "<config></config>"}}) {
      r = RunTool(args);
      EXPECT_EQ(1, r.status) << args[0];
      EXPECT_EQ("", r.out) << args[0];
      EXPECT_EQ(0u, r.err.rfind("ERROR:don't load library (", 0)) << r.err;
      EXPECT_NE(std::string::npos, r.err.find(lib)) << r.err;
    }
    // A library without the entry points is refused the same way.
    std::filesystem::copy_file("/lib/x86_64-linux-gnu/libm.so.6", lib,
                               std::filesystem::copy_options::overwrite_existing);
    r = RunTool({"--getconfigdata", "comp"});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("VOP_ConfigCreate")) << r.err;
  }
  EXPECT_EQ(0, RunTool({"--getconfigdata", "comp"}).status);
}

}  // namespace
}  // namespace tw::test

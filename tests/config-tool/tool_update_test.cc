// The installed qvsacmd replacing a component's data: what is applied, what
// is refused, the temporary and backup files, failures and notification.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tool_fixture.h"

namespace tw::test {
namespace {

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(std::string::npos, at) << "no \"" << from << "\" in:\n" << text;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

class UpdateTest : public ToolTest {
 protected:
  ToolResult Set(const std::string& text, const RunOptions& options = {}) {
    return RunTool({"--setconfigdata", "comp", text}, options);
  }
  std::string Tmp() const { return work_ + "/sample.tmp"; }
  std::string Old() const { return work_ + "/sample.old"; }
  // After a successful update: the document, its backup, no temporary file.
  void ExpectReplaced(const std::string& now, const std::string& before) {
    EXPECT_EQ(now, ReadFile(data_));
    ASSERT_TRUE(Exists(Old())) << "no backup file " << Old();
    EXPECT_EQ(before, ReadFile(Old()));
    EXPECT_FALSE(Exists(Tmp())) << "temporary file left: " << Tmp();
  }
};

TEST_F(UpdateTest, ChangesOneItemAndKeepsTheOthers) {
  AddSample("comp");
  const ToolResult r = Set("<config><Interval>45</Interval></config>");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err);
  EXPECT_EQ("", r.out);
  ExpectReplaced(Replace(kSampleData, "<Interval>30<", "<Interval>45<"), kSampleData);

  // A second update keeps the first one's result as its backup.
  const std::string first = ReadFile(data_);
  ASSERT_EQ(0,
            Set("<config><Mode>Slow</Mode><Flag>false</Flag><Label>b c</Label></config>").status);
  std::string want = Replace(first, "<Mode>Fast<", "<Mode>Slow<");
  want = Replace(want, "<Flag>TRUE<", "<Flag>FALSE<");
  ExpectReplaced(Replace(want, "<Label>alpha<", "<Label>b c<"), first);
}

TEST_F(UpdateTest, ItemsGivenTwiceOrUndefinedAreNotApplied) {
  AddSample("comp");
  // Ports takes any number of records: two of them in the new text is not
  // one value to set, so Ports keeps 22; the undefined item is skipped.
  ToolResult r =
      Set("<config><Ports>80</Ports><Ports>443</Ports><Bogus>1</Bogus>"
          "<Interval>50</Interval></config>");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err);
  ExpectReplaced(Replace(kSampleData, "<Interval>30<", "<Interval>50<"), kSampleData);
  // Interval takes one record: only the first of two elements is read.
  r = Set("<config><Interval>51</Interval><Interval>52</Interval></config>");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(Replace(kSampleData, "<Interval>30<", "<Interval>51<"), ReadFile(data_));
}

TEST_F(UpdateTest, MissingItemIsCreatedFromItsDefaultThenSet) {
  AddSample("comp");
  ToolResult r = Set("<config><Extra>9</Extra></config>");
  EXPECT_EQ(0, r.status) << r.err;
  ExpectReplaced(Replace(kSampleData, "</config>", "  <Extra>9</Extra>\n</config>"), kSampleData);
  // Set to its default value: still written out.
  WriteFile(data_, kSampleData);
  r = Set("<config><Extra>7</Extra></config>");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(Replace(kSampleData, "</config>", "  <Extra>7</Extra>\n</config>"), ReadFile(data_));
}

TEST_F(UpdateTest, StructureIsReplacedAsAWhole) {
  AddSample("comp");
  const ToolResult r = Set("<config><Peer><Port>443</Port><Host>b</Host></Peer></config>");
  EXPECT_EQ(0, r.status) << r.err;
  ExpectReplaced(Replace(kSampleData, "<Host>a</Host>\n    <Port>8080</Port>",
                         "<Port>443</Port>\n    <Host>b</Host>"),
                 kSampleData);
}

TEST_F(UpdateTest, RefusedValueFailsTheWholeUpdate) {
  AddSample("comp", ExecuteNotice());
  const std::string refused = " (refused by " + work_ + "/sample-def.xml).\n";
  struct Case {
    std::string text, err;
  };
  const Case cases[] = {
      {"<config><Mode>Slow</Mode><Interval>601</Interval></config>",
       "ERROR:invalid value of <Interval>" + refused},
      {"<config><Interval>0x10</Interval><Mode>Medium</Mode></config>",
       "ERROR:invalid value of <Mode>" + refused},
      {"<config><Label>seventeen letters</Label><Flag>yes</Flag></config>",
       "ERROR:invalid value of <Label>" + refused + "ERROR:invalid value of <Flag>" + refused},
      {"<config><Interval></Interval></config>", "ERROR:invalid value of <Interval>" + refused},
      {"<config><Peer><Host>b</Host><Port>70000</Port></Peer></config>",
       "ERROR:invalid value of <Peer><Port>" + refused},
  };
  for (const Case& c : cases) {
    const ToolResult r = Set(c.text);
    EXPECT_EQ(1, r.status) << c.text;
    EXPECT_EQ(c.err, r.err) << c.text;
    EXPECT_EQ(kSampleData, ReadFile(data_)) << c.text;
    EXPECT_FALSE(Exists(Old())) << c.text;
    EXPECT_FALSE(Exists(Tmp())) << c.text;
    EXPECT_FALSE(Exists(ArgsFile())) << "notified after " << c.text;
  }
}

TEST_F(UpdateTest, DataTextWithoutAnElementIsRefused) {
  AddSample("comp", ExecuteNotice());
  for (const char* text : {"", "Interval=45", "  \n", "<!-- <Interval>45</Interval> -->",
                           "<?xml version='1.0'?>", "<config"}) {
    const ToolResult r = Set(text);
    EXPECT_EQ(1, r.status) << "[" << text << "]";
    EXPECT_EQ("ERROR:don't read data.\n", r.err) << "[" << text << "]";
    EXPECT_EQ(kSampleData, ReadFile(data_));
    EXPECT_FALSE(Exists(Old())) << "[" << text << "]";
    EXPECT_FALSE(Exists(ArgsFile())) << "notified after [" << text << "]";
  }
}

TEST_F(UpdateTest, ComponentFileErrors) {
  AddSample("comp");
  ToolResult r = Set("<config/>");
  EXPECT_EQ(0, r.status) << r.err;  // nothing to change: rewritten as it was
  ExpectReplaced(kSampleData, kSampleData);

  r = RunTool({"--setconfigdata", "nosuch", "<config/>"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(std::string("ERROR:don't read file (") + kAssist + "/nosuch).\n", r.err);

  const std::string nodefine =
      AddComponent("nodefine", "<config><config>" + data_ + "</config></config>\n");
  r = RunTool({"--setconfigdata", "nodefine", "<config/>"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("ERROR:don't read \"define\" tag in " + nodefine + ".\n", r.err);

  const std::string noconfig =
      AddComponent("noconfig", "<config><define>" + define_ + "</define></config>\n");
  r = RunTool({"--setconfigdata", "noconfig", "<config/>"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("ERROR:don't read \"config\" tag in " + noconfig + ".\n", r.err);

  AddComponent("nodef", work_ + "/none-def.xml", data_);
  r = RunTool({"--setconfigdata", "nodef", "<config/>"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("ERROR:don't read file (" + work_ + "/none-def.xml).\n", r.err);

  AddComponent("nodata", define_, work_ + "/none.xml");
  r = RunTool({"--setconfigdata", "nodata", "<config/>"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("ERROR:don't read file (" + work_ + "/none.xml).\n", r.err);
  EXPECT_FALSE(Exists(work_ + "/none.xml"));
}

TEST_F(UpdateTest, FailedWritesLeaveTheDocumentAndNotifyNobody) {
  AddSample("comp", ExecuteNotice());
  const std::string text = "<config><Interval>45</Interval></config>";

  // The temporary file cannot be written.
  std::filesystem::create_directory(Tmp());
  ToolResult r = Set(text);
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("ERROR:don't write file (" + Tmp() + ").\n", r.err);
  EXPECT_EQ(kSampleData, ReadFile(data_));
  EXPECT_FALSE(Exists(Old()));
  EXPECT_FALSE(Exists(ArgsFile())) << "notified after a failed update";
  std::filesystem::remove(Tmp());

  // The backup cannot be written: the new content stays in the temporary file.
  std::filesystem::create_directory(Old());
  r = Set(text);
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("ERROR:don't write file (" + Old() + ").\n", r.err);
  EXPECT_EQ(kSampleData, ReadFile(data_));
  EXPECT_EQ(Replace(kSampleData, "<Interval>30<", "<Interval>45<"), ReadFile(Tmp()));
  EXPECT_FALSE(Exists(ArgsFile())) << "notified after a failed update";
  std::filesystem::remove(Old());
  std::filesystem::remove(Tmp());

  // The rename fails: the document is a mount point.
  const std::string source = work_ + "/mounted.xml";
  WriteFile(source, kSampleData);
  ASSERT_EQ(0, mount(source.c_str(), data_.c_str(), nullptr, MS_BIND, nullptr));
  r = Set(text);
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("ERROR:don't copy file (" + Tmp() + " to " + data_ + ").\n", r.err);
  EXPECT_EQ(kSampleData, ReadFile(data_));
  EXPECT_EQ(kSampleData, ReadFile(Old()));
  EXPECT_FALSE(Exists(ArgsFile())) << "notified after a failed update";
  ASSERT_EQ(0, umount(data_.c_str()));

  // Data documents whose temporary or backup name would be the document itself.
  for (const char* name : {"/x", "/sample.tmp", "/sample.old"}) {
    WriteFile(work_ + name, kSampleData);
    AddComponent("odd", define_, work_ + name);
    r = RunTool({"--setconfigdata", "odd", text});
    EXPECT_EQ(1, r.status) << name;
    EXPECT_EQ("ERROR:don't write file (" + work_ + name + ").\n", r.err);
    EXPECT_EQ(kSampleData, ReadFile(work_ + name));
  }
}

TEST_F(UpdateTest, UpdatesOfOneDirectoryAreSerialised) {
  AddSample("comp");
  const std::string ready = work_ + "/locked";
  const pid_t holder = fork();
  if (holder == 0) {
    // Holds the directory lock, then checks that the tool waited for it.
    const int fd = open(work_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0 || flock(fd, LOCK_EX) != 0) _exit(2);
    close(open(ready.c_str(), O_WRONLY | O_CREAT, 0644));
    usleep(400 * 1000);
    const bool untouched = ReadFile(data_) == kSampleData && !Exists(Tmp()) && !Exists(Old());
    _exit(untouched ? 0 : 1);
  }
  ASSERT_GT(holder, 0);
  while (!Exists(ready)) usleep(1000);
  const ToolResult r = Set("<config><Interval>45</Interval></config>");
  int status = -1;
  ASSERT_EQ(holder, waitpid(holder, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the update did not wait for the directory lock (holder status " << status << ")";
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(Replace(kSampleData, "<Interval>30<", "<Interval>45<"), ReadFile(data_));
}

TEST_F(UpdateTest, NoticeMayRunTheToolAgain) {
  // The notice runs after the directory lock is released, or this would hang.
  const std::string script = work_ + "/again.sh";
  AddSample("comp", "<action>execute</action><command>" + script + "</command>");
  WriteFile(script,
            std::string("#!/bin/sh\nexec ") + kQvsacmd +
                " --setconfigdata inner '<config><Extra>3</Extra></config>'\n",
            0755);
  AddComponent("inner", define_, data_);
  const ToolResult r = Set("<config><Interval>45</Interval></config>");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(Replace(Replace(kSampleData, "<Interval>30<", "<Interval>45<"), "</config>",
                    "  <Extra>3</Extra>\n</config>"),
            ReadFile(data_));
}

TEST_F(UpdateTest, ExecuteNoticeRunsTheCommandWithItsArguments) {
  AddSample("comp", ExecuteNotice("one \"two words\" 'three' $((1+2))"));
  const ToolResult r = Set("<config><Interval>45</Interval></config>");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err);
  ASSERT_TRUE(Exists(ArgsFile())) << "the execute notice did not run";
  EXPECT_EQ("one\ntwo words\nthree\n3\n", ReadFile(ArgsFile()));
}

TEST_F(UpdateTest, ExecuteNoticeWithoutArguments) {
  AddSample("comp", ExecuteNotice());
  const ToolResult r = Set("<config><Interval>45</Interval></config>");
  EXPECT_EQ(0, r.status) << r.err;
  ASSERT_TRUE(Exists(ArgsFile())) << "the execute notice did not run";
  EXPECT_EQ("", ReadFile(ArgsFile()));
}

TEST_F(UpdateTest, ExecuteNoticeThatCannotRunIsReported) {
  AddSample("comp", "<action>execute</action><command>" + work_ + "/missing</command>");
  const ToolResult r = Set("<config><Interval>45</Interval></config>");
  EXPECT_EQ(0, r.status) << "the update itself succeeded";
  EXPECT_EQ(0u, r.err.rfind("ERROR:don't run notice (" + work_ + "/missing: ", 0)) << r.err;
  EXPECT_EQ(Replace(kSampleData, "<Interval>30<", "<Interval>45<"), ReadFile(data_));
}

TEST_F(UpdateTest, SignalNoticeReachesTheNamedProcess) {
  struct Case {
    std::string keyword;
    int signal;
  };
  const Case cases[] = {
      {"SIGHUP", SIGHUP},   {"SIGINT", SIGINT},   {"SIGUSR1", SIGUSR1},
      {"SIGUST2", SIGUSR2}, {"SIGUSR2", SIGUSR2},
  };
  for (const Case& c : cases) {
    const std::string name = "tw-" + c.keyword;
    AddSample("comp", "<action>signal</action><procname>" + name + "</procname><signal>" +
                          c.keyword + "</signal>");
    RunOptions options;
    options.standin = name;
    const ToolResult r = Set("<config><Interval>45</Interval></config>", options);
    EXPECT_EQ(0, r.status) << c.keyword << ": " << r.err;
    EXPECT_EQ("", r.err) << c.keyword;
    EXPECT_EQ(c.signal, r.signal) << c.keyword << ": expected this signal at " << name;
  }
}

TEST_F(UpdateTest, NoSignalWithoutAValidNotice) {
  const std::string notices[] = {
      "<action>signal</action><procname>tw-quiet</procname><signal>SIGTERM</signal>",
      "<action>signal</action><procname>tw-quiet</procname>",
      "<action>noaction</action><procname>tw-quiet</procname><signal>SIGHUP</signal>",
      "<procname>tw-quiet</procname><signal>SIGHUP</signal>",
      "",
  };
  for (const std::string& notice : notices) {
    AddSample("comp", notice);
    RunOptions options;
    options.standin = "tw-quiet";
    const ToolResult r = Set("<config><Interval>45</Interval></config>", options);
    EXPECT_EQ(0, r.status) << notice << ": " << r.err;
    EXPECT_EQ("", r.err) << notice;
    EXPECT_EQ(0, r.signal) << "a signal was sent for the notice " << notice;
    EXPECT_EQ(Replace(kSampleData, "<Interval>30<", "<Interval>45<"), ReadFile(data_));
  }
}

TEST_F(UpdateTest, ProcessNameReachesKillallAsOneArgument) {
  // Quoted the way a shell command line would quote it, this name would run
  // ":>m" and ":>n" in the tool's working directory.
  const std::string name = "x\";:>m;\"$(:>n)";
  AddSample("comp",
            "<action>signal</action><procname>" + name + "</procname><signal>SIGUSR1</signal>");
  RunOptions options;
  options.standin = name;
  options.cwd = work_;
  ToolResult r = Set("<config><Interval>45</Interval></config>", options);
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(SIGUSR1, r.signal) << "the process named " << name << " got no SIGUSR1";
  EXPECT_FALSE(Exists(work_ + "/m")) << "a shell ran part of the process name";
  EXPECT_FALSE(Exists(work_ + "/n")) << "a shell ran part of the process name";

  // A name that looks like an option is still a name.
  AddSample("comp", "<action>signal</action><procname>-e</procname><signal>SIGHUP</signal>");
  options.standin = "-e";
  r = Set("<config><Interval>46</Interval></config>", options);
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(SIGHUP, r.signal);
}

TEST_F(UpdateTest, ExecuteNoticeCommandIsOneWord) {
  // The command is quoted as a whole; only the arguments are a command line.
  const std::string script = work_ + "/a;:>m $(:>n) `:>o`.sh";
  WriteFile(script, "#!/bin/sh\necho ran > '" + work_ + "/ran'\n", 0755);
  AddSample("comp",
            "<action>execute</action><command>" + script + "</command><arguments>x</arguments>");
  RunOptions options;
  options.cwd = work_;
  const ToolResult r = Set("<config><Interval>45</Interval></config>", options);
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Exists(work_ + "/ran")) << "the command did not run: " << r.err;
  for (const char* f : {"/m", "/n", "/o"}) {
    EXPECT_FALSE(Exists(work_ + f)) << "a shell ran part of the command: " << f;
  }
}

}  // namespace
}  // namespace tw::test

// tickward-trace-follow as an operator runs it: the installed program, the
// installed reader library, a live ring written by other processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "trace-reader/records.h"
#include "trace-reader/ring_writer.h"
#include "trace-reader/test_util.h"
#include "trace-reader/writer_procs.h"
#include "vesk2_trace_format.h"

namespace tw::test {
namespace {

const std::string kProgram = TW_FOLLOW_PROGRAM;

struct Proc {
  pid_t pid = -1;
  std::string out, err;  // files holding its standard output and error
};

Proc Start(const std::vector<std::string>& args, const std::string& tag) {
  Proc p;
  p.out = "/tmp/follow-" + tag + ".out";
  p.err = "/tmp/follow-" + tag + ".err";
  p.pid = fork();
  if (p.pid == 0) {
    const int o = open(p.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(p.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(o, 1);
    dup2(e, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(kProgram.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(kProgram.c_str(), argv.data());
    _exit(127);
  }
  return p;
}

int Wait(const Proc& p) {
  int status = 0;
  if (waitpid(p.pid, &status, 0) != p.pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int RunProgram(const std::vector<std::string>& args, const std::string& tag, Proc* p) {
  *p = Start(args, tag);
  return Wait(*p);
}

TEST(FollowProgram, HelpUsageAndFailuresSayWhatHappened) {
  Proc p;
  EXPECT_EQ(0, RunProgram({"--help"}, "help", &p));
  EXPECT_EQ(0u, ReadFile(p.out).rfind("Usage: tickward-trace-follow", 0)) << ReadFile(p.out);
  EXPECT_NE(std::string::npos, ReadFile(p.out).find("--follow"));

  EXPECT_EQ(1, RunProgram({}, "noargs", &p));
  EXPECT_NE(std::string::npos, ReadFile(p.err).find("path prefix is missing")) << ReadFile(p.err);
  EXPECT_EQ(1, RunProgram({"--bogus", "/tmp/x"}, "bogus", &p));
  EXPECT_NE(std::string::npos, ReadFile(p.err).find("unknown option --bogus")) << ReadFile(p.err);
  EXPECT_EQ(1, RunProgram({"-i", "0", "/tmp/x"}, "interval", &p));

  EXPECT_EQ(2, RunProgram({"/tmp/none/app"}, "missing", &p));
  EXPECT_NE(std::string::npos,
            ReadFile(p.err).find("/tmp/none/mmap/app.mm: no such management file"))
      << ReadFile(p.err);

  EXPECT_EQ(4, RunProgram({"--library=/tmp/nolib.so", "/tmp/x"}, "nolib", &p));
  EXPECT_NE(std::string::npos, ReadFile(p.err).find("cannot load the reader library /tmp/nolib.so"))
      << ReadFile(p.err);

  EXPECT_EQ(0, RunProgram({"--version"}, "version", &p));
  EXPECT_NE(std::string::npos, ReadFile(p.out).find("$Version: ")) << ReadFile(p.out);
}

TEST(FollowProgram, DumpOfAWrappedRingIsItsDataOldestFirst) {
  RingShape shape;
  shape.prefix = "/tmp/dump/app";
  shape.fileSize = 4096;
  shape.fileNum = 4;
  WriterPlan plan;
  plan.writers = 2;
  plan.records = 200;
  ASSERT_TRUE(WaitWriters(StartWriters(shape, plan)));

  Proc p;
  ASSERT_EQ(0, RunProgram({shape.prefix}, "dump", &p)) << ReadFile(p.err);
  const std::string out = ReadFile(p.out);
  EXPECT_EQ(RingDataOldestFirst(shape.prefix), out);
  const ParseResult parsed = ParseRecords(out);
  EXPECT_TRUE(parsed.bad.empty()) << parsed.bad.size() << " bad lines";
  const auto by = ByWriter(parsed.records);
  ASSERT_FALSE(by.empty()) << "no records in the dump";
  // What remains of each writer is a run of its newest records.
  for (const auto& [w, seqs] : by) {
    EXPECT_EQ(plan.records - 1, seqs.back()) << "writer " << w;
    for (size_t i = 1; i < seqs.size(); ++i) ASSERT_EQ(seqs[i - 1] + 1, seqs[i]) << "writer " << w;
  }
  EXPECT_LT(parsed.records.size(), static_cast<size_t>(plan.writers * plan.records))
      << "the ring should have wrapped";
  EXPECT_EQ(plan.records - 1, parsed.records.back().seq) << "the newest record comes last";
}

TEST(FollowProgram, FollowsALiveRingWrittenByOtherProcesses) {
  RingShape shape;
  shape.prefix = "/tmp/live/app";
  shape.fileSize = 64 * 1024;
  shape.fileNum = 16;  // 1 MiB: every record stays in the ring
  // The follower starts first and waits for the ring to appear.
  Proc f = Start({"-f", "-i", "2", shape.prefix}, "live");
  usleep(50 * 1000);
  WriterPlan plan;
  plan.writers = 3;
  plan.records = 1000;
  plan.pauseUs = 100;
  ASSERT_TRUE(WaitWriters(StartWriters(shape, plan)));

  std::vector<std::string> last;
  for (int w = 1; w <= plan.writers; ++w) last.push_back(MakeRecord(w, plan.records - 1));
  std::string out;
  for (int waited = 0; waited < 60000; waited += 20) {
    out = ReadFile(f.out);
    bool all = true;
    for (const auto& l : last) all = all && out.find(l) != std::string::npos;
    if (all) break;
    usleep(20 * 1000);
  }
  kill(f.pid, SIGTERM);
  EXPECT_EQ(0, Wait(f)) << "SIGTERM should end the follower cleanly; stderr: " << ReadFile(f.err);
  out = ReadFile(f.out);

  const ParseResult parsed = ParseRecords(out);
  EXPECT_TRUE(parsed.bad.empty()) << parsed.bad.size() << " bad lines, first: " << parsed.bad[0];
  EXPECT_EQ("", parsed.rest);
  const auto by = ByWriter(parsed.records);
  ASSERT_EQ(3u, by.size());
  for (const auto& [w, seqs] : by) {
    ASSERT_EQ(static_cast<size_t>(plan.records), seqs.size()) << "writer " << w;
    for (int i = 0; i < plan.records; ++i) ASSERT_EQ(i, seqs[i]) << "writer " << w;
  }
  EXPECT_EQ(RingDataOldestFirst(shape.prefix), out)
      << "the follower's output differs from the ring's data";
}

}  // namespace
}  // namespace tw::test

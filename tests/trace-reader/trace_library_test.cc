// The reader and the follower program against rings written by the trace
// library itself (the installed single-threaded 64-bit build), from writer
// processes of its own: the two sides agree on the format byte for byte.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "trace-reader/records.h"
#include "trace-reader/ring_writer.h"
#include "trace-reader/test_util.h"
#include "vesk2_trace.h"
#include "vesk2_trace_reader.h"

namespace tw::test {
namespace {

const char kTraceLib[] = TW_TRACE_LIB;
const char kFollow[] = TW_FOLLOW_PROGRAM;

// One writer process: loads the trace library as its users do and writes
// `records` numbered records into the shared ring.
pid_t StartLibraryWriter(const std::string& prefix, int id, int records, uint32_t option,
                         long fileSize, long fileNum) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  void* lib = dlopen(kTraceLib, RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    fprintf(stderr, "writer %d: %s\n", id, dlerror());
    _exit(2);
  }
  auto create =
      reinterpret_cast<decltype(&ZELKWSYM_CreateInstanceM)>(dlsym(lib, "ZELKWSYM_CreateInstanceM"));
  auto put = reinterpret_cast<decltype(&ZELKWSYM_PutInstanceWithId)>(
      dlsym(lib, "ZELKWSYM_PutInstanceWithId"));
  auto del =
      reinterpret_cast<decltype(&ZELKWSYM_DeleteInstance)>(dlsym(lib, "ZELKWSYM_DeleteInstance"));
  auto err =
      reinterpret_cast<decltype(&ZELKWSYM_GetLastError)>(dlsym(lib, "ZELKWSYM_GetLastError"));
  if (!create || !put || !del || !err) _exit(3);
  tagVESK_LOGFILE_SPEC shape{fileSize, fileNum, prefix.c_str()};
  VESKTraceObject* h = nullptr;
  const std::string app = "writer" + std::to_string(id);
  const int rc = create(&h, &shape, app.c_str(), option);
  if (rc != 0 && rc != 3) {
    fprintf(stderr, "writer %d: CreateInstanceM gave %d, error 0x%08X\n", id, rc, err(nullptr));
    _exit(4);
  }
  for (int n = 0; n < records; ++n) {
    if (put(h, 0, "TEST-RECORD", MakeRecordText(id, n).c_str()) != 0) {
      fprintf(stderr, "writer %d record %d: error 0x%08X\n", id, n, err(nullptr));
      _exit(5);
    }
  }
  _exit(del(h) == 0 ? 0 : 6);
}

bool WaitAll(const std::vector<pid_t>& pids) {
  bool ok = true;
  for (pid_t p : pids) {
    int status = 0;
    ok = ok && waitpid(p, &status, 0) == p && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return ok;
}

TEST(TraceLibraryRing, ReaderFindsTheLibrarysRecordsAndEndOfData) {
  const std::string prefix = "/tmp/lib/one/app";
  ASSERT_TRUE(WaitAll({StartLibraryWriter(prefix, 1, 10, 0, 4096, 3)}));
  VESK2_MptTrap_t* r = ZELKWSYM_MpttCreateInstance(RingTracePath(prefix, 1).c_str());
  ASSERT_EQ(0, ZELKWSYM_MpttOpenManagementFile(r));
  ASSERT_EQ(0, ZELKWSYM_MpttOpen(r));
  const long end = ZELKWSYM_MpttGetCurrentOffset(r);
  ASSERT_GT(end, 0) << "error " << ZELKWSYM_MpttGetLastError(r);
  std::string data(static_cast<size_t>(end), '\0');
  ASSERT_EQ(end, ZELKWSYM_MpttRead(r, data.data(), end));
  const std::string file = ReadFile(RingTracePath(prefix, 1));
  EXPECT_EQ('\x1a', file[end]) << "the end byte should stand at the data end";
  EXPECT_EQ(0u, data.rfind("**** writer1", 0)) << data.substr(0, 60);
  const ParseResult p = ParseRecords(data, 200, false);
  EXPECT_TRUE(p.bad.empty()) << p.bad.size() << " bad lines, first: " << p.bad[0];
  EXPECT_EQ(3, p.headerLines);
  EXPECT_EQ(10u, p.records.size());
  ZELKWSYM_MpttClose(r);
  ZELKWSYM_MpttCloseManagementFile(r);
  EXPECT_EQ(0, ZELKWSYM_MpttDeleteInstance(r));
}

TEST(TraceLibraryRing, FollowerFollowsWritersOfTheTraceLibrary) {
  const std::string prefix = "/tmp/lib/live/app";
  const std::string out = "/tmp/lib-follow.out", err = "/tmp/lib-follow.err";
  const pid_t follower = fork();
  if (follower == 0) {
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(o, 1);
    dup2(e, 2);
    execl(kFollow, kFollow, "-f", "-i", "2", prefix.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  usleep(30 * 1000);
  constexpr int kWriters = 3, kRecords = 600;
  std::vector<pid_t> writers;
  for (int id = 1; id <= kWriters; ++id) {
    writers.push_back(StartLibraryWriter(prefix, id, kRecords, 0, 64 * 1024, 16));
  }
  ASSERT_TRUE(WaitAll(writers)) << "a trace library writer failed";

  std::string got;
  for (int waited = 0; waited < 60000; waited += 20) {
    got = ReadFile(out);
    int found = 0;
    for (int id = 1; id <= kWriters; ++id) {
      found += got.find(MakeRecordText(id, kRecords - 1)) != std::string::npos;
    }
    if (found == kWriters) break;
    usleep(20 * 1000);
  }
  kill(follower, SIGTERM);
  int status = 0;
  ASSERT_EQ(follower, waitpid(follower, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(err);
  got = ReadFile(out);

  // The ring itself first: what the writers left is what the follower must print.
  const ParseResult ring = ParseRecords(RingDataOldestFirst(prefix), 200, false);
  for (const auto& [w, seqs] : ByWriter(ring.records)) {
    EXPECT_EQ(static_cast<size_t>(kRecords), seqs.size())
        << "the ring holds only " << seqs.size() << " records of writer " << w;
  }
  const ParseResult p = ParseRecords(got, 200, false);
  EXPECT_TRUE(p.bad.empty()) << p.bad.size() << " bad lines, first: " << p.bad[0];
  const auto by = ByWriter(p.records);
  ASSERT_EQ(static_cast<size_t>(kWriters), by.size());
  for (const auto& [w, seqs] : by) {
    ASSERT_EQ(static_cast<size_t>(kRecords), seqs.size()) << "writer " << w;
    for (int i = 0; i < kRecords; ++i) ASSERT_EQ(i, seqs[i]) << "writer " << w;
  }
  EXPECT_EQ(RingDataOldestFirst(prefix), got);
}

TEST(TraceLibraryRing, DumpOfAWrappedLibraryRingIsItsDataOldestFirst) {
  const std::string prefix = "/tmp/lib/wrap/app";
  ASSERT_TRUE(WaitAll({StartLibraryWriter(prefix, 1, 400, 0, 4096, 4),
                       StartLibraryWriter(prefix, 2, 400, 0, 4096, 4)}));
  const std::string out = "/tmp/lib-dump.out";
  const pid_t pid = fork();
  if (pid == 0) {
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(o, 1);
    execl(kFollow, kFollow, prefix.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  const std::string got = ReadFile(out);
  EXPECT_EQ(RingDataOldestFirst(prefix), got);
  const ParseResult p = ParseRecords(got, 200, false);
  EXPECT_TRUE(p.bad.empty()) << p.bad.size() << " bad lines, first: " << p.bad[0];
  ASSERT_FALSE(p.records.empty());
  for (const auto& [w, seqs] : ByWriter(p.records)) {
    for (size_t i = 1; i < seqs.size(); ++i) ASSERT_EQ(seqs[i - 1] + 1, seqs[i]) << "writer " << w;
  }
}

}  // namespace
}  // namespace tw::test

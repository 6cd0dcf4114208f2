#include "writer_procs.h"

#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include "trace-reader/records.h"

namespace tw::test {

std::vector<pid_t> StartWriters(const RingShape& shape, const WriterPlan& plan) {
  std::vector<pid_t> pids;
  for (int id = 1; id <= plan.writers; ++id) {
    const pid_t pid = fork();
    if (pid == 0) {
      RingShape own = shape;
      own.appName = "writer" + std::to_string(id);
      RingWriter w(own);
      if (!w.Open()) {
        fprintf(stderr, "writer %d: %s\n", id, w.error().c_str());
        _exit(2);
      }
      for (int n = 0; n < plan.records; ++n) {
        if (!w.Put(MakeRecord(id, n, plan.maxPayload))) {
          fprintf(stderr, "writer %d record %d: %s\n", id, n, w.error().c_str());
          _exit(3);
        }
        if (plan.pauseUs > 0) usleep(plan.pauseUs);
      }
      w.Close();
      _exit(0);
    }
    pids.push_back(pid);
  }
  return pids;
}

bool WaitWriters(const std::vector<pid_t>& pids) {
  bool ok = true;
  for (pid_t p : pids) {
    int status = 0;
    if (p <= 0 || waitpid(p, &status, 0) != p || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      ok = false;
    }
  }
  return ok;
}

}  // namespace tw::test

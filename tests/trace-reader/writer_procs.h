// Writer processes for the follow tests: each forks, joins the ring and
// writes its numbered records.
#pragma once

#include <sys/types.h>

#include <vector>

#include "trace-reader/ring_writer.h"

namespace tw::test {

struct WriterPlan {
  int writers = 2;
  int records = 500;  // per writer
  int pauseUs = 0;    // pause after each record
  int maxPayload = 200;
};

// Starts the writers (ids 1..writers); each exits 0 when all its records are in.
std::vector<pid_t> StartWriters(const RingShape& shape, const WriterPlan& plan);

// Waits for them; true when every one exited 0.
bool WaitWriters(const std::vector<pid_t>& pids);

}  // namespace tw::test

#!/bin/bash
# Puts against the plain write(2) loop, several times over: on a shared VM
# one run can be off by several percent either way, so each run interleaves
# the repetitions of the cases at random and the runs are listed apart.
#
# usage: put_vs_loop.sh BENCH_BINARY [RUNS] [REPETITIONS]
#   files go to $TRACE_BENCH_DIR (default /tmp); /dev/shm gives tmpfs
set -euo pipefail

bench=${1:?usage: put_vs_loop.sh BENCH_BINARY [RUNS] [REPETITIONS]}
runs=${2:-5}
reps=${3:-10}

for ((i = 1; i <= runs; i++)); do
  "$bench" --benchmark_filter='BM_InstancePut/|BM_WriteLoop/|BM_StampCopyWrite' \
    --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true 2>/dev/null |
    awk -v run="$i" '
      /_median/ {
        if ($1 ~ /InstancePut/) put = $2
        else if ($1 ~ /StampCopyWriteLoop/) least = $2
        else if ($1 ~ /StampCopyWriteRing/) leastring = $2
        else if ($1 ~ /WriteLoop/) loop = $2
      }
      END {
        if (put == 0 || loop == 0 || least == 0 || leastring == 0) { print "run " run ": no figures"; exit 1 }
        printf "run %d: loop %d ns, put %d, least put %d, least ring put %d; of the loop: put %.1f %%, least put %.1f %%, least ring put %.1f %%\n",
               run, loop, put, least, leastring, 100 * loop / put, 100 * loop / least, 100 * loop / leastring
      }'
done

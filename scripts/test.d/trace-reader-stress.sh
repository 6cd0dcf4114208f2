#!/bin/sh
# Repeats the trace reader's multi-process tests (writers in forked processes,
# a follower reading across wrap-arounds) to shake out timing-dependent
# faults that a single run may miss. $1 is the repository root.
set -eu
root=${1:?usage: trace-reader-stress.sh REPO_ROOT}
ran=0
for tree in 64 asan; do
  bin="$root/build/$tree/tests/trace-reader/trace_reader_trap64"
  [ -x "$bin" ] || continue
  echo "trace-reader stress: $bin"
  "$bin" --gtest_filter='ReaderFollow*:*ReaderOverrun*' --gtest_repeat=8 --gtest_brief=1 \
    || { echo "trace-reader stress: FAILED in build/$tree"; exit 1; }
  ran=1
done
if [ "$ran" -eq 0 ]; then
  echo "trace-reader stress: no build/64 or build/asan test binary under $root/build"
  exit 1
fi
echo "trace-reader stress: ok"

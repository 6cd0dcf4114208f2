#!/bin/sh
# A 32-bit program from the build runs here, natively or emulated, with
# threads, signals between threads, fork, lockf and a private mount
# namespace; the output says which way it ran.
set -eu
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
probe=$root/build/32/tests/ia32/ia32_probe
if [ ! -x "$probe" ]; then
  echo "FAIL: $probe is missing (the 32-bit tree builds it)"
  exit 1
fi
# A probe that hangs is a failure too, not a stuck test run.
if ! timeout -k 5 120 "$probe"; then
  echo "FAIL: the 32-bit probe failed (ran $("$probe" how 2>&1 || true))"
  exit 1
fi

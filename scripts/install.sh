#!/bin/bash
# Builds the shipped 64- and 32-bit trees (no tests) and installs them under
# DESTDIR (default: the real root, /opt/quorrel/...). Run as root.
#   install.sh                    needs a kernel that runs 32-bit programs
#   install.sh --allow-emulation  also where they run only emulated (trials)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh --packages-only
if [ "${1:-}" = --allow-emulation ]; then
  # For a trial run against the simulated BMC (scripts/demo.sh): 32-bit
  # programs may run under the user-mode emulator where the kernel lacks
  # IA32 emulation. A server that guards a real BMC needs the kernel's own.
  bash scripts/ia32.sh
else
  # The daemon is 32-bit: stop here, saying what to do, where the kernel
  # cannot run 32-bit programs, rather than install a daemon that can never
  # start.
  bash scripts/ia32.sh --require-native
fi
dest=${DESTDIR:-/}
cmake -S . -B build/release-64 -DTW_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake -S . -B build/release-32 -DTW_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-m32.cmake" > /dev/null
cmake --build build/release-64 -j"${TW_JOBS:-2}"
cmake --build build/release-32 -j"${TW_JOBS:-2}"
DESTDIR="$dest" cmake --install build/release-64
DESTDIR="$dest" cmake --install build/release-32
echo "installed under ${dest%/}/opt/quorrel"

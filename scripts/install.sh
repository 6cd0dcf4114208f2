#!/bin/bash
# Builds the shipped 64- and 32-bit trees (no tests) and installs them under
# DESTDIR (default: the real root, /opt/quorrel/...). Run as root.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh --packages-only
# The daemon is 32-bit: stop here, saying what to do, where the kernel cannot
# run 32-bit programs, rather than install a daemon that can never start.
bash scripts/ia32.sh --require-native
dest=${DESTDIR:-/}
cmake -S . -B build/release-64 -DTW_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake -S . -B build/release-32 -DTW_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-m32.cmake" > /dev/null
cmake --build build/release-64 -j"${TW_JOBS:-2}"
cmake --build build/release-32 -j"${TW_JOBS:-2}"
DESTDIR="$dest" cmake --install build/release-64
DESTDIR="$dest" cmake --install build/release-32
echo "installed under ${dest%/}/opt/quorrel"

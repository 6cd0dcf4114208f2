#!/bin/bash
# The whole check: set-up, every build tree (64-bit, 32-bit, ASan+UBSan,
# TSan), the staged install tree under stage/, every test, extra checks in
# scripts/test.d/. Exits non-zero when anything fails. Run as root.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${TW_JOBS:-2}
started=$(date +%s)

setup_log=$(mktemp)
bash scripts/setup.sh 2>&1 | tee "$setup_log"
[ "${PIPESTATUS[0]}" -eq 0 ] || { echo "set-up failed"; exit 1; }
# "32-bit programs: native ..." or "... emulated ...", repeated at the end.
ia32_line=$(grep '^32-bit programs:' "$setup_log" | tail -1)
rm -f "$setup_log"

status=0
passed=0
failed=0
skipped=0
step() { echo; echo "=== $* ($(( $(date +%s) - started )) s)"; }

# configure_build DIR STAGE [cmake args...]
configure_build() {
  local dir=$1 stage=$2; shift 2
  cmake -S "$root" -B "$dir" -DTW_STAGE_DIR="$stage" "$@" > "$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j"$jobs" > "$dir.build.log" 2>&1 \
    || { grep -E -B2 -A12 'error|Error' "$dir.build.log" | head -150; return 1; }
  DESTDIR="$stage" cmake --install "$dir" > /dev/null || return 1
}

# run_ctest DIR [ctest args...]: runs and tallies one tree's tests.
run_ctest() {
  local dir=$1; shift
  local log="$dir.ctest.log"
  (cd "$dir" && ctest --output-on-failure --timeout 600 "$@") 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  if [ -n "$line" ]; then
    local bad total skip
    bad=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
    total=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/')
    # CTest counts a skipped test among the passed ones; here it is not.
    skip=$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log")
    passed=$((passed + total - bad - skip))
    failed=$((failed + bad))
    skipped=$((skipped + skip))
    if [ "$skip" -gt 0 ]; then
      echo "skipped, with the reasons:"
      grep -h '^under user-mode emulation' "$dir"/Testing/Temporary/LastTest*.log | sort | uniq -c
    fi
  elif grep -q 'No tests were found' "$log"; then
    echo "no tests in $dir"; status=1
  fi
}

mkdir -p build
# Both shipped word sizes stage into stage/; each sanitizer tree stages its
# own build into a tree of its own, completed with what only the plain
# trees install (the 32-bit files), so its tests run its own programs.
rm -rf stage build/asan.stage build/tsan.stage
step "64-bit build"
configure_build build/64 "$root/stage" -DTW_BUILD_BENCH=ON || status=1
step "32-bit build"
configure_build build/32 "$root/stage" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-m32.cmake" || status=1
step "ASan+UBSan build"
configure_build build/asan "$root/build/asan.stage" -DTW_SANITIZE=address || status=1
step "TSan build"
configure_build build/tsan "$root/build/tsan.stage" -DTW_SANITIZE=thread || status=1
for s in asan tsan; do cp -an stage/. "build/$s.stage/" 2>/dev/null; done

# The daemon in a QEMU guest takes minutes of mostly one core: it runs beside
# the test trees and is counted with the other extra checks.
background_checks=(scripts/test.d/bmc-vm.sh)
declare -A background_pid
for extra in "${background_checks[@]}"; do
  [ -e "$extra" ] || continue
  bash "$extra" "$root" > "build/$(basename "$extra" .sh).log" 2>&1 &
  background_pid[$extra]=$!
done

step "tests, 64-bit"
run_ctest build/64
step "tests, 32-bit"
run_ctest build/32
step "tests, 64-bit under ASan+UBSan"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest build/asan -LE exports
step "thread-safe tests, 64-bit under TSan"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 run_ctest build/tsan -L threadsafe

for extra in scripts/test.d/*.sh; do
  [ -e "$extra" ] || continue
  step "$extra"
  # Exit status 77: the check could not run here; it says why.
  if [ -n "${background_pid[$extra]:-}" ]; then
    wait "${background_pid[$extra]}"
    rc=$?
    cat "build/$(basename "$extra" .sh).log"
  else
    bash "$extra" "$root"
    rc=$?
  fi
  case $rc in
    0) passed=$((passed + 1)) ;;
    77) skipped=$((skipped + 1)) ;;
    *) failed=$((failed + 1)); status=1 ;;
  esac
done

echo
echo "whole run: $(( $(date +%s) - started )) s"
echo "${ia32_line:-32-bit programs: not known (set-up printed no line)}"
if [ "$skipped" -gt 0 ]; then
  echo "total: $passed passed, $failed failed, $skipped skipped"
else
  echo "total: $passed passed, $failed failed"
fi
exit $status

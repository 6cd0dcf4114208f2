#!/bin/sh
# Fuzzes the configuration library: data documents against a fixed
# definition, and definition documents. Builds with clang (libFuzzer, ASan,
# UBSan) in build/fuzz and runs each target for FUZZ_SECONDS (default 60)
# from the checked-in seed corpus. Fails on any crash, leak or sanitizer report.
set -eu
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
seconds=${FUZZ_SECONDS:-60}
out="$root/build/fuzz"
mkdir -p "$out"

flags="-std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all"
flags="$flags -I$root/include -I$root/config/qvsains -I$root/config/qvsacfg"
sources="$root/config/qvsains/*.cc $root/config/qvsacfg/*.cc"

status=0
for target in read_data define; do
  bin="$out/config_${target}_fuzz"
  # shellcheck disable=SC2086
  clang++ $flags -o "$bin" "$root/tests/config/fuzz/${target}_fuzz.cc" $sources -lpthread
  case $target in
    read_data) seeds="$root/tests/config/fuzz/data_corpus" ;;
    define) seeds="$root/tests/config/fuzz/define_corpus" ;;
  esac
  work="$out/corpus-$target"
  rm -rf "$work"
  mkdir -p "$work"
  cp "$seeds"/* "$work"/
  echo "fuzzing $target for ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "$bin" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$out/crash-$target-" "$work" > "$out/$target.log" 2>&1; then
    echo "FAIL: fuzz target $target found a problem; see $out/$target.log:"
    tail -n 60 "$out/$target.log"
    status=1
  else
    tail -n 1 "$out/$target.log"
  fi
done
exit $status

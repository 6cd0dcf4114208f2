#!/bin/sh
# Every C and C++ source in the repository follows .clang-format.
set -eu
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root"
files=$(git ls-files '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
# shellcheck disable=SC2086
if ! clang-format --dry-run --Werror $files; then
  echo "FAIL: the files above do not follow .clang-format (clang-format -i fixes them)"
  exit 1
fi
echo "format: $(echo "$files" | wc -l) files follow .clang-format"

#!/bin/bash
# Lints every manual page in docs/man with mandoc (Debian's mandoc package,
# installed here when missing); any message at all fails the check.
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
if ! command -v mandoc > /dev/null; then
  echo "man-lint: installing mandoc"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mandoc > /dev/null \
    || { echo "man-lint: mandoc is missing and could not be installed"; exit 1; }
fi
shopt -s nullglob
pages=("$root"/docs/man/*.[1-8])
[ ${#pages[@]} -gt 0 ] || { echo "man-lint: no pages in $root/docs/man"; exit 1; }
status=0
for page in "${pages[@]}"; do
  # -W style: every message, down to style remarks, counts as a failure.
  out=$(mandoc -Tlint -W style "$page" 2>&1)
  if [ -n "$out" ]; then
    echo "$out"
    status=1
  fi
done
[ $status -eq 0 ] && echo "man-lint: ${#pages[@]} pages clean"
exit $status

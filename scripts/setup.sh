#!/bin/sh
# Installs, with apt-get, every Debian package that building and testing
# tickward needs and that the machine lacks, then makes sure 32-bit programs
# run here (scripts/ia32.sh). Run as root on Debian 12.
#   setup.sh --packages-only   the packages alone (the install job checks
#                              32-bit support itself)
set -eu
packages="build-essential cmake g++-multilib googletest libgmock-dev libgtest-dev
  libbenchmark-dev clang clang-format libclang-rt-14-dev libxml2-dev psmisc util-linux binutils
  mount procps git dpkg-dev pkg-config lintian debootstrap systemd"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "setup: installing$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing
fi
if [ "${1:-}" != --packages-only ]; then
  bash "$(dirname "$0")/ia32.sh"
fi

#!/bin/sh
# Installs, with apt-get, every Debian package that building and testing
# tickward needs and that the machine lacks. Run as root on Debian 12.
set -eu
packages="build-essential cmake g++-multilib googletest libgmock-dev libgtest-dev
  libbenchmark-dev clang clang-format libclang-rt-14-dev libxml2-dev psmisc util-linux binutils
  mount procps"
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

#!/bin/bash
# How this machine runs 32-bit programs (the daemon tickwardd, the 32-bit
# libraries and their tests). Finds out by running one, never from version
# numbers. Run as root after the packages of scripts/setup.sh are in.
#
#   ia32.sh                  for building and testing: where the kernel
#                            cannot run 32-bit programs (no IA32 emulation),
#                            have QEMU's user-mode emulator run them
#   ia32.sh --require-native for installing: fail, saying why and what to
#                            do, unless the kernel runs them itself
#
# Prints one line starting "32-bit programs:" that says which way they run.
# A machine whose kernel runs them is left exactly as it is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-}
entry_name=tickward-ia32
binfmt=/proc/sys/fs/binfmt_misc
qemu=/usr/bin/qemu-i386
qemu_major_needed=10

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
g++ -m32 -std=c++17 -O1 -pthread -I"$root/tests" -o "$tmp/probe" \
  "$root/tests/ia32/ia32_probe.cc" "$root/tests/harness/emulation.cc"

# "native", "emulated", or nothing when the kernel refuses the program.
how_it_runs() { "$tmp/probe" how 2> /dev/null || true; }

qemu_version() { { "$qemu" --version 2> /dev/null || true; } | sed -nE '1s/.* version ([0-9.]+).*/\1/p'; }

say_emulated() {
  echo "32-bit programs: emulated by qemu-i386 $(qemu_version) through binfmt_misc" \
    "(this kernel cannot run them itself: no IA32 emulation)"
}

how=$(how_it_runs)
if [ "$mode" = --require-native ]; then
  if [ "$how" = native ]; then
    echo "32-bit programs: native (the kernel's IA32 emulation)"
    exit 0
  fi
  cat >&2 << EOF
32-bit programs: this kernel does not run them itself ($([ "$how" = emulated ] &&
    echo "here they run only under a user-mode emulator registered with binfmt_misc" ||
    echo "execve of a 32-bit program fails with 'Exec format error'")).
The watchdog daemon tickwardd and the 32-bit libraries need a kernel with IA32
emulation, so tickward was not installed. Boot this kernel with the parameter
ia32_emulation=1 (kernels built with CONFIG_IA32_EMULATION), or install a
kernel built with it, then run this again.
EOF
  exit 1
fi

if [ "$how" = native ]; then
  echo "32-bit programs: native (the kernel's IA32 emulation)"
  exit 0
fi
if [ "$how" = emulated ] && [ -e "$binfmt/$entry_name" ]; then
  # Registered earlier in this boot: the kernel has not changed since.
  say_emulated
  exit 0
fi

# The emulator of Debian 12 proper (7.2) never delivers a signal that one
# thread sends another with pthread_kill while the target sits in pause(),
# which is how the daemon's threads talk; 10.x does.
major=$(qemu_version | cut -d. -f1)
if [ "${major:-0}" -lt "$qemu_major_needed" ]; then
  sources=()
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sources+=("$f")
  done
  if ! grep -qs 'bookworm-backports' "${sources[@]}"; then
    mirror=$(bash "$root/scripts/debian-mirror.sh")
    [ -n "$mirror" ] || {
      echo "ia32: no bookworm mirror found in /etc/apt/sources.list*" >&2
      exit 1
    }
    cat > /etc/apt/sources.list.d/bookworm-backports.sources << EOF
Types: deb
URIs: $mirror
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    echo "ia32: added bookworm-backports from $mirror"
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # This package alone from backports (-t would move every qemu package
  # there); without recommends, as qemu-user-binfmt would register every
  # architecture.
  apt-get install -y -qq --no-install-recommends qemu-user/bookworm-backports
  major=$(qemu_version | cut -d. -f1)
  if [ "${major:-0}" -lt "$qemu_major_needed" ]; then
    echo "ia32: qemu-i386 $(qemu_version) installed, $qemu_major_needed or later needed" >&2
    exit 1
  fi
fi

[ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
if [ ! -e "$binfmt/$entry_name" ]; then
  # i386 ELF executables and position-independent ones (e_type 2 or 3).
  # F: the kernel opens the emulator now, so chroots and private mount
  # namespaces need no copy of it. P: the program keeps its own argv[0].
  printf '%s' ":$entry_name:M::"'\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'":$qemu:PF" \
    > "$binfmt/register"
fi
echo 1 > "$binfmt/$entry_name"
how=$(how_it_runs)
if [ "$how" != emulated ]; then
  echo "ia32: a 32-bit program still does not run after registering $qemu" >&2
  exit 1
fi
say_emulated

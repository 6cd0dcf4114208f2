#!/bin/bash
# The Debian packages: builds them (scripts/package.sh, left in
# build/packages/), checks them on this host (control fields, every file the
# install rules install is in one of the two packages, word sizes, lintian
# tags all explained in docs/packaging.md, `systemd-analyze verify` of the
# unit, the pkg-config files compile and link a program of each word size),
# then in a fresh Debian 12 root (debootstrap, cached under
# /var/tmp/tickward-pkg-test): install with apt, run the programs,
# upgrade with a changed setting, remove, purge (packaging/tests/in-chroot.sh).
# Usage: packages.sh [ROOT]. Exits 0 when every check passed, 1 when one
# failed, 77 when the Debian root cannot be made or cannot reach its mirror
# (after the host checks passed), which counts as skipped, never as passed.
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cache=/var/tmp/tickward-pkg-test
logs=$root/build/hpkg-test
mkdir -p "$logs" "$cache"
status=0
pass() { echo "PASS $1"; }
fail() { echo "FAIL $1: $2"; status=1; }
work=$(mktemp -d /var/tmp/tickward-pkg-check.XXXXXX)
cleanup() {
  # Only a root without mounts is deleted (the chroot's proc lives in a
  # mount namespace that ends with its last process).
  if grep -qF " $work/" /proc/self/mountinfo; then
    echo "packages.sh: mounts left under $work; not deleting it" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

echo "building the packages (log $logs/package.log)"
if ! bash "$root/scripts/package.sh" > "$logs/package.log" 2>&1; then
  tail -n 30 "$logs/package.log"
  echo "FAIL package.sh"
  exit 1
fi
mapfile -t debs < <(grep '\.deb$' "$logs/package.log")
run_deb=${debs[0]} dev_deb=${debs[1]}
version=$(dpkg-deb -f "$run_deb" Version)
staged=$root/build/hpkg-root/all

# Control fields.
check_field() { # DEB FIELD EXPECTED(regex)
  local got
  got=$(dpkg-deb -f "$1" "$2")
  if [[ "$got" =~ $3 ]]; then pass "$(basename "$1") $2"; else fail "$(basename "$1") $2" "matching '$3', got '$got'"; fi
}
check_field "$run_deb" Architecture '^amd64$'
check_field "$run_deb" Depends '^libc6 \(>= 2\.[0-9]+\), libc6-i386 \(>= 2\.[0-9]+\), procps, psmisc$'
check_field "$dev_deb" Depends "^tickward \(= $version\)$"
got=$(dpkg-deb -I "$run_deb" conffiles | sort | tr '\n' ' ')
want="/opt/quorrel/VESKLib2/etc/D002vesk2.cnf /opt/quorrel/zel-kw/cnf/qvwdtcfg.xml /opt/quorrel/zel-kw/cnf/qvwdtdef.xml "
[ "$got" = "$want" ] && pass conffiles || fail conffiles "expected '$want', got '$got'"

# Every file the install rules of both trees put down is in exactly one
# package (manual pages compressed); nothing else but the Debian docs.
(cd "$staged" && find . ! -type d | sed -E 's|^\./|/|; s|^(/usr/share/man/.*)$|\1.gz|; s|\.gz\.gz$|.gz|') |
  sort > "$work/installed"
for d in "$run_deb" "$dev_deb"; do dpkg-deb -c "$d"; done | awk '$1 !~ /^d/ { print $6 }' |
  sed 's|^\./|/|' | grep -v '^/usr/share/doc/tickward' | sort > "$work/packaged"
if diff "$work/installed" "$work/packaged" > "$work/files.diff"; then
  pass "packages hold what the install rules install ($(wc -l < "$work/installed") files)"
else
  fail "packages hold what the install rules install" "differences (< installed only, > packaged only): $(cat "$work/files.diff")"
fi
dups=$(sort "$work/packaged" | uniq -d)
[ -z "$dups" ] && pass "no file in both packages" || fail "no file in both packages" "$dups"

# Word sizes of the programs.
x=$work/extract
dpkg-deb -x "$run_deb" "$x" && dpkg-deb -x "$dev_deb" "$x"
elf_class() { od -An -t u1 -j 4 -N 1 "$1" | tr -d ' '; }
[ "$(elf_class "$x/opt/quorrel/zel-kw/bin/tickwardd")" = 1 ] && pass "tickwardd is 32-bit" || fail "tickwardd is 32-bit" "class $(elf_class "$x/opt/quorrel/zel-kw/bin/tickwardd")"
[ "$(elf_class "$x/opt/quorrel/zel-px/tool/bin/qvsacmd")" = 2 ] && pass "qvsacmd is 64-bit" || fail "qvsacmd is 64-bit" "class $(elf_class "$x/opt/quorrel/zel-px/tool/bin/qvsacmd")"

# The unit: systemd's own check, with the packaged programs at their paths
# (in a private mount namespace), and its manual pages in the package.
unit=$x/lib/systemd/system/tickwardd.service
if out=$(unshare --mount --propagation private sh -c '
    mount -t tmpfs none /opt && mkdir /opt/quorrel && mount --bind "$1/opt/quorrel" /opt/quorrel &&
    mount -t overlay overlay -o "lowerdir=$1/usr/libexec:/usr/libexec" /usr/libexec &&
    systemd-analyze verify --man=no "$2"' sh "$x" "$unit" 2>&1) && [ -z "$out" ]; then
  pass "systemd-analyze verify"
else
  fail "systemd-analyze verify" "no complaint, got: $out"
fi
for page in $(sed -nE 's/^Documentation=//p' "$unit" | tr ' ' '\n' | sed -nE 's/^man:(.*)\(([0-9])\)$/\1.\2/p'); do
  f=$x/usr/share/man/man${page##*.}/$page.gz
  [ -f "$f" ] && pass "unit's page $page" || fail "unit's page $page" "$f not in the package"
done
grep -q '^ExecReload=/bin/kill -HUP \$MAINPID$' "$unit" && grep -q '^Type=simple$' "$unit" &&
  pass "unit: simple type, reload by SIGHUP" || fail "unit: simple type, reload by SIGHUP" "$(grep -E '^(Type|ExecReload)=' "$unit")"

# lintian: every tag it reports is explained in docs/packaging.md.
lintian -I --pedantic "$run_deb" "$dev_deb" > "$logs/lintian.txt" 2>&1
tags=$(sed -nE 's/^[EWIPX]: [^:]+: ([a-z0-9+.-]+).*/\1/p' "$logs/lintian.txt" | sort -u)
for t in $tags; do
  if grep -q "\`$t\`" "$root/docs/packaging.md"; then
    pass "lintian $t ($(grep -c ": $t" "$logs/lintian.txt")x) is explained"
  else
    fail "lintian $t" "explained in docs/packaging.md, got an unexplained tag: $(grep ": $t" "$logs/lintian.txt" | head -3)"
  fi
done

# pkg-config: each file compiles, links and runs a program of its word size
# against the packaged header and library.
declare -A symbol=([vesk2_trace.h]=ZELKWSYM_Initialize [vesk2_trace_reader.h]=ZELKWSYM_MpttCreateInstance
  [vesk2_syslog.h]=ZELKWSYM_CreateSysLogInstance [vopcfg.h]=VOP_ConfigCreate)
for bits in 64 32; do
  if [ "$bits" = 64 ]; then pcdir=$x/usr/lib/x86_64-linux-gnu/pkgconfig m=-m64; else pcdir=$x/usr/lib32/pkgconfig m=-m32; fi
  count=0
  for pc in "$pcdir"/*.pc; do
    name=$(basename "$pc" .pc)
    export PKG_CONFIG_LIBDIR=$pcdir PKG_CONFIG_SYSROOT_DIR=$x
    header=$(pkg-config --variable=header "$name")
    sym=${symbol[$header]:-}
    flags=$(pkg-config --cflags --libs "$name")
    libdir=$(pkg-config --variable=libdir "$name")
    unset PKG_CONFIG_LIBDIR PKG_CONFIG_SYSROOT_DIR
    printf '#include <%s>\nint main(void) { void *volatile p = (void *)%s; return p == 0; }\n' "$header" "$sym" > "$work/use.c"
    # shellcheck disable=SC2086
    if [ -n "$sym" ] && out=$(gcc $m -Wall -Wextra -Werror -o "$work/use" "$work/use.c" $flags 2>&1) &&
      out=$(LD_LIBRARY_PATH=$x$libdir "$work/use" 2>&1); then
      count=$((count + 1))
    else
      fail "pkg-config $bits-bit $name" "a program using $sym from <$header> builds and runs, got: ${out:-no symbol known for $header}"
    fi
  done
  [ "$count" -ge 6 ] && pass "pkg-config $bits-bit: $count libraries link" || fail "pkg-config $bits-bit" "6 libraries linking, got $count"
done

# The fresh Debian 12 root.
mirror=$(bash "$root/scripts/debian-mirror.sh")
base=$cache/bookworm-minbase.tar.gz
skip() { echo "SKIPPED: the Debian 12 root test cannot run here: $*"; [ "$status" -ne 0 ] && exit 1; exit 77; }
if [ ! -s "$base" ]; then
  [ -n "$mirror" ] || skip "no bookworm mirror in /etc/apt/sources.list*"
  echo "making the Debian 12 root with debootstrap from $mirror (once; cached in $base)"
  if ! debootstrap --variant=minbase bookworm "$work/boot" "$mirror" > "$logs/debootstrap.log" 2>&1; then
    tail -n 5 "$logs/debootstrap.log"
    skip "debootstrap failed (log $logs/debootstrap.log)"
  fi
  tar -C "$work/boot" -czf "$base.tmp" . && mv "$base.tmp" "$base"
  rm -rf "${work:?}/boot"
fi

# The upgrade's second version, from the same trees.
bash "$root/scripts/package.sh" --revision 2 --out "$work/v2" > "$logs/package-v2.log" 2>&1 ||
  { tail -n 20 "$logs/package-v2.log"; fail "package.sh --revision 2" "see $logs/package-v2.log"; exit 1; }
version2=$(dpkg-deb -f "$work/v2/tickward_"*_amd64.deb Version)

chroot_dir=$work/root
mkdir -p "$chroot_dir"
tar -C "$chroot_dir" -xzf "$base"
mkdir -p "$chroot_dir/pkgs/v1" "$chroot_dir/pkgs/v2"
cp "$run_deb" "$dev_deb" "$chroot_dir/pkgs/v1/"
cp "$work/v2/"*.deb "$chroot_dir/pkgs/v2/"
cp "$root/packaging/tests/in-chroot.sh" "$chroot_dir/in-chroot.sh"
cp -L /etc/resolv.conf "$chroot_dir/etc/resolv.conf"
echo "installing, upgrading, removing and purging in a fresh Debian 12 root"
# A private PID namespace: killall (qvsacmd's notice) and the daemon see
# only this root's processes; the proc mount ends with the namespace. The
# test runs as the namespace's second process, so that the daemon it starts
# has a parent other than 1 and becomes a daemon the usual way.
unshare --pid --fork --mount --propagation private sh -c '
  mount -t proc proc "$1/proc" && exec chroot "$1" /bin/sh -c "/bin/sh /in-chroot.sh $2 $3; exit \$?"' \
  sh "$chroot_dir" "$version" "$version2" 2>&1 | tee "$logs/chroot.log"
rc=${PIPESTATUS[0]}
case "$rc" in
  0) ;;
  3) skip "apt in the Debian 12 root cannot reach the mirror" ;;
  *) status=1 ;;
esac
grep -q "^PASS purged" "$logs/chroot.log" || fail "Debian 12 root" "in-chroot.sh to reach its last check, it stopped with status $rc"
exit $status

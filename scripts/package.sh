#!/bin/bash
# Builds the Debian packages from the CMake install rules: Release trees of
# both word sizes (no tests), each installed with DESTDIR into one package
# root; the install component "dev" (headers, pkg-config files) goes into
# tickward-dev, everything else into tickward. Run as root (file owners).
#
#   package.sh [--revision N] [--out DIR]
#     --revision N  Debian revision (default 1): version = project version-N
#     --out DIR     where the .deb files go (default build/packages)
#
# Build trees: build/hpkg-64, build/hpkg-32; package roots: build/hpkg-root.
# Prints the paths of the two packages, one a line, at the end.
set -euo pipefail
umask 022
root=$(cd "$(dirname "$0")/.." && pwd)
revision=1
out=$root/build/packages
while [ $# -gt 0 ]; do
  case "$1" in
    --revision) revision=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "package.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
jobs=${TW_JOBS:-2}
b64=$root/build/hpkg-64 b32=$root/build/hpkg-32 work=$root/build/hpkg-root
upstream=$(sed -nE 's/^project\(tickward VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")
version=$upstream-$revision
pkg=$root/packaging/debian

build_tree() {
  local dir=$1; shift
  # Debian's hardening flags on top of the project's own (dpkg-buildflags).
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTW_BUILD_TESTS=OFF \
    -DCMAKE_C_FLAGS_RELEASE="-O3 -DNDEBUG $hardening" -DCMAKE_CXX_FLAGS_RELEASE="-O3 -DNDEBUG $hardening" \
    -DTW_STAGE_DIR="$dir.stage" "$@" > "$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j"$jobs" > "$dir.build.log" 2>&1 ||
    { grep -E -B2 -A12 'error|Error' "$dir.build.log" | head -100; return 1; }
}
hardening="-D_FORTIFY_SOURCE=2 -fstack-protector-strong -Wformat -Werror=format-security"
echo "package: building Release trees ($b64, $b32)"
build_tree "$b64"
build_tree "$b32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-m32.cmake"

rm -rf "$work"
all=$work/all dev=$work/dev run=$work/tickward devroot=$work/tickward-dev
for tree in "$b64" "$b32"; do
  DESTDIR=$all cmake --install "$tree" > /dev/null
  DESTDIR=$dev cmake --install "$tree" --component dev > /dev/null
done

# tickward: everything installed but the development files.
cp -a "$all" "$run"
(cd "$dev" && find . ! -type d) | while IFS= read -r f; do rm -f "$run/$f"; done
(cd "$dev" && find . -mindepth 1 -type d | sort -r) | while IFS= read -r d; do
  [ -d "$run/$d" ] && rmdir --ignore-fail-on-non-empty "$run/$d"
done
cp -a "$dev" "$devroot"
# Pages of section 3 describe the C interfaces: they go with the headers.
if [ -d "$run/usr/share/man/man3" ]; then
  mkdir -p "$devroot/usr/share/man"
  mv "$run/usr/share/man/man3" "$devroot/usr/share/man/"
fi

# What dh_strip and dh_compress would do: symbols off the shipped ELF files
# (the dynamic symbol tables stay), manual pages compressed.
for r in "$run" "$devroot"; do
  find "$r" -type f | while IFS= read -r f; do
    [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
    case "$f" in
      *.so | *.so.*) strip --remove-section=.comment --remove-section=.note --strip-unneeded "$f" ;;
      *) strip --remove-section=.comment --remove-section=.note "$f" ;;
    esac
  done
  if [ -d "$r/usr/share/man" ]; then
    find "$r/usr/share/man" -type f ! -name '*.gz' -exec gzip -9n {} +
    find "$r/usr/share/man" -type l ! -name '*.gz' | while IFS= read -r l; do
      ln -s "$(readlink "$l").gz" "$l.gz" && rm "$l"
    done
  fi
done

# Depends: the ELF files may need nothing beyond libc, libpthread, libdl
# and the loader of their word size; the newest glibc symbol version each
# word size uses gives the lowest libc package version.
needed_glibc() { # CLASS: the highest GLIBC_ version the files of that class need
  find "$run" -type f | while IFS= read -r f; do
    [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
    file_class=$(od -An -t u1 -j 4 -N 1 "$f" | tr -d ' ')
    [ "$file_class" = "$1" ] || continue
    readelf -dW "$f" | sed -nE 's/.*\(NEEDED\).*\[(.*)\]/\1/p' | while IFS= read -r lib; do
      case "$lib" in
        libc.so.6 | libpthread.so.0 | libdl.so.2 | ld-linux.so.2 | ld-linux-x86-64.so.2) ;;
        *) echo "package.sh: $f needs $lib, beyond libc, libpthread, libdl and the loader" >&2
           touch "$work/needs-more" ;;
      esac
    done
    readelf -VW "$f" | grep -oE 'Name: GLIBC_[0-9.]+' | sed 's/.*GLIBC_//'
  done | sort -V | tail -1
}
glibc64=$(needed_glibc 2) glibc32=$(needed_glibc 1)
[ ! -e "$work/needs-more" ] || exit 1
[ -n "$glibc64" ] && [ -n "$glibc32" ] ||
  { echo "package.sh: no 64-bit or no 32-bit ELF file in the package" >&2; exit 1; }
depends="libc6 (>= $glibc64), libc6-i386 (>= $glibc32), procps, psmisc"

# The years of the project's history, for the copyright notice.
first=$(git -C "$root" log --reverse --format=%cd --date=format:%Y 2> /dev/null | sed -n 1p)
last=$(git -C "$root" log -1 --format=%cd --date=format:%Y 2> /dev/null || true)
years=${first:-$(date +%Y)}
[ -z "$last" ] || [ "$last" = "$years" ] || years=$years-$last

changelog() { # PACKAGE
  printf '%s (%s) stable; urgency=medium\n\n  * Built from the tickward source tree.\n\n -- %s  %s\n' \
    "$1" "$version" "tickward maintainers <maintainers@tickward.example>" \
    "$(date -R -u -d "@${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2> /dev/null || date +%s)}")"
}

make_deb() { # ROOT PACKAGE CONTROL-TEMPLATE
  local r=$1 name=$2 template=$3
  install -d "$r/usr/share/doc/$name" "$r/DEBIAN"
  sed "s/@YEARS@/$years/" "$pkg/copyright" > "$r/usr/share/doc/$name/copyright"
  chmod 644 "$r/usr/share/doc/$name/copyright"
  changelog "$name" | gzip -9n > "$r/usr/share/doc/$name/changelog.Debian.gz"
  chmod 644 "$r/usr/share/doc/$name/changelog.Debian.gz"
  local size
  size=$(du -sk --exclude=DEBIAN "$r" | cut -f1)
  sed -e "s/@VERSION@/$version/g" -e "s/@SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
    "$template" > "$r/DEBIAN/control"
  (cd "$r" && find . -path ./DEBIAN -prune -o -type f -print | sed 's|^\./||' | LC_ALL=C sort |
    xargs -d '\n' md5sum) > "$r/DEBIAN/md5sums"
  chmod 644 "$r/DEBIAN/control" "$r/DEBIAN/md5sums"
  mkdir -p "$out"
  dpkg-deb --root-owner-group -Zxz --build "$r" "$out/${name}_${version}_amd64.deb" > /dev/null
}

# Settings an operator changes (qvsacmd rewrites qvwdtcfg.xml) survive an
# upgrade as conffiles.
for f in opt/quorrel/zel-kw/cnf/qvwdtdef.xml opt/quorrel/zel-kw/cnf/qvwdtcfg.xml \
  opt/quorrel/VESKLib2/etc/D002vesk2.cnf; do
  [ -f "$run/$f" ] || { echo "package.sh: conffile /$f was not installed" >&2; exit 1; }
  echo "/$f"
done > "$work/conffiles"
install -d "$run/DEBIAN"
install -m 644 "$work/conffiles" "$run/DEBIAN/conffiles"
install -m 755 "$pkg/postinst" "$pkg/prerm" "$pkg/postrm" "$run/DEBIAN/"

make_deb "$run" tickward "$pkg/control.in"
make_deb "$devroot" tickward-dev "$pkg/control-dev.in"
echo "$out/tickward_${version}_amd64.deb"
echo "$out/tickward-dev_${version}_amd64.deb"

#!/bin/sh
# check_exports.sh FILE EXPECTED
# Asserts what a shipped ELF file exports, its SONAME and its NEEDED list.
# EXPECTED holds one "symbol@@VERSION" (or "symbol" for unversioned) a line,
# optionally "soname NAME" and "needed NAME" lines; "#" starts a comment.
# Without "needed" lines, NEEDED may only name libc, libpthread, libdl and
# the dynamic loader.
set -u
file=$1 expected=$2
fail=0
[ -f "$file" ] || { echo "FAIL: $file does not exist"; exit 1; }
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

grep -v '^[[:space:]]*#' "$expected" | grep -v '^[[:space:]]*$' > "$tmp/spec"
grep -v -e '^soname ' -e '^needed ' "$tmp/spec" | sort > "$tmp/want"

# Defined dynamic symbols other than the version node itself. A name with
# a single "@" is another library's (a program's copy of stdout, say).
readelf --dyn-syms -W "$file" | awk '$7 != "UND" && $4 != "SECTION" && $8 != "" && NR > 3 {print $8}' \
  | grep -v '^VESKLib2$' | grep -v -E '^[^@]+@[^@]' | sort -u > "$tmp/got"
# readelf prints the version node as its own ABS symbol; drop it too, and
# _IO_stdin_used, which the C start-up files put into every i386 program
# for libc to read.
grep -v -e '^VESKLib2@@VESKLib2$' -e '^_IO_stdin_used$' "$tmp/got" > "$tmp/got2"
mv "$tmp/got2" "$tmp/got"
if ! diff -u "$tmp/want" "$tmp/got" > "$tmp/diff"; then
  echo "FAIL: exported symbols of $file differ from $expected (- expected, + found):"
  cat "$tmp/diff"; fail=1
fi

soname=$(readelf -d -W "$file" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
want_soname=$(sed -n 's/^soname //p' "$tmp/spec")
[ -n "$want_soname" ] || want_soname=$(basename "$file")
case "$file" in *.so) ;; *) want_soname=$(sed -n 's/^soname //p' "$tmp/spec");; esac
if [ "$soname" != "$want_soname" ]; then
  echo "FAIL: SONAME of $file is '$soname', expected '$want_soname'"; fail=1
fi

readelf -d -W "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort > "$tmp/needed"
if grep -q '^needed ' "$tmp/spec"; then
  sed -n 's/^needed //p' "$tmp/spec" | sort > "$tmp/want_needed"
  if ! diff -u "$tmp/want_needed" "$tmp/needed" > "$tmp/diff"; then
    echo "FAIL: NEEDED entries of $file differ:"; cat "$tmp/diff"; fail=1
  fi
else
  bad=$(grep -v -E '^(libc\.so\.6|libpthread\.so\.0|libdl\.so\.2|ld-linux.*\.so\.[0-9]+)$' "$tmp/needed")
  if [ -n "$bad" ]; then
    echo "FAIL: $file needs more than libc, libpthread, libdl and the loader:"; echo "$bad"; fail=1
  fi
fi

[ $fail -eq 0 ] && echo "ok: $file exports $(wc -l < "$tmp/want") symbols, SONAME '$soname', NEEDED: $(tr '\n' ' ' < "$tmp/needed")"
exit $fail

#!/bin/bash
# Prints the mirror this machine's apt already uses for bookworm, read from
# /etc/apt/sources.list and sources.list.d in either format; nothing when
# there is none.
files=()
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] && files+=("$f")  # awk stops at the first file it cannot open
done
[ ${#files[@]} -gt 0 ] || exit 0
awk '
  FNR == 1 { u = "" }
  /^[[:space:]]*#/ { next }
  /^deb[[:space:]]/ { for (i = 2; i <= NF; i++) if ($i !~ /^\[/ && $i ~ /:\/\//) { u = $i; s = $(i + 1); break }
                      if (s == "bookworm") { print u; exit } }
  /^URIs:/ { u = $2 }
  /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == "bookworm" && u != "") { print u; exit } }
  /^$/ { u = "" }' "${files[@]}" | head -1

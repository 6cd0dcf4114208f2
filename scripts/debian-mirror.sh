#!/bin/bash
# Prints the mirror this machine's apt already uses for bookworm, read from
# /etc/apt/sources.list and sources.list.d in either format; nothing when
# there is none.
awk '
  FNR == 1 { u = "" }
  /^[[:space:]]*#/ { next }
  /^deb[[:space:]]/ { for (i = 2; i <= NF; i++) if ($i !~ /^\[/ && $i ~ /:\/\//) { u = $i; s = $(i + 1); break }
                      if (s == "bookworm") { print u; exit } }
  /^URIs:/ { u = $2 }
  /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == "bookworm" && u != "") { print u; exit } }
  /^$/ { u = "" }' /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
  /etc/apt/sources.list.d/*.sources 2> /dev/null | head -1

#!/usr/bin/env bash
# ini-set.sh FILE SECTION KEY VALUE: sets one key of an INI file, keeping the rest as it is.
# Section and key names match without regard to case, as the program reads them.
set -euo pipefail
file=$1 section=$2 key=$3 value=$4
[ -f "$file" ] || : >"$file"
tmp=$(mktemp "$file.XXXXXX")
awk -v section="$section" -v key="$key" -v value="$value" '
  function flush() { if (inside && !done) { print key "=" value; done = 1 } }
  /^[ \t]*\[/ {
    name = $0; sub(/^[ \t]*\[/, "", name); sub(/\].*$/, "", name)
    if (inside) flush()
    inside = (tolower(name) == tolower(section))
    if (inside) seen = 1
    print; next
  }
  inside && !done {
    line = $0; sub(/^[ \t]+/, "", line)
    k = line; sub(/[ \t]*=.*$/, "", k)
    if (index(line, "=") > 0 && tolower(k) == tolower(key)) { print key "=" value; done = 1; next }
  }
  { print }
  END { flush(); if (!seen) { print "[" section "]"; print key "=" value } }
' "$file" >"$tmp"
mv "$tmp" "$file"

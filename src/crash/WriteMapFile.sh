#!/usr/bin/env bash
# Writes <file without extension>.map beside a linked executable or library:
# the code segment's units (from the line table's sequences), the publics by
# name and by value (from the symbol table) and the line numbers per source
# file, each offset relative to the start of .text. The layout is the one the
# bug report's address resolution reads: fixed columns, " 0001:" offsets,
# 20-character line entries.
#   WriteMapFile.sh <linked file> <nm> <objdump>
set -euo pipefail
Binary=$1
Nm=$2
Objdump=$3
case "$(basename "$Binary")" in
  *.*) Map="${Binary%.*}.map" ;;
  *) Map="$Binary.map" ;;
esac
Work=$(mktemp -d)
trap 'rm -rf "$Work"' EXIT
export LC_ALL=C

# Start and size of the code section.
read -r TextStart TextSize < <("$Objdump" -h "$Binary" | awk '$2 == ".text" { print $4, $3; exit }')

HexAwk='
function hex(s,    i, c, v) {
  sub(/^0x/, "", s); v = 0; s = tolower(s)
  for (i = 1; i <= length(s); i++) { c = index("0123456789abcdef", substr(s, i, 1)); v = v * 16 + c - 1 }
  return v
}
function unitof(path,    n) { n = path; sub(/.*\//, "", n); sub(/\.[^.]*$/, "", n); return n }'

# Line table: sequences (S start end unit) and line entries (L unit file offset line).
"$Objdump" --wide --dwarf=decodedline "$Binary" 2>/dev/null | awk -v TS="$TextStart" -v TZ="$TextSize" "$HexAwk"'
BEGIN { base = hex(TS); size = hex(TZ); open = 0 }
/^CU: .*:$/ { cu = substr($0, 5, length($0) - 5); unit = unitof(cu); file = cu; next }
/:$/ && NF == 1 { file = substr($0, 1, length($0) - 1); next }
NF >= 3 && $3 ~ /^0x[0-9a-fA-F]+$/ {
  a = hex($3) - base
  if ($2 == "-") { if (open && a > start) print "S", start, a, unit; open = 0; next }
  if ($2 !~ /^[0-9]+$/ || a < 0 || a >= size) next
  if (!open) { start = a; open = 1 }
  if ($2 + 0 > 0 && $2 + 0 < 100000) print "L", unitof(file), file, a, $2
}' > "$Work/lines"

# Units of the code segment in address order; code without line data between
# them is marked "?" so that it is not taken for the unit before it.
awk '$1 == "S"' "$Work/lines" | sort -k2,2n -k3,3n | awk -v TZ="$TextSize" "$HexAwk"'
BEGIN { size = hex(TZ); at = 0; n = 0 }
{
  s = $2; e = $3; u = $4
  if (e <= at) next
  if (s < at) s = at
  if (s > at) { us[n] = "?"; ss[n] = at; n++ }
  if (n == 0 || us[n - 1] != u) { us[n] = u; ss[n] = s; n++ }
  at = e
}
END {
  if (at < size) { us[n] = "?"; ss[n] = at; n++ }
  for (i = 0; i < n; i++) {
    len = (i + 1 < n ? ss[i + 1] : size) - ss[i]
    printf " 0001:%08X %08X C=CODE     S=.text    G=(none)   M=%s\n", ss[i], len, us[i]
  }
}' > "$Work/segments"

# Publics: text symbols inside .text, demangled; the code-segment marker
# carries its fixed public name.
"$Nm" -C --defined-only "$Binary" | awk -v TS="$TextStart" -v TZ="$TextSize" "$HexAwk"'
BEGIN { base = hex(TS); size = hex(TZ) }
$2 ~ /^[TtWw]$/ {
  a = hex($1) - base
  if (a < 0 || a >= size) next
  name = $0; sub(/^[^ ]+ [^ ]+ /, "", name)
  if (name ~ /^\./) next # section symbols
  if (name == "fi::CodeSegmentMarker()") name = "__CodeSegmentTestDummy__"
  printf " 0001:%08X       %s\n", a, name
}' > "$Work/publics"

{
  printf '\n Start         Length     Name                   Class\n'
  printf ' 0001:00000000 %08XH .text                   CODE\n\n' "$((16#$TextSize))"
  printf 'Detailed map of segments\n\n'
  cat "$Work/segments"
  printf '\n\n  Address         Publics by Name\n\n'
  awk '{ n = $0; sub(/^ 0001:[0-9A-F]+ +/, "", n); print n "\t" $0 }' "$Work/publics" | sort -s -t"$(printf '\t')" -k1,1 | cut -f2-
  printf '\n\n  Address         Publics by Value\n\n'
  sort -s -k1,1 "$Work/publics"
  printf '\n\n'
  awk '$1 == "L"' "$Work/lines" | sort -s -k2,2 -k3,3 -k4,4n | awk '
  function flush() { if (count > 0) { print row; row = ""; count = 0 } }
  {
    key = $2 "(" $3 ")"
    if (key != current) {
      flush(); if (current != "") print ""
      current = key; print "Line numbers for " $2 "(" $3 ") segment .text"; print ""
    }
    if ($4 == last_offset && key == last_key) next
    last_offset = $4; last_key = key
    row = row sprintf(" %5d 0001:%08X", $5, $4); count++
    if (count == 4) flush()
  }
  END { flush(); print "" }'
  printf '\nBound resource files\n\n'
} > "$Map.tmp"
mv "$Map.tmp" "$Map"

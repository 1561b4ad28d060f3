#!/usr/bin/env bash
# Reads a built Windows program and checks what decides where it can run:
# its processor, the oldest Windows it declares, that it imports only from
# Windows' own DLLs and no function that Windows XP SP3 lacks, and that it
# carries its version resource.
#
# Usage: pe_check.sh OBJDUMP WINDRES EXE BITS LIST
#   BITS  32 or 64; LIST  the functions that came after XP SP3
set -uo pipefail
[ $# -eq 5 ] || { echo "usage: $0 OBJDUMP WINDRES EXE BITS LIST"; exit 2; }
objdump=$1 windres=$2 exe=$3 bits=$4 list=$5
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

headers=$("$objdump" -p "$exe") || { echo "FAIL: $objdump cannot read $exe"; exit 1; }
field() { awk -v f="$1" '$1 == f { print $2; exit }' <<<"$headers"; }

# The processor and the oldest Windows that may load the program: XP for
# 32-bit, XP x64 (5.02, the oldest a 64-bit Windows has) for 64-bit.
if [ "$bits" = 32 ]; then
  format=pei-i386 want_os=5.1
else
  format=pei-x86-64 want_os=5.2
fi
grep -q "file format $format" <<<"$headers" || fail "not a $format program"
subsystem="$(field MajorSubsystemVersion).$(field MinorSubsystemVersion)"
os="$(field MajorOSystemVersion).$(field MinorOSystemVersion)"
[ "$subsystem" = "$want_os" ] || fail "subsystem version $subsystem, expected $want_os"
[ "$os" = "$want_os" ] || fail "operating system version $os, expected $want_os"
grep -q 'Subsystem.*(Windows CUI)' <<<"$headers" || fail "not a console program"

# DLL<TAB>function for every import.
imports=$(awk '
  /^\tDLL Name: / { dll = tolower($3); next }
  /^$/ { dll = "" }
  dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print dll "\t" $NF }' <<<"$headers")
[ -n "$imports" ] || fail "no imports read from $exe"

own_dlls=" kernel32.dll msvcrt.dll user32.dll advapi32.dll shell32.dll ws2_32.dll ntdll.dll "
while read -r dll; do
  [[ "$own_dlls" == *" $dll "* ]] || fail "imports from $dll, which Windows does not have"
done < <(cut -f1 <<<"$imports" | sort -u)

later=$(grep -v -e '^#' -e '^$' "$list" | sort -u)
while IFS=$'\t' read -r dll fn; do
  if grep -qxF "$fn" <<<"$later"; then
    fail "imports $fn from $dll: Windows XP SP3 does not have it"
  elif [ "$dll" = msvcrt.dll ] && [[ "$fn" == *_s ]]; then
    fail "imports $fn from msvcrt.dll: XP's msvcrt has no secure variants"
  fi
done <<<"$imports"

# The version resource that the file's properties show.
resource=$("$windres" -i "$exe" -O rc 2>&1) || fail "no resources read: $resource"
for value in '"ProductName", "Quorvane"' '"FileVersion", "[0-9]+\.[0-9]+\.[0-9]+"' \
  "\"FileDescription\", \"[^\"]+ \\($bits-bit\\)\""; do
  grep -qE "VALUE $value" <<<"$resource" || fail "version resource lacks $value"
done

echo "$(basename "$exe") ($bits-bit) imports $(wc -l <<<"$imports") functions:"
cut -f2 <<<"$imports" | sort | tr '\n' ' ' | fold -s -w 78
echo
if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "passed"

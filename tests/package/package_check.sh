#!/usr/bin/env bash
# Makes the package as the package target does and checks what the operator
# gets: one zip holding the two programs, each as pe_check.sh wants it, and
# the guide, plain text with CRLF line ends and this build's host names.
#
# Usage: package_check.sh CPACK_CONFIG SCRATCH ARCHIVE_HOST WEB_HOST
# The environment names the tools: OBJDUMP32, WINDRES32, OBJDUMP64, WINDRES64.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -eq 4 ] || { echo "usage: $0 CPACK_CONFIG SCRATCH ARCHIVE_HOST WEB_HOST"; exit 2; }
config=$1 scratch=$2 archive_host=$3 web_host=$4
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

rm -rf "$scratch" && mkdir -p "$scratch"
cpack --config "$config" -B "$scratch" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; echo "FAIL: cpack"; exit 1; }
zips=("$scratch"/*.zip)
[ ${#zips[@]} -eq 1 ] && [ -f "${zips[0]}" ] || { echo "FAIL: not one zip: ${zips[*]}"; exit 1; }
zip=${zips[0]}
top=$(basename "$zip" .zip)

listing=$(cd "$scratch" && cmake -E tar tf "$zip" | grep -v '/$' | LC_ALL=C sort | tr '\n' ' ')
want="$top/32-bit/quorvane.exe $top/64-bit/quorvane.exe $top/operator-guide.txt "
[ "$listing" = "$want" ] || fail "the zip holds '$listing', expected '$want'"

mkdir -p "$scratch/unpacked"
(cd "$scratch/unpacked" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
dir=$scratch/unpacked/$top
list=$here/../pe/after_xp_sp3.txt
bash "$here/../pe/pe_check.sh" "$OBJDUMP32" "$WINDRES32" "$dir/32-bit/quorvane.exe" 32 "$list" ||
  fail "32-bit program"
bash "$here/../pe/pe_check.sh" "$OBJDUMP64" "$WINDRES64" "$dir/64-bit/quorvane.exe" 64 "$list" ||
  fail "64-bit program"
for bits in 32 64; do
  tool=WINDRES$bits
  "${!tool}" -i "$dir/$bits-bit/quorvane.exe" -O rc 2>/dev/null |
    grep -qF "\"Archive host $archive_host, web host $web_host\"" ||
    fail "the $bits-bit program does not name the hosts $archive_host and $web_host"
done

guide=$dir/operator-guide.txt
if [ -f "$guide" ]; then
  # Every line ends in CR LF, the last one too; nothing but printable ASCII.
  [ "$(tail -c 2 "$guide" | od -An -tx1 | tr -d ' ')" = 0d0a ] || fail "guide: last line without CR LF"
  bare_lf=$(LC_ALL=C grep -c $'[^\r]$' "$guide")
  [ "$bare_lf" -eq 0 ] || fail "guide: $bare_lf line(s) end without CR"
  LC_ALL=C grep -q $'[^\r -~]' "$guide" && fail "guide: a character that is not plain ASCII"
  LC_ALL=C grep -q '@[A-Z_]*@' "$guide" && fail "guide: a placeholder left: $(grep -o '@[A-Z_]*@' "$guide")"
  for word in "$archive_host" "$web_host" 'c:\Program Files\putty\pscp.exe' FailCM NRQr= \
    'file left in place' 'Exit status of' '2>&1' 'EXIT STATUS'; do
    LC_ALL=C grep -qF -- "$word" "$guide" || fail "guide: nothing on '$word'"
  done
else
  fail "no guide"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed; files in $scratch"
  exit 1
fi
echo "$(basename "$zip"): $(stat -c %s "$zip") bytes, passed"

# Shared by the whole-program runs (run_case.sh) and scripts/demo: a wine
# prefix laid out as the data-acquisition PC, with the stand-ins for PuTTY in
# place and folders that play the two hosts.
#
# Needs WINEPREFIX, QUORVANE_EXE, PSCP_EXE, PLINK_EXE, ARCHIVE_HOST, WEB_HOST.
# fixture_reset sets drive_c and run_dir (c:\run, quorvane.exe's current
# directory, which holds pscp.exe for the mirror and receives temp.txt).

fixture_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

wine_run() { "$fixture_repo/scripts/wine-run" "$@"; }

# The Linux path of a folder of a stand-in host: host_dir HOST /ABSOLUTE/PATH
host_dir() { printf '%s/hosts/%s%s' "$drive_c" "$1" "$2"; }

fixture_reset() {
  wine_run --prefix </dev/null
  drive_c=$WINEPREFIX/drive_c
  run_dir=$drive_c/run
  rm -rf "$drive_c/vesk" "$drive_c/httpd" "$drive_c/hosts" "$run_dir" \
    "$drive_c/Program Files/putty"
  mkdir -p "$drive_c/vesk/data/latest" "$drive_c/vesk/data/stored" "$drive_c/httpd" \
    "$(host_dir "$ARCHIVE_HOST" /home/kofra)" "$(host_dir "$ARCHIVE_HOST" /home/rirezeda)" \
    "$(host_dir "$WEB_HOST" /home/tamrik)" \
    "$(host_dir "$WEB_HOST" /usr/httpd/htdocs/zuraziz/Corvatine/Zavidovi)" \
    "$drive_c/Program Files/putty" "$run_dir"
  cp "$PSCP_EXE" "$PLINK_EXE" "$drive_c/Program Files/putty/"
  cp "$PSCP_EXE" "$run_dir/"
  cp "$QUORVANE_EXE" "$run_dir/quorvane.exe"
  : >"$drive_c/hosts/journal.txt"
}

# fixture_fail STEP STATUS: makes the stand-ins' STEP fail with STATUS.
fixture_fail() { printf '%s %s\n' "$1" "$2" >>"$drive_c/hosts/control.txt"; }

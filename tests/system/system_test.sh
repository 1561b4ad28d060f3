#!/usr/bin/env bash
# The system test: quorvane.exe under wine, with the real PuTTY tools (through
# the bridge) against an OpenSSH server of its own on 127.0.0.1.
#
# Usage: system_test.sh QUORVANE_EXE BRIDGE_DIR STATE_DIR HOLDER_EXE
#   QUORVANE_EXE  built with ARCHIVE_HOST 127.0.0.1 and WEB_HOST localhost
#   BRIDGE_DIR    holds the bridge's pscp.exe and plink.exe
#   STATE_DIR     kept between runs (the wine prefix); the rest is scratch
#   HOLDER_EXE    file_holder.exe, another program of the PC holding a file
#
# The accounts, their homes, /usr/httpd and the server exist only inside a
# mount and PID namespace of this test: when it ends, however it ends, the
# kernel stops every process in it and the mounts are gone. Where it can,
# the test also has a network namespace of its own, so that two runs of it
# never meet on a port; runs from several worktrees still share the CPU, so
# run them one at a time where that matters
# (flock /tmp/quorvane-system.lock ...).
#
# After the scenarios of a delivery in which everything works or a tool
# fails, the fault matrix: other programs holding a data file or temp.txt,
# two runs at once, the whole process tree killed at chosen moments, the
# server killed mid-upload, an archive directory that cannot be written and
# a full archive disk. The bridge places each fault (see
# putty_bridge_win32.cpp); each scenario ends by checking every file by
# checksum, and says where each one ended.
#
# Exit status: 0 passed, 1 failed, 77 skipped (the reason on standard output).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../scripts/wine-run
skip() {
  echo "SKIPPED: $*"
  exit 77
}
die() {
  echo "FAILED: $*"
  exit 1
}

[ $# -eq 4 ] || die "usage: $0 QUORVANE_EXE BRIDGE_DIR STATE_DIR HOLDER_EXE"
exe=$(realpath "$1")
bridge_dir=$(realpath "$2")
state=$(mkdir -p "$3" && realpath "$3")
holder_exe=$(realpath "$4")

if [ -z "${QUORVANE_SYSTEM_INSIDE:-}" ]; then
  [ "$(id -u)" -eq 0 ] || skip "not root: the test makes the accounts kofra and tamrik and starts sshd"
  for tool in pscp plink /usr/sbin/sshd ssh-keygen wine wineserver unshare perl; do
    command -v "$tool" >/dev/null ||
      skip "$tool is missing (packages putty-tools, openssh-server, wine64, util-linux, perl)"
  done
  [ -f "$exe" ] || die "no program under test: $exe"
  "$wine_run" --can-run "$exe" || exit 77
  [ -f "$bridge_dir/pscp.exe" ] && [ -f "$bridge_dir/plink.exe" ] || die "no bridge in $bridge_dir"
  [ -f "$holder_exe" ] || die "no file holder: $holder_exe"
  unshare --mount --pid --fork --kill-child --mount-proc true 2>/dev/null ||
    skip "no mount and PID namespace can be made here"
  net=
  if command -v ip >/dev/null && unshare --net true 2>/dev/null; then net=--net; fi
  QUORVANE_SYSTEM_INSIDE=1 QUORVANE_SYSTEM_NET=$net exec unshare --mount --propagation private \
    --pid $net --fork --kill-child --mount-proc "$0" "$@"
fi

# ---------------------------------------------------------------- set-up ----

# Only ever as the first process of the namespace: the mounts below must
# never touch the machine's own /home, /usr or account files.
[ "$$" -eq 1 ] || die "set-up outside a namespace of its own refused"

if [ -n "${QUORVANE_SYSTEM_NET:-}" ]; then
  ip link set lo up || die "cannot bring up the loopback of the test's network namespace"
fi

scratch=$state/ns
mkdir -p "$scratch"
mount -t tmpfs -o mode=755 quorvane-system "$scratch" || skip "cannot mount a tmpfs here"
mkdir -p "$scratch/log" "$scratch/orig" "$scratch/puttyhome"

# A writable layer over a directory, visible only in this namespace.
overlay() {
  local dir=$1 name
  name=$(tr / _ <<<"$dir")
  mkdir -p "$scratch/$name-upper" "$scratch/$name-work"
  mount -t overlay overlay \
    -o "lowerdir=$dir,upperdir=$scratch/$name-upper,workdir=$scratch/$name-work" "$dir" ||
    skip "cannot lay an overlay over $dir here"
}
overlay /usr
[ -d /run/sshd ] || { overlay /run && mkdir -p /run/sshd; }
mount -t tmpfs -o mode=755 quorvane-home /home || skip "cannot mount a tmpfs on /home here"

# The accounts: copies of the account files with kofra and tamrik added,
# bound over the real ones. Password changes rewrite the copy in place.
for f in passwd group shadow; do
  grep -vE '^(kofra|tamrik):' "/etc/$f" >"$scratch/$f"
done
free_id() {
  local id=$1
  while cut -d: -f3 "$scratch/passwd" "$scratch/group" | grep -qx "$id"; do id=$((id + 1)); done
  echo "$id"
}
hash_password() { perl -e 'print crypt($ARGV[0], "\$6\$" . $ARGV[1] . "\$")' "$1" "$RANDOM$RANDOM"; }
shadow_line() { echo "$1:$(hash_password "$2"):19000:0:99999:7:::"; }
for user in kofra tamrik; do
  id=$(free_id 43100)
  echo "$user:x:$id:$id::/home/$user:/bin/sh" >>"$scratch/passwd"
  echo "$user:x:$id:" >>"$scratch/group"
done
shadow_base=$(cat "$scratch/shadow")
set_passwords() {  # KOFRA_PASSWORD; tamrik's stays 7Qa518
  printf '%s\n%s\n%s\n' "$shadow_base" "$(shadow_line kofra "$1")" \
    "$(shadow_line tamrik 7Qa518)" >"$scratch/shadow"
}
set_passwords malkory
for f in passwd group shadow; do
  mount --bind "$scratch/$f" "/etc/$f" || skip "cannot bind a copy over /etc/$f here"
done

archive=/home/rirezeda
webdir=/usr/httpd/htdocs/zuraziz/Corvatine/Zavidovi
make_remote_dirs() {
  install -d -o kofra -g kofra -m 755 /home/kofra "$archive"
  install -d -o tamrik -g tamrik -m 755 /home/tamrik "$webdir"
}
make_remote_dirs

# The server: own host key, own configuration, a free port above 1024.
ssh-keygen -q -t ed25519 -N '' -C quorvane-system -f "$scratch/host_key" || die "ssh-keygen failed"
hostkey=$(ssh-keygen -l -E sha256 -f "$scratch/host_key.pub" | awk '{print $2}')
port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
sshd_pid=
start_sshd() {
  cat >"$scratch/sshd_config" <<EOF
Port $port
ListenAddress 127.0.0.1
HostKey $scratch/host_key
PidFile $scratch/sshd.pid
PasswordAuthentication yes
KbdInteractiveAuthentication no
PubkeyAuthentication no
UsePAM no
PermitRootLogin no
AllowUsers kofra tamrik
Subsystem sftp internal-sftp
LogLevel VERBOSE
EOF
  # Listening, by its own word: another program may hold the port.
  local listening="Server listening on 127.0.0.1 port $port." before
  before=$(grep -cF "$listening" "$scratch/log/sshd.log" 2>/dev/null)
  /usr/sbin/sshd -D -e -f "$scratch/sshd_config" 2>>"$scratch/log/sshd.log" &
  sshd_pid=$!
  for _ in $(seq 100); do
    kill -0 "$sshd_pid" 2>/dev/null || return 1
    [ "$(grep -cF "$listening" "$scratch/log/sshd.log")" -gt "${before:-0}" ] && return 0
    sleep 0.1
  done
  return 1
}
stop_sshd() {
  [ -n "$sshd_pid" ] || return 0
  kill "$sshd_pid" 2>/dev/null
  wait "$sshd_pid" 2>/dev/null
  sshd_pid=
}
started=
for _ in $(seq 20); do
  port=$((20000 + RANDOM % 40000))
  port_in_use "$port" && continue
  if start_sshd; then
    started=1
    break
  fi
  stop_sshd
done
[ -n "$started" ] || { cat "$scratch/log/sshd.log"; die "sshd did not start"; }

# The prefix, the bridge where the commands find it, the fixed directories.
export WINEPREFIX=$state/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  stop_sshd
  wineserver -k 2>/dev/null
  # Consoles, journals and the server's log outlive the scratch space.
  rm -rf "$state/logs" && cp -r "$scratch/log" "$state/logs"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
# Every Windows program runs through scripts/wine-run, which makes the prefix
# and picks the loader that this machine can run.
"$wine_run" --prefix
# One wine session for all runs, as one boot of the PC: a server that stays
# when no program runs. Restarting it (restart_wine) plays a reboot.
wineserver -k 2>/dev/null
wineserver -w
wineserver -p
c=$WINEPREFIX/drive_c
rm -rf "$c/bridge" "$c/run" "$c/vesk" "$c/httpd"
mkdir -p "$c/bridge" "$c/run" "$c/Program Files/putty" "$c/vesk/data/latest" \
  "$c/vesk/data/stored" "$c/httpd"
for tool in pscp plink; do
  cp "$bridge_dir/$tool.exe" "$c/Program Files/putty/$tool.exe"
  cp "$bridge_dir/$tool.exe" "$c/run/$tool.exe"
done
cat >"$c/bridge/conf.txt" <<EOF
port=$port
hostkey=$hostkey
pscp=$(command -v pscp)
plink=$(command -v plink)
runner=$here/bridge_runner.sh
home=$scratch/puttyhome
proxy=$here/stall_proxy.pl
EOF
cp "$holder_exe" "$c/bridge/file_holder.exe"
# PuTTY sends connections to this host past a proxy unless told otherwise;
# the stalled uploads go through one (stall_proxy.pl).
mkdir -p "$scratch/puttyhome/.putty/sessions"
echo 'ProxyLocalhost=1' >"$scratch/puttyhome/.putty/sessions/Default%20Settings"
latest=$c/vesk/data/latest
stored=$c/vesk/data/stored
journal=$c/bridge/journal.txt

# ---------------------------------------------------------------- checks ----

failures=0
scenario=
fail() {
  echo "FAIL [$scenario]: $*"
  failures=$((failures + 1))
}

# run_feed [--keep-temp]: one whole run of the program in c:\run, its console
# (standard output and error, as they interleave) in $console, its status in
# $status. temp.txt is removed first, from the Linux side, unless the run is
# to meet what the earlier runs of the same wine session left.
run_feed() {
  [ "${1:-}" = --keep-temp ] || rm -f "$c/run/temp.txt"
  : >"$journal"
  console=$scratch/log/$scenario.console
  local t0=$SECONDS
  (cd "$c/run" && "$wine_run" "$exe" </dev/null >"$console" 2>&1)
  status=$?
  cp "$journal" "$scratch/log/$scenario.journal"
  echo "  run took $((SECONDS - t0)) s, exit status $status"
}

# A data file with content of its own, mode 644 so that the group write seen
# on the archive comes from the chmod command alone; a copy kept to compare.
make_data() {
  local name=$1 size=${2:-4000}
  {
    echo "data file $name"
    head -c "$size" /dev/urandom
  } >"$latest/$name"
  chmod 644 "$latest/$name"
  cp -p "$latest/$name" "$scratch/orig/$name"
}

# The local web directory: two files with old times, and a subdirectory
# that pscp without -r refuses.
make_web() {
  echo '<html>Zavidovi</html>' >"$c/httpd/index.html"
  echo 'status: ok' >"$c/httpd/status.txt"
  touch -d '2001-02-03 04:05:06' "$c/httpd/index.html"
  touch -d '2011-12-13 14:15:16' "$c/httpd/status.txt"
  mkdir -p "$c/httpd/img" && echo logo >"$c/httpd/img/logo.txt"
}

reset_sides() {
  rm -rf "${latest:?}"/* "${stored:?}"/* "$c/httpd"/* "${archive:?}"/* "${webdir:?}"/*
  rm -rf "$scratch/orig"/* "$scratch/earlier"
  make_web
}

# Expected console: program lines, one a line, with @HANDLE@@@@ (11 columns),
# @DATE@@@ and @TIME@@@ (8 each) where a run differs.
# Each console line (ended by CR LF before the next record) must begin with
# its expected program line; what follows on it is the tools' own output.
expect_console() {
  local expected=$scratch/log/$scenario.expected
  cat >"$expected"
  awk -v expfile="$expected" '
    function quote(s,   out, i, ch) {
      out = ""
      for (i = 1; i <= length(s); i++) {
        ch = substr(s, i, 1)
        if (index("\\^$.[]|()*+?{}", ch)) out = out "\\" ch; else out = out ch
      }
      return out
    }
    function times(s, n,   out) { out = ""; while (n-- > 0) out = out s; return out }
    BEGIN {
      n = 0
      while ((getline line < expfile) > 0) {
        re = quote(line)
        d = "[ 0-9][ 0-9]"
        gsub(/@HANDLE@@@@/, times("[ 0-9-]", 11), re)
        gsub(/@DATE@@@/, d "-" d "-" d, re)
        gsub(/@TIME@@@/, d ":" d ":" d, re)
        pat[++n] = "^" re; text[n] = line
      }
      RS = "\r\n"
    }
    { chunk[++m] = $0 }
    END {
      while (m > 0 && chunk[m] == "") m--
      bad = 0
      for (i = 1; i <= n || i <= m; i++) {
        if (i > m) { print "  line " i ": missing, expected [" text[i] "]"; bad = 1; continue }
        if (i > n) { print "  line " i ": unexpected [" chunk[i] "]"; bad = 1; continue }
        if (chunk[i] !~ pat[i]) {
          print "  line " i ": expected [" text[i] "]"; print "  line " i ":      got [" chunk[i] "]"
          bad = 1
        }
      }
      exit bad
    }' "$console" || fail "console differs from the expected lines (above)"
}

# The console line (CR LF ended) that begins with $1, tool output included.
console_line() { awk -v RS='\r\n' -v p="$1" 'index($0, p) == 1' "$console"; }

# Expected program lines of one cycle.
pad() { printf '%-*s' "$1" "$2"; }
start_lines() {
  echo 'hndl=         -1'
  echo 'hndl=         -1 file$last=         -2leng=           0'
}
cycle_lines() {  # NAME: the lines up to the inquiry
  pad 42 'ffiles=c:\vesk\data\latest\LR*.B_G'
  echo
  printf 'hndl=@HANDLE@@@@ file$last=         -2leng=%12d\n' "${#1}"
  echo " file found:  $1"
  echo "In RUNIN, INFILE = [$(pad 40 "c:\\vesk\\data\\latest\\$1")]"
}
record_line() {  # MARK NAME NRQ: the record line as the console shows it
  local line
  line=$(printf '%s [c:\\vesk\\data\\latest\\%s] on @DATE@@@. At @TIME@@@. NRQr=%5d' "$1" "$2" "$3")
  pad 119 "$line"
  echo
}
delivered_lines() {  # NAME NRQ
  cycle_lines "$1"
  echo "About to move file named [$(pad 40 "c:\\vesk\\data\\latest\\$1")]"
  record_line '   Did' "$1" "$2"
}
upload_failed_lines() {  # NAME STATUS NRQ
  cycle_lines "$1"
  printf 'Exit status of pscp :%10d\n' "$2"
  record_line FailCM "$1" "$3"
}
end_lines() {
  pad 42 'ffiles=c:\vesk\data\latest\LR*.B_G'
  echo
  echo 'hndl=         -2 file$last=         -2leng=           0'
  echo '**Quorvane NORMAL TERMINATION***'
}

# Journal: tool, status, the command line as the interpreter gave it, the
# arguments handed to the Linux tool.
calls() {  # KIND: mirror upload chmod mv
  case $1 in
    mirror) awk -F'\t' '$1 == "pscp" && $3 ~ / -l tamrik /' "$journal" ;;
    upload) awk -F'\t' '$1 == "pscp" && $3 ~ / -l kofra /' "$journal" ;;
    chmod) awk -F'\t' '$1 == "plink" && $3 ~ / chmod g\+w /' "$journal" ;;
    mv) awk -F'\t' '$1 == "plink" && $3 ~ / mv /' "$journal" ;;
  esac
}
expect_calls() {  # KIND COUNT
  local n
  n=$(calls "$1" | wc -l)
  [ "$n" -eq "$2" ] || fail "$1 ran $n times, expected $2"
}

expect_status() { [ "$status" -eq "$1" ] || fail "exit status $status, expected $1"; }

expect_delivered() {  # NAME: on the archive under its own name, whole, group-writable; stored
  local name=$1 mode
  if [ ! -f "$archive/$name" ]; then
    fail "$name is not on the archive"
  else
    cmp -s "$archive/$name" "$scratch/orig/$name" || fail "$name on the archive differs from the file"
    mode=$(stat -c %a "$archive/$name")
    [ $((8#$mode & 8#020)) -ne 0 ] || fail "$name on the archive has mode $mode, no group write"
    [ "$(stat -c %U "$archive/$name")" = kofra ] || fail "$name on the archive is not kofra's"
  fi
  [ ! -e "$latest/$name" ] || fail "$name is still in the latest directory"
  cmp -s "$stored/$name" "$scratch/orig/$name" || fail "$name is not (whole) in the stored directory"
}

expect_kept() {  # NAME: still in the latest directory, not stored, not on the archive
  local name=$1
  cmp -s "$latest/$name" "$scratch/orig/$name" || fail "$name did not stay whole in the latest directory"
  [ ! -e "$stored/$name" ] || fail "$name was moved to the stored directory"
  [ ! -e "$archive/$name" ] || fail "$name is on the archive under its name"
}

expect_archive_holds() {  # NAMES...: exactly these entries in ../rirezeda/
  local have want
  have=$(ls -A "$archive" 2>/dev/null | sort | tr '\n' ' ')
  want=$(printf '%s\n' "$@" | sed '/^$/d' | sort | tr '\n' ' ')
  [ "$have" = "$want" ] || fail "archive holds [$have], expected [$want]"
}

expect_in_console() {  # TEXT: somewhere on the console (tools' output)
  grep -qF -- "$1" "$console" || fail "console lacks [$1]"
}

# ------------------------------------------------------------- scenarios ----


total0=$SECONDS

scenario="1 two files and the web directory"
echo "=== $scenario"
reset_sides
make_data LR0001.B_G
make_data LR0002.B_G 9000
run_feed
expect_status 0
expect_console < <(
  start_lines
  delivered_lines LR0001.B_G 0
  delivered_lines LR0002.B_G 0
  end_lines
)
for name in LR0001.B_G LR0002.B_G; do expect_delivered "$name"; done
expect_archive_holds LR0001.B_G LR0002.B_G
for f in index.html status.txt; do
  if cmp -s "$webdir/$f" "$c/httpd/$f"; then
    [ "$(stat -c %Y "$webdir/$f")" = "$(stat -c %Y "$c/httpd/$f")" ] ||
      fail "web file $f lost its modification time"
  else
    fail "web file $f is not (whole) on the web host"
  fi
done
[ ! -e "$webdir/img" ] || fail "the web subdirectory was copied without -r"
# Each cycle's mirror prints on the console, after that cycle's hndl= line.
n=$(console_line 'hndl=' | grep -c 'index.html')
[ "$n" -eq 3 ] || fail "mirror output follows $n hndl= lines, expected 3"
# The uploads' output goes to temp.txt, which each upload replaces.
grep -q 'LR0002.B_G.*100%' "$c/run/temp.txt" 2>/dev/null && ! grep -q 'LR0001' "$c/run/temp.txt" ||
  fail "temp.txt does not hold the last upload's output alone: [$(cat "$c/run/temp.txt" 2>&1)]"
! grep -q 'LR000[12]\.B_G  *|' "$console" || fail "an upload's output reached the console"
[ -z "$({ calls upload; calls chmod; calls mv; } | cut -f2 | grep -vx 0)" ] ||
  fail "a delivery step reported failure"
expect_calls mirror 3
expect_calls upload 2
expect_calls chmod 2
expect_calls mv 2

scenario="2 archive refuses the login"
echo "=== $scenario"
reset_sides
make_data LR0003.B_G
make_data LR0004.B_G 7000
# What an earlier upload left: a rename after a failed upload would put it
# on the archive under this file's name.
echo 'stale content of an earlier upload' >"$archive/NextB_G"
chown kofra:kofra "$archive/NextB_G"
set_passwords not-malkory
run_feed
set_passwords malkory
expect_status 0
pscp_status=$(calls upload | head -n 1 | cut -f2)
[ "${pscp_status:-0}" -ne 0 ] || fail "the refused upload reported status ${pscp_status:-none}"
expect_console < <(
  start_lines
  upload_failed_lines LR0003.B_G "${pscp_status:-0}" 0
  upload_failed_lines LR0004.B_G "${pscp_status:-0}" 0
  end_lines
)
expect_calls upload 2
expect_calls chmod 0
expect_calls mv 0
for name in LR0003.B_G LR0004.B_G; do expect_kept "$name"; done
expect_archive_holds NextB_G

scenario="6 second run after the refused login"
echo "=== $scenario"
run_feed
expect_status 0
expect_console < <(
  start_lines
  delivered_lines LR0003.B_G 0
  delivered_lines LR0004.B_G 0
  end_lines
)
for name in LR0003.B_G LR0004.B_G; do expect_delivered "$name"; done
expect_archive_holds LR0003.B_G LR0004.B_G

scenario="3 server down"
echo "=== $scenario"
reset_sides
make_data LR0005.B_G
make_data LR0006.B_G
stop_sshd
run_feed
start_sshd || die "sshd did not start again"
expect_status 0
pscp_status=$(calls upload | head -n 1 | cut -f2)
expect_console < <(
  start_lines
  upload_failed_lines LR0005.B_G "${pscp_status:-0}" 0
  upload_failed_lines LR0006.B_G "${pscp_status:-0}" 0
  end_lines
)
[ "$(calls upload | cut -f2 | grep -cvx 0)" -eq 2 ] || fail "not every upload failed"
n=$(console_line 'hndl=' | grep -c 'Connection refused')
[ "$n" -eq 3 ] || fail "pscp's own message follows $n of the 3 mirrors"
expect_calls mirror 3
expect_calls chmod 0
expect_calls mv 0
for name in LR0005.B_G LR0006.B_G; do expect_kept "$name"; done
[ -z "$(ls -A "$webdir")" ] || fail "the web host received files while down"

scenario="4 remote directory missing"
echo "=== $scenario"
reset_sides
make_data LR0007.B_G
rmdir "$archive"
run_feed
expect_status 0
pscp_status=$(calls upload | head -n 1 | cut -f2)
[ "${pscp_status:-0}" -ne 0 ] || fail "the upload into a missing directory reported status ${pscp_status:-none}"
expect_console < <(
  start_lines
  upload_failed_lines LR0007.B_G "${pscp_status:-0}" 0
  end_lines
)
expect_calls chmod 0
expect_calls mv 0
expect_kept LR0007.B_G
[ ! -e "$archive" ] || fail "../rirezeda/ came into being"
make_remote_dirs

scenario="5 a data file of 64 MiB"
echo "=== $scenario"
reset_sides
make_data LR0008.B_G $((64 * 1024 * 1024 - 21))  # with its 21-byte first line
run_feed
expect_status 0
expect_console < <(
  start_lines
  delivered_lines LR0008.B_G 0
  end_lines
)
expect_delivered LR0008.B_G
sum_local=$(sha256sum <"$scratch/orig/LR0008.B_G" | cut -d' ' -f1)
sum_archive=$(sha256sum <"$archive/LR0008.B_G" 2>/dev/null | cut -d' ' -f1)
echo "  sha256 local $sum_local, archive $sum_archive, $(stat -c %s "$archive/LR0008.B_G" 2>/dev/null) bytes"
[ "$sum_local" = "$sum_archive" ] || fail "checksums differ"

# ---------------------------------------------------------- fault matrix ----

# run_bg: a run as run_feed, started without waiting for it; run_wait
# collects it.
run_bg() {
  rm -f "$c/run/temp.txt"
  : >"$journal"
  console=$scratch/log/$scenario.console
  bg_t0=$SECONDS
  (cd "$c/run" && exec "$wine_run" "$exe" </dev/null >"$console" 2>&1) &
  bg_pid=$!
}
run_wait() {
  wait "$bg_pid"
  status=$?
  cp "$journal" "$scratch/log/$scenario.journal"
  echo "  run took $((SECONDS - bg_t0)) s, exit status $status"
}

# wait_for FILE SECONDS WHAT / wait_for_text FILE TEXT SECONDS WHAT
wait_for() {
  local tries=$(($2 * 10))
  until [ -e "$1" ]; do
    [ $((tries -= 1)) -gt 0 ] || { fail "$3: not within $2 s"; return 1; }
    sleep 0.1
  done
}
wait_for_text() {
  local tries=$(($3 * 10))
  until grep -qF -- "$2" "$1" 2>/dev/null; do
    [ $((tries -= 1)) -gt 0 ] || { fail "$4: not within $3 s"; return 1; }
    sleep 0.1
  done
}

# The bridge's points of a fault (putty_bridge_win32.cpp).
bridge_hold() {  # "KIND before|after": the call of that kind stops there
  rm -f "$c/bridge/reached.txt"
  echo "$1" >"$c/bridge/hold.txt"
}
bridge_release() { rm -f "$c/bridge/hold.txt" "$c/bridge/reached.txt"; }
bridge_stall() {  # BYTES: uploads stand still after that many bytes
  rm -f "$c/bridge/stalled.txt"
  echo "$1" >"$c/bridge/stall.txt"
}
# stall_mid_upload: starts a run in the background and returns once its upload
# stands still after 4 MiB, so that a fault falls in the middle of it.
stall_mid_upload() {
  bridge_stall $((4 * 1024 * 1024))
  run_bg
  wait_for "$c/bridge/stalled.txt" 60 "the upload standing still part-way"
  sleep 0.5
}
bridge_unstall() { rm -f "$c/bridge/stall.txt" "$c/bridge/stalled.txt"; }

# PID and every process below it.
descendants() {
  local -A parent
  local f s pid fields
  for f in /proc/[0-9]*/stat; do
    s=$(cat "$f" 2>/dev/null) || continue
    pid=${f#/proc/}
    read -ra fields <<<"${s##*) }"
    parent[${pid%/stat}]=${fields[1]}
  done
  local list=("$1") i=0 p
  while [ "$i" -lt "${#list[@]}" ]; do
    for p in "${!parent[@]}"; do
      [ "${parent[$p]}" = "${list[$i]}" ] && list+=("$p")
    done
    i=$((i + 1))
  done
  echo "${list[@]}"
}

# kill -9 of a run and everything it started (its interpreter, the bridge,
# the Linux runner, the real tool, the proxy), all in one moment; wine's own
# services of the session stay, as Windows' would. Wine starts each process
# detached from its parent, so the run's processes are told by their names:
# in this namespace only the run has such processes (the server's sessions
# aside).
kill_tree() {
  local -A server
  local p name pids=() names=""
  for p in $(descendants "$sshd_pid"); do server[$p]=1; done
  for p in /proc/[0-9]*; do
    p=${p#/proc/}
    [ -z "${server[$p]:-}" ] || continue
    name=$(cat "/proc/$p/comm" 2>/dev/null) || continue
    case $name in
      quorvane.exe | cmd.exe | conhost.exe | pscp.exe | plink.exe | sh | pscp | plink | perl) ;;
      *) continue ;;
    esac
    pids+=("$p")
    names+=" $name"
  done
  kill -STOP "${pids[@]}" 2>/dev/null
  kill -KILL "${pids[@]}" 2>/dev/null
  { wait "$bg_pid"; } 2>/dev/null
  status=$?
  cp "$journal" "$scratch/log/$scenario.journal"
  echo "  killed:$names"
}

# A reboot of the PC: every wine process ends, the server starts anew.
restart_wine() {
  wineserver -k
  wineserver -w
  wineserver -p
}

# The server killed: the listener and every session, at once.
kill_sshd() {
  # shellcheck disable=SC2046
  kill -KILL $(descendants "$sshd_pid")
  wait "$sshd_pid" 2>/dev/null
  sshd_pid=
}

# Another program of the PC holding a file (file_holder_win32.cpp):
# holder_start TAG MODE WINDOWS_PATH ... holder_stop TAG.
declare -A holder_pid
holder_start() {
  rm -f "$c/bridge/$1.ready" "$c/bridge/$1.stop"
  (exec "$wine_run" 'c:\bridge\file_holder.exe' "$2" "$3" "c:\\bridge\\$1.ready" \
    "c:\\bridge\\$1.stop" </dev/null >"$scratch/log/holder.$1" 2>&1) &
  holder_pid[$1]=$!
  wait_for "$c/bridge/$1.ready" 30 "file_holder $2 on $3"
}
holder_stop() {
  : >"$c/bridge/$1.stop"
  wait "${holder_pid[$1]}" || fail "file_holder $1 ended with $?: $(cat "$scratch/log/holder.$1")"
}

# Content that an earlier delivery left: earlier_file NAME, kept for naming
# what NextB_G holds.
earlier_file() {
  mkdir -p "$scratch/earlier"
  echo "earlier content of $1, $RANDOM$RANDOM" >"$scratch/earlier/$1"
}
# NextB_G on the archive as an earlier delivery of NAME left it.
stale_nextb() {
  earlier_file "$1"
  cp "$scratch/earlier/$1" "$archive/NextB_G"
  chown kofra:kofra "$archive/NextB_G"
}

found_names() { awk -v RS='\r\n' 'index($0, " file found:  ") == 1 { print substr($0, 15) }' "$console"; }
found_lines() {  # NAME: the lines of a cycle up to its " file found:"
  pad 42 'ffiles=c:\vesk\data\latest\LR*.B_G'
  echo
  printf 'hndl=@HANDLE@@@@ file$last=         -2leng=%12d\n' "${#1}"
  echo " file found:  $1"
}
upload_not_run_lines() {  # NAME NRQ
  cycle_lines "$1"
  echo 'Upload not run: temp.txt cannot be removed'
  record_line FailCM "$1" "$2"
}

# What NextB_G (or any file) holds: which file's content, whole or in part.
what_is() {
  local size f
  size=$(stat -c %s "$1")
  [ "$size" -gt 0 ] || { echo "empty"; return; }
  for f in "$scratch/orig"/* "$scratch/earlier"/*; do
    [ -f "$f" ] || continue
    if cmp -s "$1" "$f"; then
      echo "${f##*/} whole"
      return
    fi
    if [ "$size" -lt "$(stat -c %s "$f")" ] && cmp -s -n "$size" "$1" "$f"; then
      echo "the first $size bytes of ${f##*/}"
      return
    fi
  done
  echo "$size bytes of other content"
}

# Every file of the scenario, by checksum: under its own name on the archive
# only with its own whole content; gone from the latest directory only when
# it is so on the archive and whole in the stored directory; nothing else on
# the archive under a final name. Then where each file ended, for the record.
check_every_file() {
  local f name want at where=""
  for f in "$scratch/orig"/*; do
    [ -f "$f" ] || continue
    name=${f##*/}
    want=$(sha256sum <"$f" | cut -c1-64)
    at=""
    if [ -e "$archive/$name" ]; then
      if [ "$(sha256sum <"$archive/$name" | cut -c1-64)" = "$want" ]; then
        at+=" archive"
      else
        fail "$name is on the archive under its own name with other content: $(what_is "$archive/$name")"
        at+=" archive(OTHER CONTENT)"
      fi
    fi
    if [ -e "$latest/$name" ]; then
      [ "$(sha256sum <"$latest/$name" | cut -c1-64)" = "$want" ] || fail "$name changed in latest"
      at+=" latest"
    elif [ ! -e "$archive/$name" ]; then
      fail "$name left the latest directory but is not on the archive"
    fi
    if [ -e "$stored/$name" ]; then
      [ "$(sha256sum <"$stored/$name" | cut -c1-64)" = "$want" ] || fail "$name not whole in stored"
      at+=" stored"
    elif [ ! -e "$latest/$name" ]; then
      fail "$name is neither in the latest nor in the stored directory"
    fi
    where+="; $name in${at:- no place}"
  done
  for f in "$archive"/*; do
    [ -e "$f" ] || continue
    name=${f##*/}
    if [ "$name" = NextB_G ]; then
      where+="; archive NextB_G: $(what_is "$f")"
    elif [ ! -f "$scratch/orig/$name" ]; then
      fail "the archive holds $name, which is no file of this scenario: $(what_is "$f")"
    fi
  done
  echo "  ended: ${where#; }"
  # The lines that tell how each delivery went.
  local said
  said=$(awk -v RS='\r\n' '/^(   Did|FailCM|Upload not|Exit status|Error number| file left| another run)/ {
      sub(/ on [ 0-9]+- ?[0-9]+-[0-9]+\. At .*/, ""); printf "%s | ", $0 }' "$console")
  echo "  console: ${said% | }"
  printf '[%s] %s\n    console: %s\n' "$scenario" "${where#; }" "${said% | }" \
    >>"$scratch/log/outcomes.txt"
}

# After a killed run: a run in the same wine session, where each file either
# stays with FailCM (wine may still hold temp.txt for the killed
# interpreter) or arrives whole; then, after a restart of the wine server,
# a run that leaves every file on the archive, whole.
runs_after_kill() {
  local base=$scenario name
  scenario="$base; then a run in the same wine session"
  echo "=== $scenario"
  run_feed --keep-temp
  expect_status 0
  local names
  mapfile -t names < <(found_names)
  expect_console < <(
    start_lines
    for name in "${names[@]}"; do
      if grep -qF "FailCM [c:\\vesk\\data\\latest\\$name]" "$console"; then
        upload_not_run_lines "$name" 0
      else
        delivered_lines "$name" 0
      fi
    done
    end_lines
  )
  grep -q 'FailCM' "$console" && echo "  temp.txt was still held: $(grep -c FailCM "$console") FailCM"
  check_every_file
  scenario="$base; then a run after a restart of wine"
  echo "=== $scenario"
  restart_wine
  run_feed --keep-temp
  expect_status 0
  mapfile -t names < <(found_names)
  expect_console < <(
    start_lines
    for name in "${names[@]}"; do delivered_lines "$name" 0; done
    end_lines
  )
  for f in "$scratch/orig"/*; do expect_delivered "${f##*/}"; done
  check_every_file
  scenario=$base
}

scenario="7 a file being written, a file being read"
echo "=== $scenario"
reset_sides
make_data LR0011.B_G
make_data LR0012.B_G
holder_start writer writer 'c:\vesk\data\latest\LR0011.B_G'
holder_start reader reader 'c:\vesk\data\latest\LR0012.B_G'
# The reader holds its file through the check and the upload; it lets go
# before the move, which needs delete access that it does not share.
bridge_hold "upload after"
run_bg
wait_for "$c/bridge/reached.txt" 60 "the upload of the file being read"
holder_stop reader
bridge_release
run_wait
holder_stop writer
expect_status 0
mapfile -t names < <(found_names)
expect_console < <(
  start_lines
  for name in "${names[@]}"; do
    if [ "$name" = LR0011.B_G ]; then
      found_lines "$name"
      echo ' file left in place: still being written'
    else
      delivered_lines "$name" 0
    fi
  done
  end_lines
)
expect_calls upload 1
expect_delivered LR0012.B_G
# What the writer wrote while the run looked at it: the content to deliver.
[ "$(stat -c %s "$latest/LR0011.B_G")" -gt "$(stat -c %s "$scratch/orig/LR0011.B_G")" ] ||
  fail "the writer appended nothing"
cp -p "$latest/LR0011.B_G" "$scratch/orig/LR0011.B_G"
expect_kept LR0011.B_G
expect_archive_holds LR0012.B_G
check_every_file
scenario="7 the written file, after the writer closed it"
echo "=== $scenario"
run_feed
expect_status 0
expect_console < <(
  start_lines
  delivered_lines LR0011.B_G 0
  end_lines
)
expect_delivered LR0011.B_G
check_every_file

scenario="8 two runs at once"
echo "=== $scenario"
reset_sides
make_data LR0021.B_G $((16 * 1024 * 1024))
make_data LR0022.B_G
make_data LR0023.B_G
bridge_hold "upload before"
run_bg
first_console=$console
wait_for "$c/bridge/reached.txt" 60 "the first run's first upload"
second_console=$scratch/log/$scenario.second.console
(cd "$c/run" && exec "$wine_run" "$exe" </dev/null >"$second_console" 2>&1) &
second_pid=$!
wait_for_text "$second_console" ' another run is under way: waiting for it to end' 60 \
  "the second run's waiting record"
sleep 2
[ "$(wc -l <"$second_console")" -eq 0 ] || fail "the second run went on while the first one ran"
bridge_release
run_wait
wait "$second_pid"
second_status=$?
expect_status 0
[ "$second_status" -eq 0 ] || fail "the second run ended with $second_status"
mapfile -t names < <(found_names)
expect_console < <(
  start_lines
  for name in "${names[@]}"; do delivered_lines "$name" 0; done
  end_lines
)
echo "  the first run delivered ${names[*]}"
console=$second_console
mapfile -t second_names < <(found_names)
expect_console < <(
  echo ' another run is under way: waiting for it to end'
  start_lines
  for name in "${second_names[@]}"; do delivered_lines "$name" 0; done
  end_lines
)
echo "  the second run delivered ${second_names[*]:-nothing}"
console=$first_console
expect_calls upload 3
expect_calls mv 3
expect_calls mirror 5
# The second run's only command comes after the first run's last one.
[ "$(tail -n 2 "$journal" | awk -F'\t' '$3 ~ / -l tamrik /' | wc -l)" -eq 2 ] ||
  fail "the runs' commands interleave"
for name in LR0021.B_G LR0022.B_G LR0023.B_G; do expect_delivered "$name"; done
expect_archive_holds LR0021.B_G LR0022.B_G LR0023.B_G
check_every_file

scenario="9 killed during a large upload"
echo "=== $scenario"
reset_sides
make_data LR0031.B_G $((16 * 1024 * 1024))
stall_mid_upload
kill_tree
bridge_unstall
expect_kept LR0031.B_G
check_every_file
runs_after_kill

scenario="10 killed between the upload and the rename"
echo "=== $scenario"
reset_sides
make_data LR0041.B_G
bridge_hold "upload after"
run_bg
wait_for "$c/bridge/reached.txt" 60 "the end of the upload"
kill_tree
bridge_release
expect_kept LR0041.B_G
cmp -s "$archive/NextB_G" "$scratch/orig/LR0041.B_G" || fail "NextB_G is not LR0041.B_G whole"
check_every_file
# A file that a rename of the left-over NextB_G would get wrong.
make_data LR0042.B_G
runs_after_kill

scenario="11 killed between the rename and the move"
echo "=== $scenario"
reset_sides
make_data LR0051.B_G
bridge_hold "rename after"
run_bg
wait_for "$c/bridge/reached.txt" 60 "the end of the rename"
kill_tree
bridge_release
cmp -s "$archive/LR0051.B_G" "$scratch/orig/LR0051.B_G" || fail "LR0051.B_G did not arrive whole"
[ -e "$latest/LR0051.B_G" ] || fail "LR0051.B_G was moved"
check_every_file
runs_after_kill

scenario="12 temp.txt held by another program"
echo "=== $scenario"
reset_sides
stale_nextb LR0060.B_G
make_data LR0061.B_G
holder_start temp exclusive 'c:\run\temp.txt'
run_feed --keep-temp
holder_stop temp
expect_status 0
expect_console < <(
  start_lines
  upload_not_run_lines LR0061.B_G 0
  end_lines
)
expect_calls mirror 2
expect_calls upload 0
expect_calls chmod 0
expect_calls mv 0
expect_kept LR0061.B_G
cmp -s "$archive/NextB_G" "$scratch/earlier/LR0060.B_G" || fail "NextB_G changed"
expect_archive_holds NextB_G
check_every_file
scenario="12 the next run, temp.txt free"
echo "=== $scenario"
run_feed --keep-temp
expect_status 0
expect_console < <(
  start_lines
  delivered_lines LR0061.B_G 0
  end_lines
)
expect_delivered LR0061.B_G
check_every_file

scenario="13 server killed during a large upload"
echo "=== $scenario"
reset_sides
make_data LR0071.B_G $((16 * 1024 * 1024))
stall_mid_upload
kill_sshd
bridge_unstall
run_wait
pscp_status=$(calls upload | head -n 1 | cut -f2)
[ "${pscp_status:-0}" -ne 0 ] || fail "the cut upload reported status ${pscp_status:-none}"
expect_status 0
expect_console < <(
  start_lines
  upload_failed_lines LR0071.B_G "${pscp_status:-0}" 0
  end_lines
)
expect_calls chmod 0
expect_calls mv 0
expect_kept LR0071.B_G
check_every_file
start_sshd || die "sshd did not start again"
scenario="13 the next run, server up"
echo "=== $scenario"
run_feed
expect_status 0
expect_console < <(
  start_lines
  delivered_lines LR0071.B_G 0
  end_lines
)
expect_delivered LR0071.B_G
check_every_file

scenario="14 archive directory not writable"
echo "=== $scenario"
reset_sides
stale_nextb LR0080.B_G  # writable, so the upload replaces it; the rename needs the directory
make_data LR0081.B_G
chmod 555 "$archive"
run_feed
chmod 755 "$archive"
expect_status 0
mv_status=$(calls mv | head -n 1 | cut -f2)
[ "${mv_status:-0}" -ne 0 ] || fail "the refused rename reported status ${mv_status:-none}"
expect_console < <(
  start_lines
  cycle_lines LR0081.B_G
  printf 'Exit status of mv :%10d\n' "${mv_status:-0}"
  record_line FailCM LR0081.B_G 0
  end_lines
)
expect_kept LR0081.B_G
expect_archive_holds NextB_G
check_every_file
scenario="14 the next run, directory writable"
echo "=== $scenario"
run_feed
expect_status 0
expect_console < <(
  start_lines
  delivered_lines LR0081.B_G 0
  end_lines
)
expect_delivered LR0081.B_G
check_every_file

scenario="15 archive disk full"
echo "=== $scenario"
reset_sides
mount -t tmpfs -o "size=2m,mode=755,uid=$(id -u kofra),gid=$(id -g kofra)" quorvane-archive \
  "$archive" || die "cannot mount a small tmpfs on $archive"
make_data LR0091.B_G $((4 * 1024 * 1024))
run_feed
expect_status 0
pscp_status=$(calls upload | head -n 1 | cut -f2)
[ "${pscp_status:-0}" -ne 0 ] || fail "the upload to a full disk reported status ${pscp_status:-none}"
expect_console < <(
  start_lines
  upload_failed_lines LR0091.B_G "${pscp_status:-0}" 0
  end_lines
)
expect_calls chmod 0
expect_calls mv 0
expect_kept LR0091.B_G
check_every_file
mount -o remount,size=64m "$archive" || die "cannot enlarge the archive's tmpfs"
scenario="15 the next run, room on the disk"
echo "=== $scenario"
run_feed
expect_status 0
expect_console < <(
  start_lines
  delivered_lines LR0091.B_G 0
  end_lines
)
expect_delivered LR0091.B_G
check_every_file
umount "$archive"

echo "scenarios took $((SECONDS - total0)) s"
if [ "$failures" -ne 0 ]; then
  echo "FAILED: $failures checks; consoles and sshd log:"
  for f in "$scratch/log"/*; do
    echo "--- $f"
    cat -A "$f" | cut -c1-300 | tail -n 60
  done
  echo "--- journal"
  cat "$journal"
  exit 1
fi
echo "PASSED"

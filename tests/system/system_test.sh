#!/usr/bin/env bash
# The system test: quorvane.exe under wine, with the real PuTTY tools (through
# the bridge) against an OpenSSH server of its own on 127.0.0.1.
#
# Usage: system_test.sh QUORVANE_EXE BRIDGE_DIR STATE_DIR
#   QUORVANE_EXE  built with ARCHIVE_HOST 127.0.0.1 and WEB_HOST localhost
#   BRIDGE_DIR    holds the bridge's pscp.exe and plink.exe
#   STATE_DIR     kept between runs (the wine prefix); the rest is scratch
#
# The accounts, their homes, /usr/httpd and the server exist only inside a
# mount and PID namespace of this test: when it ends, however it ends, the
# kernel stops every process in it and the mounts are gone.
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

[ $# -eq 3 ] || die "usage: $0 QUORVANE_EXE BRIDGE_DIR STATE_DIR"
exe=$(realpath "$1")
bridge_dir=$(realpath "$2")
state=$(mkdir -p "$3" && realpath "$3")

if [ -z "${QUORVANE_SYSTEM_INSIDE:-}" ]; then
  [ "$(id -u)" -eq 0 ] || skip "not root: the test makes the accounts kofra and tamrik and starts sshd"
  for tool in pscp plink /usr/sbin/sshd ssh-keygen wine wineserver unshare perl; do
    command -v "$tool" >/dev/null ||
      skip "$tool is missing (packages putty-tools, openssh-server, wine64, util-linux, perl)"
  done
  [ -f "$exe" ] || die "no program under test: $exe"
  "$wine_run" --can-run "$exe" || exit 77
  [ -f "$bridge_dir/pscp.exe" ] && [ -f "$bridge_dir/plink.exe" ] || die "no bridge in $bridge_dir"
  unshare --mount --pid --fork --kill-child --mount-proc true 2>/dev/null ||
    skip "no mount and PID namespace can be made here"
  QUORVANE_SYSTEM_INSIDE=1 exec unshare --mount --propagation private --pid --fork \
    --kill-child --mount-proc "$0" "$@"
fi

# ---------------------------------------------------------------- set-up ----

# Only ever as the first process of the namespace: the mounts below must
# never touch the machine's own /home, /usr or account files.
[ "$$" -eq 1 ] || die "set-up outside a namespace of its own refused"

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
"$wine_run" --prefix
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
EOF
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

# run_feed: one whole run of the program in c:\run, its console (standard
# output and error, as they interleave) in $console, its status in $status.
run_feed() {
  rm -f "$c/run/temp.txt"
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
  rm -rf "$scratch/orig"/*
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

#!/usr/bin/env bash
# One whole run of the real quorvane.exe under wine, with its real pauses and
# the stand-ins for PuTTY: run_case.sh CASE. ctest sets the environment (see
# CMakeLists.txt). The console stream is checked byte for byte apart from the
# search handle, the date and the time; the stand-ins' journal of command
# lines character for character; then what lies on the hosts and locally.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/fixture.sh
source "$here/fixture.sh"

case_name=$1
# A 32-bit program where no 32-bit code runs: skipped, with the reason.
wine_run --can-run "$QUORVANE_EXE" || exit 77
work=$PWD/e2e_$case_name
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# ---- The expected console stream ----------------------------------------
# Each record but the first ends the previous line with CR LF; the carriage-
# control character is already taken off the texts below.
expected=""
record() {
  if [ -z "$expected" ]; then expected=$1; else expected+=$'\r\n'$1; fi
}
# What a tool prints itself, between the records.
tool_output() { expected+=$1; }
# The text at the full width of its field.
full() { printf '%-*s' "$2" "$1"; }

latest='c:\vesk\data\latest\'
stored='c:\vesk\data\stored\'
pattern=$(full "${latest}LR*.B_G" 42)
handle_mask='HHHHHHHHHHH'

start_lines() {
  record 'hndl=         -1'
  record 'hndl=         -1 file$last=         -2leng=           0'
}
# cycle_lines LENGTH [HANDLE]
cycle_lines() {
  record "ffiles=$pattern"
  record "$(printf 'hndl=%11s file$last=%11dleng= %11d' "${2:-$handle_mask}" -2 "$1")"
  tool_output "$mirror_output"
}
found_line() { record " file found:  $1"; }
# record_line MARK NAME NRQ: the 120-column record line without its first column.
record_line() {
  local text
  text=$(printf '%s [%s] on DD-MM-YY. At hh:mm:ss. NRQr=%5d' "$1" "$latest$2" "$3")
  record "$(full "$text" 119)"
}
delivered_lines() {
  local infile
  infile=$(full "$latest$1" 40)
  record "In RUNIN, INFILE = [$infile]"
  record "About to move file named [$infile]"
  record_line '   Did' "$1" "$2"
}
# expect_deliveries NAME...: a whole run that delivers each found file, in
# the order found. Wine's move ends with 0, so NRQr= always shows 0.
expect_deliveries() {
  start_lines
  mirror_command
  local name
  for name in "$@"; do
    cycle_lines 10
    found_line "$name"
    delivered_lines "$name" 0
    upload_command "$name"
    chmod_command
    mv_command "$name"
    mirror_command
  done
  stop_lines
}
stop_lines() {
  record "ffiles=$pattern"
  record 'hndl=         -2 file$last=         -2leng=           0'
  tool_output "$mirror_output"
  expected+=$'\r\n**Quorvane NORMAL TERMINATION***\r\n\r\n'
}

# ---- The expected journal: each tool's command line as the interpreter ----
# hands it on: the command without its trailing blanks, and for the upload
# without the redirection ">temp.txt" (the blank before it stays).
journal=""
journal_line() { journal+=$1$'\n'; }
putty='"c:\Program Files\putty\'
mirror_command() {
  journal_line "pscp -p -l tamrik -pw 7Qa518 c:\\httpd\\*.* $WEB_HOST:/usr/httpd/htdocs/zuraziz/Corvatine/Zavidovi/"
}
nextb=$(full '../rirezeda/NextB_G' 26)
upload_command() {
  journal_line "${putty}pscp\" -p -l kofra -pw malkory $(full "$latest$1" 40) $ARCHIVE_HOST:$nextb "
}
plink_prefix="${putty}plink\" -ssh -pw malkory$(full '' 18)kofra@$ARCHIVE_HOST"
chmod_command() { journal_line "$plink_prefix chmod g+w ../rirezeda/NextB_G"; }
mv_command() { journal_line "$plink_prefix mv $nextb ../rirezeda/$1"; }

# ---- Running and checking -------------------------------------------------
# run_quorvane [STDIN_FILE]: runs quorvane.exe in c:\run; STDIN_FILE, a
# Windows path, becomes its standard input through stdin_launcher.
stdout_target=$work/stdout
run_quorvane() {
  local started=$SECONDS
  if [ $# -gt 0 ]; then
    cp "$LAUNCHER_EXE" "$run_dir/"
    (cd "$run_dir" && wine_run stdin_launcher.exe "$1" 'c:\run\quorvane.exe') \
      </dev/null >"$stdout_target" 2>"$work/stderr"
  else
    (cd "$run_dir" && wine_run quorvane.exe) </dev/null >"$stdout_target" 2>"$work/stderr"
  fi
  status=$?
  elapsed=$((SECONDS - started))
  echo "quorvane.exe ended with status $status after ${elapsed}s"
}

# The stamps must show today's date (before or after the run) with blanks,
# never zeros, in front of single digits.
stamp_re=' on ( [1-9]|[1-3][0-9])-( [1-9]|1[0-2])-( [0-9]|[1-9][0-9])\. At ( [0-9]|1[0-9]|2[0-3]):( [0-9]|[1-5][0-9]):( [0-9]|[1-5][0-9])\. '
today() { printf '%2d-%2d-%2d' "$(date +%-d)" "$(date +%-m)" $(($(date +%Y) - 2000)); }
date_before=$(today)

# check_stdout [CONSOLE]: the console stream of a run (default $work/stdout).
check_stdout() {
  local console=${1:-$work/stdout}
  local actual=$console.masked
  LC_ALL=C sed -E -e "s/hndl=[ 0-9]{11} file\\\$last=/hndl=$handle_mask file\$last=/" \
    -e "s/$stamp_re/ on DD-MM-YY. At hh:mm:ss. /" "$console" >"$actual"
  printf '%s' "$expected" >"$console.expected"
  if ! cmp -s "$console.expected" "$actual"; then
    fail "console stream (cat -A: ^M is CR, \$ is LF; < expected, > actual)"
    diff <(cat -A "$console.expected") <(cat -A "$actual")
  fi
  local date_after stamp
  date_after=$(today)
  while read -r stamp; do
    [ "$stamp" = "$date_before" ] || [ "$stamp" = "$date_after" ] ||
      fail "record line dated '$stamp', not today"
  done < <(LC_ALL=C grep -aoE ' on [ 0-9]{2}-[ 0-9]{2}-[ 0-9]{2}\.' "$console" |
    sed -E 's/^ on (.*)\.$/\1/' | sed 's/^ *//')
}
check_journal() {
  printf '%s' "$journal" >"$work/journal.expected"
  if ! cmp -s "$work/journal.expected" "$drive_c/hosts/journal.txt"; then
    fail "journal of command lines (< expected, > actual)"
    diff <(cat -A "$work/journal.expected") <(cat -A "$drive_c/hosts/journal.txt")
  fi
}
check_status() { [ "$status" = "$1" ] || fail "exit status $status, expected $1"; }
check_elapsed_at_least() { [ "$elapsed" -ge "$1" ] || fail "ran ${elapsed}s, pauses need $1s"; }
check_no_fault() {
  ! grep -aq 'run-time error' "$work/stderr" || fail "fault report: $(cat -A "$work/stderr")"
}
# check_files DIR NAME...: DIR holds exactly these files.
check_files() {
  local dir=$1 listing
  shift
  listing=$(cd "$dir" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' '|')
  local want
  want=$(printf '%s\n' "$@" | sed '/^$/d' | LC_ALL=C sort | tr '\n' '|')
  [ "$listing" = "$want" ] || fail "$dir holds '$listing', expected '$want'"
}
same_content() { cmp -s "$1" "$2" || fail "$2 is not a copy of $1"; }
check_arrived() { # NAME: delivered to the archive, content intact
  same_content "$work/$1" "$(host_dir "$ARCHIVE_HOST" /home/rirezeda)/$1"
  same_content "$work/$1" "$drive_c/vesk/data/stored/$1"
}

# A data file with its own content; a copy in $work to compare with.
data_file() {
  printf 'data of %s\r\n%s\r\n' "$1" "$RANDOM$RANDOM" >"$work/$1"
  cp "$work/$1" "$drive_c/vesk/data/latest/$1"
}
web_file() {
  printf '<html>%s</html>\r\n' "$1" >"$drive_c/httpd/$1"
  mirror_output+=$(printf '\r%-25s | %d kB |   0.0 kB/s | ETA: 00:00:00 | 100%%' "$1" \
    $(($(stat -c %s "$drive_c/httpd/$1") / 1024)))$'\r\n'
}
mirror_output=""
web_dir="/usr/httpd/htdocs/zuraziz/Corvatine/Zavidovi"

# The found names in the order in which the host lists them.
found_names() {
  LC_ALL=C grep -a '^ file found:  ' "${1:-$work/stdout}" | sed 's/^ file found:  //;s/\r$//'
}

# A second run of the same case: its own expected console and journal.
next_run() {
  mv "$work/stdout" "$work/stdout.$1"
  expected=""
  journal=""
  : >"$drive_c/hosts/journal.txt"
}

# ---- Other programs of the PC that hold a file open ------------------------
# holder_start TAG MODE WINDOWS_PATH: file_holder holds the file (see
# file_holder_win32.cpp) from the moment this returns until holder_stop TAG.
declare -A holder_pid
holder_start() {
  local tag=$1 flags=$drive_c/holders
  mkdir -p "$flags"
  rm -f "$flags/$tag.ready" "$flags/$tag.stop"
  cp "$HOLDER_EXE" "$drive_c/holders/file_holder.exe"
  wine_run 'c:\holders\file_holder.exe' "$2" "$3" "c:\\holders\\$tag.ready" \
    "c:\\holders\\$tag.stop" </dev/null >"$work/holder.$tag" 2>&1 &
  holder_pid[$tag]=$!
  local tries=0
  until [ -e "$flags/$tag.ready" ]; do
    if ! kill -0 "${holder_pid[$tag]}" 2>/dev/null || [ $((tries += 1)) -gt 600 ]; then
      fail "file_holder $2 did not take $3: $(cat "$work/holder.$tag")"
      return 1
    fi
    sleep 0.1
  done
}
holder_stop() {
  : >"$drive_c/holders/$1.stop"
  wait "${holder_pid[$1]}"
  local held=$?
  [ "$held" -eq 0 ] || fail "file_holder $1 ended with $held: $(cat "$work/holder.$1")"
}

# ---- The cases ------------------------------------------------------------
case_deliver_two() {
  fixture_reset
  web_file index.html
  data_file LR0001.B_G
  data_file LR0002.B_G
  run_quorvane
  check_status 0
  check_no_fault
  check_elapsed_at_least 20
  local names
  mapfile -t names < <(found_names)
  [ "$(printf '%s\n' "${names[@]}" | LC_ALL=C sort | tr '\n' ' ')" = "LR0001.B_G LR0002.B_G " ] ||
    fail "found names: ${names[*]}"
  expect_deliveries "${names[@]}"
  check_stdout
  check_journal
  check_arrived LR0001.B_G
  check_arrived LR0002.B_G
  check_files "$drive_c/vesk/data/latest"
  check_files "$(host_dir "$ARCHIVE_HOST" /home)" rirezeda/LR0001.B_G rirezeda/LR0002.B_G
  check_files "$(host_dir "$WEB_HOST" "$web_dir")" index.html
  printf 'g+w /home/rirezeda/NextB_G\ng+w /home/rirezeda/NextB_G\n' >"$work/grants.expected"
  cmp -s "$work/grants.expected" "$(host_dir "$ARCHIVE_HOST" /grants.txt)" ||
    fail "grants on the archive host: $(cat "$(host_dir "$ARCHIVE_HOST" /grants.txt)")"
  # temp.txt holds what the last upload printed.
  LC_ALL=C grep -q $'^\r'"${names[1]} " "$run_dir/temp.txt" || fail "temp.txt: $(cat "$run_dir/temp.txt")"
}

case_upload_fails() {
  fixture_reset
  fixture_fail pscp-upload 3
  web_file index.html
  # A directory makes the mirror fail, as the real pscp does without -r;
  # the feed goes on.
  mkdir "$drive_c/httpd/images"
  data_file LR0001.B_G
  run_quorvane
  check_status 0
  check_no_fault
  check_elapsed_at_least 10
  start_lines
  cycle_lines 10
  found_line LR0001.B_G
  record "In RUNIN, INFILE = [$(full "${latest}LR0001.B_G" 40)]"
  record "Exit status of pscp :$(printf '%10d' 3)"
  record_line FailCM LR0001.B_G 0
  stop_lines
  mirror_command
  upload_command LR0001.B_G
  mirror_command
  check_stdout
  check_journal
  check_files "$drive_c/vesk/data/latest" LR0001.B_G
  same_content "$work/LR0001.B_G" "$drive_c/vesk/data/latest/LR0001.B_G"
  check_files "$drive_c/vesk/data/stored"
  check_files "$(host_dir "$ARCHIVE_HOST" /home)"
  grep -aq 'images' "$work/stderr" || fail "no mirror error on standard error"
}

# left_in_place_case NAME: a found name that no command may carry.
left_in_place_case() {
  fixture_reset
  web_file index.html
  data_file "$1"
  run_quorvane
  check_status 0
  check_no_fault
  check_elapsed_at_least 20
  start_lines
  cycle_lines "${#1}"
  found_line "$1"
  record " file left in place: $2"
  stop_lines
  mirror_command
  mirror_command
  check_stdout
  check_journal
  check_files "$drive_c/vesk/data/latest" "$1"
  check_files "$drive_c/vesk/data/stored"
  check_files "$(host_dir "$ARCHIVE_HOST" /home)"
}
case_name_with_blank() { left_in_place_case 'LR00 01.B_G' 'name unsafe in a command line'; }

case_stdin_from_data_file() {
  fixture_reset
  web_file index.html
  data_file LR0001.B_G
  # Connected to the program's own standard input: not ready, no line of its own.
  run_quorvane 'c:\vesk\data\latest\LR0001.B_G'
  check_status 0
  check_no_fault
  check_elapsed_at_least 20
  start_lines
  cycle_lines 10
  found_line LR0001.B_G
  stop_lines
  mirror_command
  mirror_command
  check_stdout
  check_journal
  check_files "$drive_c/vesk/data/latest" LR0001.B_G
  check_files "$drive_c/vesk/data/stored"
}

case_stdout_full() {
  fixture_reset
  web_file index.html
  data_file LR0001.B_G
  stdout_target=/dev/full
  run_quorvane
  check_status 1
  # The first record cannot be written: a report and a traceback through main.
  local report line
  report=$(cat -A "$work/stderr")
  line=$(LC_ALL=C sed -nE '2s/^.*Quorvane\(([0-9]+)\) : run-time error F6422: WRITE\(CON\)\r$/\1/p' \
    "$work/stderr")
  if [ -z "$line" ]; then
    fail "no F6422 report: $report"
  else
    printf '\r\n%s\r\n- %s\r\n\r\nExecution traceback:\r\n\t\tfrom main program in %s\r\n' \
      "$(sed -n 2p "$work/stderr" | tr -d '\r')" \
      "$(sed -n '3s/^- //p' "$work/stderr" | tr -d '\r')" \
      "$(sed -nE '2s/^(.*Quorvane\([0-9]+\)) : .*/\1/p' "$work/stderr")" >"$work/stderr.expected"
    if ! cmp -s "$work/stderr.expected" "$work/stderr"; then
      fail "fault report (< expected, > actual)"
      diff <(cat -A "$work/stderr.expected") <(cat -A "$work/stderr")
    fi
    sed -n 3p "$work/stderr" | grep -q '^- .' || fail "fault report without a message: $report"
  fi
  check_journal
  check_files "$drive_c/vesk/data/latest" LR0001.B_G
  check_files "$drive_c/vesk/data/stored"
}

case_empty_latest() {
  fixture_reset
  web_file index.html
  run_quorvane
  check_status 0
  check_no_fault
  [ "$elapsed" -lt 10 ] || fail "an empty run took ${elapsed}s: no pause is due"
  start_lines
  stop_lines
  mirror_command
  check_stdout
  check_journal
  check_files "$(host_dir "$WEB_HOST" "$web_dir")" index.html
}

# A file that the acquisition program still writes waits for a later run; a
# file that another program only reads goes as usual.
case_writer_and_reader() {
  fixture_reset
  web_file index.html
  data_file LR0001.B_G
  data_file LR0002.B_G
  local written=${latest}LR0001.B_G
  holder_start writer writer "$written" || return
  holder_start reader reader "${latest}LR0002.B_G" || return
  run_quorvane
  holder_stop reader
  check_status 0
  check_no_fault
  check_elapsed_at_least 30
  local names name
  mapfile -t names < <(found_names)
  start_lines
  mirror_command
  for name in "${names[@]}"; do
    cycle_lines 10
    found_line "$name"
    if [ "$name" = LR0001.B_G ]; then
      record ' file left in place: still being written'
    else
      delivered_lines "$name" 0
      upload_command "$name"
      chmod_command
      mv_command "$name"
    fi
    mirror_command
  done
  stop_lines
  check_stdout
  check_journal
  same_content "$work/LR0002.B_G" "$(host_dir "$ARCHIVE_HOST" /home/rirezeda)/LR0002.B_G"
  check_files "$(host_dir "$ARCHIVE_HOST" /home)" rirezeda/LR0002.B_G
  # The reader shares no delete access, so the move is refused (and wine's
  # move still ends with 0): the file stays, whole, for the next run.
  check_files "$drive_c/vesk/data/latest" LR0001.B_G LR0002.B_G
  same_content "$work/LR0002.B_G" "$drive_c/vesk/data/latest/LR0002.B_G"

  # The writer closes the file; the next run delivers all that it wrote.
  holder_stop writer
  local before
  before=$(stat -c %s "$work/LR0001.B_G")
  cp "$drive_c/vesk/data/latest/LR0001.B_G" "$work/LR0001.B_G"
  [ "$(stat -c %s "$work/LR0001.B_G")" -gt "$before" ] || fail "the writer appended nothing"
  next_run first
  run_quorvane
  check_status 0
  check_no_fault
  mapfile -t names < <(found_names)
  expect_deliveries "${names[@]}"
  check_stdout
  check_journal
  check_arrived LR0001.B_G
  check_arrived LR0002.B_G
  check_files "$drive_c/vesk/data/latest"
  check_files "$(host_dir "$ARCHIVE_HOST" /home)" rirezeda/LR0001.B_G rirezeda/LR0002.B_G
}

# temp.txt held by another program: the redirection would fail, so the upload
# is not run, and the stale NextB_G is never renamed to this file's name.
case_temp_txt_held() {
  fixture_reset
  web_file index.html
  data_file LR0001.B_G
  printf 'content of an earlier upload\r\n' >"$work/NextB_G"
  cp "$work/NextB_G" "$(host_dir "$ARCHIVE_HOST" /home/rirezeda)/NextB_G"
  holder_start temp exclusive 'c:\run\temp.txt' || return
  run_quorvane
  holder_stop temp
  check_status 0
  check_no_fault
  check_elapsed_at_least 10
  start_lines
  cycle_lines 10
  found_line LR0001.B_G
  record "In RUNIN, INFILE = [$(full "${latest}LR0001.B_G" 40)]"
  record 'Upload not run: temp.txt cannot be removed'
  record_line FailCM LR0001.B_G 0
  stop_lines
  mirror_command
  mirror_command
  check_stdout
  check_journal
  check_files "$drive_c/vesk/data/latest" LR0001.B_G
  same_content "$work/LR0001.B_G" "$drive_c/vesk/data/latest/LR0001.B_G"
  check_files "$drive_c/vesk/data/stored"
  check_files "$(host_dir "$ARCHIVE_HOST" /home)" rirezeda/NextB_G
  same_content "$work/NextB_G" "$(host_dir "$ARCHIVE_HOST" /home/rirezeda)/NextB_G"
}

# A second run started while the first works waits for it, then finds
# nothing left: every file goes once.
case_two_runs_at_once() {
  fixture_reset
  web_file index.html
  data_file LR0001.B_G
  data_file LR0002.B_G
  (cd "$run_dir" && wine_run quorvane.exe) </dev/null >"$work/stdout.first" 2>"$work/stderr.first" &
  local first=$! tries=0
  until LC_ALL=C grep -aq '^ file found:' "$work/stdout.first"; do
    if ! kill -0 "$first" 2>/dev/null || [ $((tries += 1)) -gt 300 ]; then
      fail "the first run found no file"
      break
    fi
    sleep 0.1
  done
  run_quorvane
  wait "$first"
  local first_status=$?
  [ "$first_status" -eq 0 ] || fail "the first run ended with status $first_status"
  ! grep -aq 'run-time error' "$work/stderr.first" || fail "fault report of the first run"
  check_status 0
  check_no_fault
  # The first run holds about 20 s of pauses after its first "file found".
  check_elapsed_at_least 15

  local names
  mapfile -t names < <(found_names "$work/stdout.first")
  expect_deliveries "${names[@]}"
  check_stdout "$work/stdout.first"
  expected=""
  record ' another run is under way: waiting for it to end'
  start_lines
  mirror_command
  stop_lines
  check_stdout
  check_journal
  check_arrived LR0001.B_G
  check_arrived LR0002.B_G
  check_files "$drive_c/vesk/data/latest"
  check_files "$(host_dir "$ARCHIVE_HOST" /home)" rirezeda/LR0001.B_G rirezeda/LR0002.B_G
}

# Windows drops the trailing dot, so every command would work on LR0003.B_G.
case_name_with_trailing_dot() {
  left_in_place_case 'LR0003.B_G.' 'name unsafe in a command line'
}

if ! declare -F "case_$case_name" >/dev/null; then
  echo "unknown case $case_name"
  exit 2
fi
"case_$case_name"
if [ "$failures" -gt 0 ]; then
  echo "$case_name: $failures check(s) failed; files in $work and $drive_c"
  exit 1
fi
echo "$case_name: passed"

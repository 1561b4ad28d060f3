#!/bin/sh
# Linux side of the PuTTY bridge: runs the real tool on the standard streams
# it was given, then leaves the tool's exit status in STATUS_FILE, written
# whole by a rename, for the Windows side that waits for it.
# Usage: bridge_runner.sh STATUS_FILE PUTTY_HOME TOOL ARGS...
status_file=$1
HOME=$2
export HOME
shift 2
"$@"
echo $? >"$status_file.part"
mv -f "$status_file.part" "$status_file"

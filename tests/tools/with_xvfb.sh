#!/bin/sh
# Runs a command on a virtual X server of its own: the server chooses a free
# display number itself (-displayfd), so concurrent runs never share one, and
# -noreset keeps it up when its last client goes (a reset while the next
# client connects fails that connection). The server ends with the command.
# Usage: with_xvfb.sh COMMAND [ARGS...]
set -u
work=$(mktemp -d "${TMPDIR:-/tmp}/vrmt_xvfb.XXXXXX") || exit 1
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$work"' EXIT INT TERM
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.txt" &
server=$!
tries=0
while [ ! -s "$work/display" ]; do
  if ! kill -0 "$server" 2>/dev/null || [ "$tries" -ge 200 ]; then
    echo "with_xvfb.sh: the X server did not start" >&2
    cat "$work/xvfb.txt" >&2
    exit 1
  fi
  tries=$((tries + 1))
  sleep 0.05
done
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY
"$@"

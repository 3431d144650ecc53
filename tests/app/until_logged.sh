#!/bin/sh
# until_logged.sh LINE COMMAND...: runs COMMAND (a vormeth) in the background
# until Log.txt in the current folder holds LINE, then ends it with SIGTERM as
# a user's close would, and exits with its status. Nothing waits for a fixed
# time, so a slow start (a sanitizer build on a busy machine) cannot be cut off
# early; after 30 s without the line the program is ended all the same.
# A Log.txt with a "run N" line is a finished run's (the three-runs test marks
# each one), not the log of this run.
line=$1
shift
"$@" &
pid=$!
i=0
logged() {  # one read of the log: the program may rotate it between two
  text=$(cat Log.txt 2>/dev/null) || return 1
  printf '%s\n' "$text" | grep -qF "$line" && ! printf '%s\n' "$text" | grep -q '^run [0-9]'
}
until logged; do
  i=$((i + 1))
  if [ "$i" -gt 600 ] || ! kill -0 "$pid" 2>/dev/null; then break; fi
  sleep 0.05
done
kill -TERM "$pid" 2>/dev/null
wait "$pid"

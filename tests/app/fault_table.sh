#!/bin/bash
# The fault table: vormeth in the demo world beside both stand-in programs over
# real sockets, one fault of a peer per row, then a close (SIGTERM). Every row
# asserts the close time bound (from the request to the end of the process),
# exit status 0, and the files afterwards: the data files unchanged (a bad
# download never replaces them), parameters.xml whole, no ".part" or ".tmp" file
# left. A row that restarts a peer asserts that the program recovers.
# Arguments: the build folder, a work folder, and optionally the rows to run.
build=$1 work=$2
shift 2
# The close bound: 2 s whatever the peers do, logout included (a sanitizer
# build, several times slower, sets a loose one in VRMT_CLOSE_BOUND).
bound=${VRMT_CLOSE_BOUND:-2.0}
rows=("$@")
[ ${#rows[@]} -gt 0 ] || rows=(none sim-stopped sim-killed sim-restarted service-stopped service-killed
  service-restarted service-5xx download-garbage download-cut download-hang)
lat=52.3086 lon=4.7639 elev=-11 heading=183
failures=0

fail() { echo "FAIL [$row]: $*"; failures=$((failures + 1)); }
logHas() { grep -qF -- "$1" "$prog/Log.txt" 2>/dev/null; }
# Waits (bounded, real time) until Log.txt has the text $2 times (default once).
waitLog() {
  local i n=${2:-1}
  for i in $(seq 600); do
    local seen
    seen=$(grep -cF -- "$1" "$prog/Log.txt" 2>/dev/null)
    [ "${seen:-0}" -ge "$n" ] && return 0
    sleep 0.1
  done
  return 1
}
startSim() {
  "$build/tools/simstandin/vrmt-simstandin" --pipe-dir "$pipes" --airport $lat $lon $elev --summary 60 \
    >>"$work/simstandin.txt" 2>&1 &
  sim=$!
}
# The service stand-in on the start's port; the first time on a port it picks
# itself (a port guessed here may be taken by anything else on the machine), a
# restart on the same port, where the program looks for it.
startService() {
  : >"$work/servicestandin.txt"
  "$build/tools/servicestandin/vrmt-servicestandin" --port "${port:-0}" --airport "EHAM,$lat,$lon,$elev,$heading" \
    --rrl 500 --wrrl 500 --downloads "$work/downloads" "$@" >>"$work/servicestandin.txt" 2>&1 &
  service=$!
  local at=
  for _ in $(seq 100); do
    at=$(sed -n 's/^service stand-in at http:\/\/127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/servicestandin.txt" | head -n1)
    [ -n "$at" ] && break
    sleep 0.05
  done
  if [ -z "$at" ]; then
    fail "the service stand-in did not start: $(cat "$work/servicestandin.txt")"
    return
  fi
  port=$at
  url=http://127.0.0.1:$port
}

run() {
  (cd "$prog" && VRMT_APPDATA=$work/appdata VRMT_PROGRAMDATA=$work/ProgramData \
    VRMT_REGISTRY_FILE=$work/registry.reg VRMT_PIPE_DIR=$pipes VRMT_SERVICE_URL=$url \
    VRMT_DOWNLOAD_URL=$url/downloads/ VRMT_SERVICE_KEY=demo-key VRMT_LOCK_DIR=$work/lock \
    exec "$build/src/app/vormeth" --headless --status-every 1) >>"$work/vormeth.txt" 2>&1 &
  pid=$!
}
# Peers of their own for a start: a pipe folder, the simulator stand-in, and a
# port yet to be chosen by the service stand-in.
newPeers() {
  pipes=$(mktemp -d /tmp/vrmt-faults.XXXXXX)
  port=
  startSim
}

# The program's first start (the demo folder has no data files yet) takes them
# from the site as they are, and scans the liveries and airports. It is the
# same for every row: it runs once, and each row starts from a copy of the
# folder it leaves (the paths in it name the work folder, where the copy goes).
first=$work.first
rm -rf "$work" "$first"
mkdir -p "$work"
cp -a "$build/demo/." "$work/"
mkdir -p "$work/appdata"
"$build/tools/demoworld/vrmt-demoworld" --registry "$work/registry.reg" "$work/Prepar3D v5" >/dev/null
prog=$work/program
row=first-start
newPeers
startService
run
waitLog "Traffic Reader connected" || fail "the first start did not come up"
kill -TERM $pid; wait $pid
kill -TERM $service $sim; wait $service $sim 2>/dev/null
rm -rf "$pipes"
cp "$prog/input/dbase.enc" "$work/dbase.before" 2>/dev/null
cp "$prog/input/AIG-regcodes.enc" "$work/aig.before" 2>/dev/null
# The site now offers a newer dbase; in a download row it comes wrong.
echo '{"aig":{"major":1,"minor":0,"patch":0},"dbase":{"major":9,"minor":0,"patch":0}}' >"$work/downloads/versions.json"
dbaseVersion=$(grep -o 'name="DBASE_VERSION" value="[^"]*"' "$work/appdata/VRMT_P3D/parameters.xml")
mv "$prog/Log.txt" "$work/first-Log.txt"  # the waits below look at the row's own log
: >"$work/vormeth.txt"
: >"$work/simstandin.txt"
mv "$work" "$first"
[ $failures = 0 ] || { echo "--- end of the first start's Log.txt:"; tail -n 25 "$first/first-Log.txt"; exit 1; }

for row in "${rows[@]}"; do
  rowStart=$(date +%s.%N)
  rm -rf "$work"
  cp -a "$first" "$work"
  faults=()
  case "$row" in
    service-5xx) faults=(--fault traffic.live=5xx --fault weather=5xx) ;;
    download-*) faults=(--fault "/downloads/dbase.enc=${row#download-}") ;;
  esac
  newPeers
  startService "${faults[@]}"
  run
  case "$row" in
    download-hang) sleep 2 ;;  # the close comes during the hanging download
    *) waitLog "Traffic Reader connected" || fail "the program did not come up" ;;
  esac
  stopped=
  case "$row" in
    sim-stopped) kill -STOP $sim; stopped=$sim; sleep 1 ;;
    service-stopped) kill -STOP $service; stopped=$service; sleep 1 ;;
    sim-killed) kill -9 $sim; wait $sim 2>/dev/null; sleep 1 ;;
    service-killed) kill -9 $service; wait $service 2>/dev/null; sleep 1 ;;
    service-5xx) waitLog "receive: " || fail "no error for the 5xx answers" ;;
    sim-restarted)
      kill -9 $sim; wait $sim 2>/dev/null
      waitLog "SimConnect connection lost" || fail "the lost simulator was not noticed"
      startSim
      waitLog "Traffic Reader connected" 2 || fail "no recovery after the simulator came back" ;;
    service-restarted)
      kill -9 $service; wait $service 2>/dev/null
      waitLog "curl traffic code" || fail "the lost service was not noticed"
      startService
      # Traffic flows again: a status line after the restart says so.
      from=$(wc -l <"$work/vormeth.txt")
      recovered=
      for _ in $(seq 600); do
        tail -n +$((from + 1)) "$work/vormeth.txt" | grep -q "traffic flowing" && { recovered=1; break; }
        sleep 0.1
      done
      [ -n "$recovered" ] || fail "no traffic after the service came back" ;;
  esac
  start=$(date +%s.%N)
  kill -TERM $pid
  for _ in $(seq 1000); do kill -0 $pid 2>/dev/null || break; sleep 0.01; done
  end=$(date +%s.%N)
  kill -0 $pid 2>/dev/null && { kill -9 $pid; fail "still running after 10 s"; }
  wait $pid
  rc=$?
  took=$(echo "$end - $start" | bc)
  [ -n "$stopped" ] && kill -CONT $stopped
  kill -TERM $sim $service 2>/dev/null
  wait $sim $service 2>/dev/null
  rm -rf "$pipes"

  echo "$row: closed in $took s, exit $rc (the row took $(echo "$(date +%s.%N) - $rowStart" | bc | cut -c1-5) s)"
  [ "$(echo "$took < $bound" | bc)" = 1 ] || fail "the close took $took s (bound $bound s)"
  [ $rc = 0 ] || fail "exit status $rc"
  cmp -s "$prog/input/dbase.enc" "$work/dbase.before" || fail "input/dbase.enc changed"
  cmp -s "$prog/input/AIG-regcodes.enc" "$work/aig.before" || fail "input/AIG-regcodes.enc changed"
  grep -q "</parameters>" "$work/appdata/VRMT_P3D/parameters.xml" || fail "parameters.xml is not whole"
  leftover=$(find "$work/program" "$work/appdata" \( -name '*.part' -o -name '*.tmp' \) 2>/dev/null)
  [ -z "$leftover" ] || fail "left behind: $leftover"
  logHas "Exiting:" || fail "no closing down in Log.txt"
  case "$row" in
    download-*)
      [ "$(grep -o 'name="DBASE_VERSION" value="[^"]*"' "$work/appdata/VRMT_P3D/parameters.xml")" = "$dbaseVersion" ] \
        || fail "the stored dbase version changed"
      logHas "dbase updated" && fail "a bad download was taken" ;;
  esac
  case "$row" in
    download-garbage) logHas "input/dbase.enc is not usable" || fail "the bad file is not named in the log" ;;
    none|download-cut|download-garbage|service-5xx|sim-restarted|service-restarted)
      logHas "Session closed RT server" || fail "no logout" ;;
  esac
  logHas "curl traffic code:42" && fail "a false error at the close"
  [ $failures = 0 ] || { echo "--- end of Log.txt:"; tail -n 25 "$prog/Log.txt"; }
done
rm -rf "$first"
[ $failures = 0 ] && echo "fault table: all ${#rows[@]} rows passed"
[ $failures = 0 ]

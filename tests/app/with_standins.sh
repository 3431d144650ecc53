#!/bin/sh
# vormeth in a program folder of its own beside both stand-in programs: it
# connects to the simulator, logs in, starts its readers, and ends with exit
# status 0 on SIGTERM. Arguments: vormeth, vrmt-simstandin,
# vrmt-servicestandin, vrmt-liverygen, vrmt-encrypt, the work folder.
vormeth=$1 sim=$2 service=$3 gen=$4 enc=$5 work=$6
rm -rf "$work"
mkdir -p "$work/docs" "$work/input" "$work/appdata/VRMT_P3D"
pipes=$(mktemp -d /tmp/vrmtpXXXXXX)  # a socket path must be short
"$gen" "$work/ai" 40 1 > /dev/null || exit 1
"$enc" "$work/ai/dbase.xml" "$work/input/dbase.enc" || exit 1
printf '<?xml version="1.0"?>\n<airports>\n<airport code="EHAM" iata="AMS" lat="52.3086" lon="4.7639" alt="-11"/>\n</airports>\n' \
  > "$work/input/airports_p3d.xml"
cat > "$work/appdata/VRMT_P3D/parameters.xml" <<XML
<?xml version="1.0"?>
<parameters>
<parameter name="PROGRAM_VERSION" value="11.0.3"/>
<parameter name="SIM_INSTALL_PATH" value="C:\\Prepar3D v5"/>
<parameter name="lfolder0" value="$work/ai"/>
<parameter name="LIG_AUTOMATIC" value="false"/>
<parameter name="AFG_AUTOMATIC" value="false"/>
<parameter name="SCAN_AIRPORTS" value="false"/>
<parameter name="RT_LICENSE" value="KEY"/>
</parameters>
XML
"$sim" --pipe-dir "$pipes" --airport 52.3086 4.7639 -11 > "$work/simstandin.txt" 2>&1 &
simpid=$!
# The service stand-in picks a free port itself (a guessed one may be taken).
"$service" --port 0 --airport EHAM,52.3086,4.7639 --rrl 500 --wrrl 500 > "$work/servicestandin.txt" 2>&1 &
servicepid=$!
port=
i=0
while [ $i -lt 100 ] && [ -z "$port" ]; do
  port=$(sed -n 's/^service stand-in at http:\/\/127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/servicestandin.txt" | head -n 1)
  [ -n "$port" ] || sleep 0.05
  i=$((i + 1))
done
if [ -z "$port" ]; then
  echo "the service stand-in did not start:"
  cat "$work/servicestandin.txt"
  kill -TERM $simpid $servicepid
  exit 1
fi
cd "$work" || exit 1
VRMT_PIPE_DIR="$pipes" VRMT_APPDATA="$work/appdata" VRMT_LOCK_DIR="$work/lock" \
  VRMT_SERVICE_URL="http://127.0.0.1:$port" VRMT_REGISTRY_FILE="$work/none.reg" "$vormeth" &
pid=$!
i=0
while [ $i -lt 300 ] && ! grep -q "Traffic Reader connected" Log.txt 2>/dev/null; do
  sleep 0.1
  i=$((i + 1))
done
kill -TERM $pid
wait $pid
rc=$?
kill -TERM $simpid $servicepid
wait $simpid $servicepid 2>/dev/null
rm -rf "$pipes"
for line in "connected" "Authenticated at RT server" "Traffic Reader connected" "Exiting: USER CLOSED SIM"; do
  if ! grep -q "$line" Log.txt; then
    echo "Log.txt lacks '$line':"
    cat Log.txt
    exit 1
  fi
done
if [ $rc -ne 0 ]; then
  echo "vormeth exited with $rc"
  exit 1
fi

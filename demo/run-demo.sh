#!/usr/bin/env bash
# The main job: the four deliverables working together in one Wine prefix,
# as a storage administrator meets them. Runs inside cmake/wine-session.sh,
# which provides the prefix, the display and the wineserver, and removes
# them afterwards. Every step says what it shows; the demo exits non-zero
# when a step did not show it.
set -u

repo=$(cd "$(dirname "$0")/.." && pwd)
bin=$repo/build/win64/bin
wine=$ARVEXA_WINE_LOADER
drive_c=$WINEPREFIX/drive_c
install_dir=$drive_c/Storage/bin
shots=$repo/build/demo
work=$(mktemp -d)
failures=0
background_pids=()

mkdir -p "$shots" "$work/snmpconf"
export SNMPCONFPATH=$work/snmpconf MIBS="" MIBDIRS=$repo/tests/snmp_service/base-mibs:$repo/mibs

stop_background() {
  for pid in "${background_pids[@]}"; do kill -INT "$pid" 2>/dev/null; done
  sleep 1
  for pid in "${background_pids[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap stop_background EXIT

step() { printf '\n== %s\n' "$*"; }
show() { sed 's/\r$//; s/^/   | /'; }
ok() { printf '   ok: %s\n' "$1"; }
failed() { printf '   FAILED: %s\n' "$1"; failures=$((failures + 1)); }
# check DESCRIPTION TEXT PATTERN
check() { if grep -q -- "$3" <<<"$2"; then ok "$1"; else failed "$1"; fi; }
# wait_for SECONDS COMMAND...: polls the command until it succeeds.
wait_for() {
  local tries=$(($1 * 10))
  shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  return 1
}
run_windows() { "$wine" "$@" 2>/dev/null | sed 's/\r$//'; }
running() { "$wine" "$bin/demo_probe.exe" running "$1" >/dev/null 2>&1; }
not_running() { ! running "$1"; }
free_udp_port() { shuf -i 20000-60999 -n 1; }
# balloon_shows MESSAGE: a visible balloon carries that message.
balloon_shows() {
  "$wine" "$bin/demo_probe.exe" balloons 2>/dev/null | tr -d '\r' >"$work/balloons.txt"
  grep -qF "balloon: \"$1\"" "$work/balloons.txt"
}
# post_and_show SEVERITY MESSAGE SCREENSHOT: posts "#SEVERITY MESSAGE" into the
# event mailbox and waits for the tray notifier's balloon.
post_and_show() {
  run_windows "$bin/post_notice.exe" "#$1$2" >/dev/null
  echo "   posted the severity-$1 notice \"#$1$2\" into the event mailbox"
  if wait_for 15 balloon_shows "$2"; then
    show <"$work/balloons.txt"
    ok "a balloon shows the message (its icon follows the severity: see $shots/$3.png)"
    import -window root "$shots/$3.png" 2>/dev/null
  else
    failed "a balloon shows \"$2\""
  fi
  # Let the balloon's time run out before the next notice.
  sleep 3
}

# The simulator serves its embedded default machine from a file, so that the
# demo can change the hardware while the agent runs.
scenario=$drive_c/Storage/scenario.json
mkdir -p "$install_dir"
sed -n '/R"json(/,/)json"/p' "$repo/standins/kalvbridge/default_scenario.cpp" \
  | sed '1s/.*R"json(//; $s/)json".*//' > "$scenario"
export KALVBRIDGE_SCENARIO='C:\Storage\scenario.json'

# Reads the lines of the private MIB an administrator looks at first.
inventory() {
  snmpwalk -v2c -c public -t 2 -r 1 -m VANTREL-ARVEXA-MIB "127.0.0.1:$snmp_port" .1.3.6.1.4.1.32473 2>&1 \
    | sed 's/^VANTREL-ARVEXA-MIB:://' \
    | grep -E '^(arvexaControllerModel|arvexaDriverVersion|arvexaCtrlModel|arvexaCtrlBatteryState|arvexaDriveText64|arvexaDriveCapacity|arvexaDriveCondition|arvexaLdName|arvexaLdCapacityDecimal|arvexaLdActivity|arvexaLdState|arvexaLdProgress|arvexaBattery|arvexaEncl(Kind|Voltage|Temperature|Sensor))'
}

step "1. Install the service from C:\\Storage\\bin (ArvexaService.exe -i)"
mkdir -p "$install_dir"
cp "$bin/ArvexaService.exe" "$bin/Arvexa.exe" "$install_dir/"
install_output=$(run_windows 'C:\Storage\bin\ArvexaService.exe' -i)
show <<<"$install_output"
check "the service was installed and started" "$install_output" 'Service "Vantrel_Arvexa" started ok'
status=$(run_windows sc query Vantrel_Arvexa)
show <<<"$(grep -E 'SERVICE_NAME|STATE' <<<"$status")"
check "the control manager shows it running" "$status" 'STATE *: 4 *RUNNING'
record=$(run_windows "$bin/demo_probe.exe" record)
show <<<"$record"
check "the server status record says Running" "$record" 'state "Running", run flag 1'
wait_for 5 test -s "$install_dir/Arvexa.launch.txt"
check "the management server runs in C:\\Storage\\bin" \
  "$(sed -n 2p "$install_dir/Arvexa.launch.txt" | tr -d '\r')" '^C:\\Storage\\bin$'
"$wine" "$bin/demo_probe.exe" watch >"$work/record.txt" 2>/dev/null &
watch_pid=$!

step "2. Start NotiTrayServer.exe; it starts NotiTrayClient.exe in the console session"
cp "$bin/NotiTrayClient.exe" "$drive_c/windows/system32/NotiTrayClient.exe"
"$wine" "$bin/NotiTrayServer.exe" 2>/dev/null &
notifier_pid=$!
background_pids+=("$notifier_pid")
if wait_for 20 running NotiTrayClient.exe; then
  run_windows "$bin/demo_probe.exe" running NotiTrayClient.exe | show
  printf '   | its command line: %s\n' "$(pgrep -af 'arvexaPipe' | head -1 | cut -d' ' -f2-)"
  ok "the tray notifier runs, started with the session pipe name"
else
  failed "the tray notifier runs"
fi
post_and_show 1 "Controller 1: battery charging complete" balloon-information
post_and_show 2 "Enclosure 1: fan 2 speed low" balloon-warning

step "3. Start snmp_service.exe hosting KalvSnmp.dll, and snmptrapd; walk the private MIB"
trap_port=$(free_udp_port)
snmp_port=$(free_udp_port)
printf 'disableAuthorization yes\n' > "$work/snmptrapd.conf"
snmptrapd -f -n -C -c "$work/snmptrapd.conf" -m VANTREL-ARVEXA-MIB -Lf "$work/traps.txt" \
  "udp:127.0.0.1:$trap_port" 2>/dev/null &
background_pids+=("$!")
"$wine" "$bin/snmp_service.exe" --agent "$bin/KalvSnmp.dll" --listen "127.0.0.1:$snmp_port" \
  --trap-to "127.0.0.1:$trap_port" >"$work/service.txt" 2>&1 &
service_pid=$!
background_pids+=("$service_pid")
wait_for 20 grep -q serving "$work/service.txt"
before=$(inventory)
show <<<"$before"
check "controllers are listed" "$before" 'arvexaCtrlModel.2 = STRING'
check "drives are listed" "$before" 'arvexaDriveCapacity.6 = STRING'
check "the Archive array is rebuilding at 42 %" "$before" 'arvexaLdProgress.2 = INTEGER: 42'
check "the battery is listed" "$before" 'arvexaBatteryTemperature.1 = STRING'
check "the enclosure sensors are listed" "$before" 'arvexaEnclTemperature1.1 = STRING'

step "4. Drive 2 of controller 1 fails"
python3 - "$scenario" <<'PYTHON'
import json, os, sys
path = sys.argv[1]
machine = json.load(open(path))
controller = machine["controllers"][0]
controller["physicalDrives"][1]["condition"] = 2
controller["logicalDrives"][0]["activityFlags"] = "0x04000000"
controller.setdefault("events", []).append(
    {"code": "0x00030000", "description": "Physical drive 2 failed", "dueMs": 0})
with open(path + ".new", "w") as new_file:
    json.dump(machine, new_file, indent=1)
os.replace(path + ".new", path)
PYTHON
echo "   the simulator now reports drive 2 failed, the System mirror without it, and an event"
if wait_for 20 grep -q 'Physical drive 2 failed' "$work/traps.txt"; then
  show <"$work/traps.txt"
  ok "the trap arrived at snmptrapd"
else
  failed "the trap arrived at snmptrapd"
fi
after=$(inventory)
changes=$(diff <(echo "$before") <(echo "$after") | grep '^[<>]')
show <<<"$changes"
check "the walk shows the drive's new condition" "$changes" '> arvexaDriveCondition.2 = INTEGER: 1'
check "the walk shows the array's new state" "$changes" '> arvexaLdState.1 = INTEGER: 3'

post_and_show 3 "Physical drive 2 on controller 1 failed" balloon-error

step "5. Uninstall the service (ArvexaService.exe -d)"
uninstall_output=$(run_windows 'C:\Storage\bin\ArvexaService.exe' -d)
show <<<"$uninstall_output"
check "the service was stopped and removed" "$uninstall_output" 'UnInstalled Sucessfully'
wait "$watch_pid"
show <"$work/record.txt"
check "the server status record went from Running to Stop" "$(cat "$work/record.txt")" 'state "Stop", run flag 0'
if wait_for 15 not_running NotiTrayServer.exe && wait_for 5 not_running NotiTrayClient.exe; then
  ok "the terminate notice ended NotiTrayServer and NotiTrayClient"
else
  failed "the terminate notice ended NotiTrayServer and NotiTrayClient"
fi
wait_for 10 not_running Arvexa.exe && ok "the management server ended" || failed "the management server ended"
kill -INT "$service_pid" 2>/dev/null
wait "$service_pid" 2>/dev/null
for pid in "${background_pids[@]}"; do kill -INT "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
left=""
for exe in Arvexa.exe NotiTrayServer.exe NotiTrayClient.exe snmp_service.exe ArvexaService.exe; do
  running "$exe" && left="$left $exe"
done
check "nothing the demo started still runs" "[${left}]" '^\[\]$'
gone=yes
for attempt in $(seq 1 50); do
  grep -q SERVICE_NAME <<<"$(run_windows sc query Vantrel_Arvexa)" || { gone=yes; break; }
  gone=no
  sleep 0.1
done
check "the control manager no longer knows the service" "$gone" '^yes$'

printf '\n'
if [ "$failures" -ne 0 ]; then
  printf 'demo: %d check(s) did not show what they should\n' "$failures"
  exit 1
fi
printf 'demo: every step showed what it should\n'

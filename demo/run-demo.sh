#!/usr/bin/env bash
# The main job: the deliverables working together in one Wine prefix, as a
# storage administrator meets them. Runs inside cmake/wine-session.sh, which
# provides the prefix, the display and the wineserver. Every step says what
# it shows and the demo exits non-zero when a step did not show it.
set -u

repo=$(cd "$(dirname "$0")/.." && pwd)
bin=$repo/build/win64/bin
wine=$ARVEXA_WINE_LOADER
install_dir=$WINEPREFIX/drive_c/Storage/bin
failures=0

step() { printf '\n== %s\n' "$*"; }
show() { sed 's/\r$//; s/^/   | /'; }
check() {
  # check DESCRIPTION TEXT PATTERN
  if grep -q -- "$3" <<<"$2"; then
    printf '   ok: %s\n' "$1"
  else
    printf '   FAILED: %s\n' "$1"
    failures=$((failures + 1))
  fi
}
run_windows() { "$wine" "$@" 2>/dev/null | sed 's/\r$//'; }

step "1. Install the service from C:\\Storage\\bin (ArvexaService.exe -i)"
mkdir -p "$install_dir"
cp "$bin/ArvexaService.exe" "$bin/Arvexa.exe" "$install_dir/"
install_output=$(run_windows 'C:\Storage\bin\ArvexaService.exe' -i)
show <<<"$install_output"
check "the service was installed and started" "$install_output" 'Service "Vantrel_Arvexa" started ok'

status=$(run_windows sc query Vantrel_Arvexa)
show <<<"$status"
check "the control manager shows it running" "$status" 'STATE *: 4 *RUNNING'

record=$(run_windows "$bin/demo_probe.exe" record)
show <<<"$record"
check "the server status record says Running" "$record" 'state "Running", run flag 1'

for attempt in $(seq 1 50); do
  [ -s "$install_dir/Arvexa.launch.txt" ] && break
  sleep 0.1
done
launch=$(sed 's/\r$//' "$install_dir/Arvexa.launch.txt" 2>/dev/null)
printf '   the management server was started with command line [%s], in [%s]\n' \
  "$(sed -n 1p <<<"$launch")" "$(sed -n 2p <<<"$launch")"
check "the management server runs in C:\\Storage\\bin" "$(sed -n 2p <<<"$launch")" '^C:\\Storage\\bin$'

step "2. Uninstall the service (ArvexaService.exe -d)"
watch_file=$(mktemp)
"$wine" "$bin/demo_probe.exe" watch >"$watch_file" 2>/dev/null &
watch_pid=$!
sleep 1
uninstall_output=$(run_windows 'C:\Storage\bin\ArvexaService.exe' -d)
show <<<"$uninstall_output"
check "the service was stopped and removed" "$uninstall_output" 'UnInstalled Sucessfully'
wait "$watch_pid"
watched=$(sed 's/\r$//' "$watch_file")
rm -f "$watch_file"
show <<<"$watched"
check "the server status record went from Running to Stop" "$watched" 'state "Stop", run flag 0'
# A deleted service disappears once the last handle to it is closed.
gone=no
for attempt in $(seq 1 50); do
  grep -q SERVICE_NAME <<<"$(run_windows sc query Vantrel_Arvexa)" || { gone=yes; break; }
  sleep 0.1
done
check "the control manager no longer knows the service" "$gone" '^yes$'

printf '\n'
if [ "$failures" -ne 0 ]; then
  printf 'demo: %d step(s) did not show what they should\n' "$failures"
  exit 1
fi
printf 'demo: every step showed what it should\n'

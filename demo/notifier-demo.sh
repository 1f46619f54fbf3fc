#!/usr/bin/env bash
# Notices from the management server to the console's tray notifier, run
# inside a Wine session:   cmake/wine-session.sh demo/notifier-demo.sh
# The service host starts the management-server stand-in, which owns the
# event mailbox; NotiTrayServer relays what post_notice writes there to the
# tray notifier it starts; uninstalling the service posts the terminate
# notice, which ends the notifier server and the tray notifier.
# Uses the real NotiTrayClient.exe when it has been built, else the tests'
# double, whose log then shows what arrived.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$here/build/win64/bin
run() { "$ARVEXA_WINE_LOADER" "$@" 2>&1 | tr -d '\r'; }
drive_c=$WINEPREFIX/drive_c

client=$bin/NotiTrayClient.exe
[ -f "$client" ] || client=$bin/tray_notifier_double.exe
cp "$client" "$drive_c/windows/system32/NotiTrayClient.exe"
mkdir -p "$drive_c/Storage/bin"
cp "$bin/ArvexaService.exe" "$bin/Arvexa.exe" "$drive_c/Storage/bin/"

echo "== installing and starting the service host"
run 'C:\Storage\bin\ArvexaService.exe' -i

echo "== starting NotiTrayServer"
"$ARVEXA_WINE_LOADER" "$bin/NotiTrayServer.exe" &
notifier=$!
sleep 2

for notice in "#1Controller 1: battery charging" "#2Drive 3: temperature high" "#3Array 2 degraded"; do
  echo "== post_notice \"$notice\""
  run "$bin/post_notice.exe" "$notice"
  sleep 3
done

echo "== uninstalling the service host (the terminate notice follows)"
run 'C:\Storage\bin\ArvexaService.exe' -d
for _ in $(seq 50); do kill -0 "$notifier" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$notifier" 2>/dev/null; then
  echo "NotiTrayServer is still running"
else
  wait "$notifier"; echo "NotiTrayServer ended with exit code $?"
fi
if [ -d "$drive_c/tray-double" ]; then
  echo "== what the tray notifier double received"
  cat "$drive_c"/tray-double/*.log
fi

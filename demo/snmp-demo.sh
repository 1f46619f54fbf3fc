#!/usr/bin/env bash
# Walks the storage inventory of KalvSnmp.dll, served through the SNMP
# service stand-in from the simulator's embedded default machine, with the
# names of the private MIB module. Run inside a Wine session after a build:
#   cmake/wine-session.sh demo/snmp-demo.sh
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/win64/bin
work=$(mktemp -d)
trap 'kill -INT "$service" 2>/dev/null; wait "$service" 2>/dev/null; rm -rf "$work"' EXIT
unset KALVBRIDGE_SCENARIO
port=$(shuf -i 20000-60999 -n 1)
"$ARVEXA_WINE_LOADER" "$bin/snmp_service.exe" --agent KalvSnmp.dll --listen "127.0.0.1:$port" \
    > "$work/service.out" 2>&1 &
service=$!
for _ in $(seq 100); do grep -q serving "$work/service.out" && break; sleep 0.1; done
echo "\$ snmpwalk -v2c -c public -m VANTREL-ARVEXA-MIB 127.0.0.1:$port .1.3.6.1.4.1.32473"
SNMPCONFPATH=$work MIBDIRS=$root/tests/snmp_service/base-mibs:$root/mibs \
    snmpwalk -v2c -c public -m VANTREL-ARVEXA-MIB 127.0.0.1:"$port" .1.3.6.1.4.1.32473

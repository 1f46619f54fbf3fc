#!/usr/bin/env bash
# Walk throughput side by side in one run: KalvSnmp.dll (default simulated
# machine) through the SNMP service stand-in, Wine's inetmib1.dll through
# the same stand-in, and net-snmp's own snmpd on a loopback port; then the
# in-process cost per SnmpExtensionQuery binding of both agents. Prints
# bindings per second and the ratios. Run inside a Wine session:
#   cmake/wine-session.sh bench/snmp_walk_bench.sh     (or: make bench)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/win64/bin
work=$(mktemp -d)
pids=""
trap 'for p in $pids; do kill -INT $p 2>/dev/null; done; sleep 1; rm -rf "$work"' EXIT
export SNMPCONFPATH=$work MIBS=""
unset KALVBRIDGE_SCENARIO
rounds=${BENCH_ROUNDS:-10}

port() { shuf -i 20000-60999 -n 1; }

start_stand_in() {
    local p=$(port)
    "$ARVEXA_WINE_LOADER" "$bin/snmp_service.exe" --listen 127.0.0.1:$p "$@" > "$work/$p.out" 2>&1 &
    pids="$pids $!"
    for _ in $(seq 100); do grep -q serving "$work/$p.out" && break; sleep 0.1; done
    echo $p
}

# rate TOOL TARGET SUBTREE: bindings per second over the rounds, best of three.
rate() {
    local tool=$1 target=$2 subtree=$3 best=0
    for _ in 1 2 3; do
        local count start end
        start=$(date +%s.%N)
        for _ in $(seq "$rounds"); do
            $tool -v2c -c public -On -t 5 "$target" "$subtree" > "$work/walk.txt"
        done
        end=$(date +%s.%N)
        count=$(grep -vc 'No more variables' "$work/walk.txt")
        best=$(python3 -c "print(max($best, $count * $rounds / ($end - $start)))")
    done
    printf '%.0f %d\n' "$best" "$count"
}

agent_port=$(start_stand_in --agent KalvSnmp.dll)
mib2_port=$(start_stand_in --agent inetmib1.dll --region 1.3.6.1.2.1)
snmpd_port=$(port)
cat > "$work/snmpd.conf" <<CONF
agentaddress udp:127.0.0.1:$snmpd_port
rocommunity public 127.0.0.1
CONF
snmpd -f -C -c "$work/snmpd.conf" -Lf "$work/snmpd.log" -p "$work/snmpd.pid" &
pids="$pids $!"
sleep 1

printf '%-44s %14s %9s\n' "walk" "bindings/s" "bindings"
for tool in snmpwalk snmpbulkwalk; do
    read -r agent agent_count <<< "$(rate $tool 127.0.0.1:$agent_port .1.3.6.1.4.1.32473)"
    read -r mib2 mib2_count <<< "$(rate $tool 127.0.0.1:$mib2_port .1.3.6.1.2.1)"
    read -r native native_count <<< "$(rate $tool 127.0.0.1:$snmpd_port .1.3.6.1.2.1)"
    printf '%-44s %14s %9s\n' "$tool KalvSnmp via snmp_service" "$agent" "$agent_count" \
        "$tool inetmib1 via snmp_service" "$mib2" "$mib2_count" "$tool snmpd (native)" "$native" "$native_count"
    python3 -c "print('%s ratios: KalvSnmp/inetmib1 %.2f, KalvSnmp/snmpd %.2f' % ('$tool', $agent / max($mib2, 1), $agent / max($native, 1)))"
done
echo
"$ARVEXA_WINE_LOADER" "$bin/query_bench.exe" KalvSnmp.dll 50 | tr -d '\r'
"$ARVEXA_WINE_LOADER" "$bin/query_bench.exe" inetmib1.dll 50 2>/dev/null | tr -d '\r'

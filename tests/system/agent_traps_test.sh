# The agent's traps through the SNMP service stand-in: a scenario whose
# controller reports three events; snmptrapd receives each as an SNMPv1
# trap and as its SNMPv2c form, with the enterprise, specific number, time
# stamp and bindings the events call for. A clean stop closes the agent,
# which ends the storage library session.
#   agent_traps_test.sh BIN_DIR SOURCE_DIR
source "$2/tests/snmp_service/service_lib.sh"
here=$SOURCE_DIR/tests/system
events=.1.3.6.1.4.1.32473.1.1.1.13

v1_port=$(free_udp_port)
v2_port=$(free_udp_port)
cat > "$WORK/snmptrapd.conf" <<CONF
disableAuthorization yes
format1 V1 %N %w %q %v\n
format2 V2 %v\n
CONF
snmptrapd -f -C -c "$WORK/snmptrapd.conf" -n -On -Lf "$WORK/traps.log" \
    "udp:127.0.0.1:$v1_port,udp:127.0.0.1:$v2_port" &
EXTRA_PIDS=$!

export KALVBRIDGE_SCENARIO="Z:$here/scenarios/events.json"
export KALVBRIDGE_CALL_LOG="Z:$WORK/calls.log"
start_service --agent KalvSnmp.dll --trap-to "127.0.0.1:$v1_port" --trap-to "127.0.0.1:$v2_port" --trap-version 2c

for _ in $(seq 100); do
    [ "$(grep -c '^V[12] ' "$WORK/traps.log" 2>/dev/null)" -ge 6 ] && break
    sleep 0.1
done
tab=$'\t'
while IFS='|' read -r specific text; do
    bindings="$events.1 = INTEGER: $specific$tab$events.2 = STRING: \"Controller #0: $text\"$tab$events.3 = INTEGER: $specific"
    check_eq "v1 trap $specific" "V1 $events 6 .$specific $bindings" "$(grep "^V1 .* \\.$specific " "$WORK/traps.log")"
    v2=$(grep "^V2 .*$events.0.$specific$tab" "$WORK/traps.log")
    # The first poll cycle waits a second: the time stamp lies between 1 s
    # and 30 s after the service started.
    stamp=$(echo "$v2" | sed -n 's/^V2 .1.3.6.1.2.1.1.3.0 = Timeticks: (\([0-9]*\)).*/\1/p')
    checks=$((checks + 1))
    [ -n "$stamp" ] && [ "$stamp" -ge 100 ] && [ "$stamp" -le 3000 ] || fail "trap $specific time stamp: $v2"
    check_eq "v2c trap $specific" \
        "$tab.1.3.6.1.6.3.1.1.4.1.0 = OID: $events.0.$specific$tab$bindings$tab.1.3.6.1.6.3.1.1.4.3.0 = OID: $events" \
        "$(echo "$v2" | sed 's/^V2 [^\t]*//')"
done <<'TRAPS'
27|Disk 1 is offline
45|Array 1 rebuild completed
83|Something the agent does not list
TRAPS
check_eq "the traps keep the order of the events" "27 45 83" \
    "$(echo $(sed -n 's/^V1 [^ ]* 6 \.\([0-9]*\) .*/\1/p' "$WORK/traps.log"))"
check_eq "six traps in all" "6" "$(grep -c '^V[12] ' "$WORK/traps.log")"

stop_service
check_eq "exit code after Ctrl+C" "0" "$SERVICE_STATUS"
check_contains "traps counted" "sent 3 traps" "$SERVICE_OUTPUT"
check_eq "closing the agent ended the library session" "i2_finalize" \
    "$(tr -d '\r' < "$WORK/calls.log" | tail -n 1 | cut -d' ' -f1)"
finish

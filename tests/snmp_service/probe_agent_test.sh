# The stand-in hosting the probe agent: every value type on the wire in v1
# and v2c, the error mapping of both versions, SET with the communities,
# GETBULK within the size limit, two regions of one agent, and traps in
# both forms at snmptrapd.
#   probe_agent_test.sh BIN_DIR SOURCE_DIR
source "$(dirname "$0")/service_lib.sh"

trap_port1=$(free_udp_port)
trap_port2=$(free_udp_port)
# Only traps of the community "traps" are logged.
cat > "$WORK/snmptrapd.conf" <<CONF
authCommunity log traps
format1 V1 %N %w %q %v\n
format2 V2 %v\n
CONF
snmptrapd -f -C -c "$WORK/snmptrapd.conf" -n -On -Lf "$WORK/traps.log" \
    "udp:127.0.0.1:$trap_port1,udp:127.0.0.1:$trap_port2" &
EXTRA_PIDS=$!

export PROBE_AGENT_LOG=$WORK/probe.log
start_service --agent "$BIN_DIR/snmp_probe_agent.dll" --community public --write-community private \
    --trap-community traps --trap-to "127.0.0.1:$trap_port1" --trap-to "127.0.0.1:$trap_port2" --trap-version 2c
target=127.0.0.1:$SERVICE_PORT

# Written from the probe agent's table.
long=$(printf 'x%.0s' $(seq 100))
{
    echo '.1.3.6.1.3.7777.1.0 = INTEGER: -5'
    echo '.1.3.6.1.3.7777.2.0 = STRING: "probe"'
    echo '.1.3.6.1.3.7777.3.0 = OID: .1.3.6.1.3.7777.42'
    echo '.1.3.6.1.3.7777.4.0 = IpAddress: 127.0.0.1'
    echo '.1.3.6.1.3.7777.5.0 = Counter32: 4294967295'
    echo '.1.3.6.1.3.7777.6.0 = Gauge32: 7'
    echo '.1.3.6.1.3.7777.7.0 = Timeticks: (12345) 0:02:03.45'
    echo '.1.3.6.1.3.7777.8.0 = Counter64: 4294967297'
    echo '.1.3.6.1.3.7777.9.0 = OPAQUE: 01 02 '
    echo '.1.3.6.1.3.7777.10.0 = Gauge32: 9'
    echo '.1.3.6.1.3.7777.11.0 = INTEGER: 0'
    echo '.1.3.6.1.3.7777.12.0 = INTEGER: 0'
    echo '.1.3.6.1.3.7777.13.0 = INTEGER: 0'
    for row in $(seq 30); do echo ".1.3.6.1.3.7777.20.$row = STRING: \"$long\""; done
    echo '.1.3.6.1.3.7778.1.0 = STRING: "second region"'
} > "$WORK/expected-v1.txt"
{
    cat "$WORK/expected-v1.txt"
    echo '.1.3.6.1.3.7778.1.0 = No more variables left in this MIB View (It is past the end of the MIB tree)'
} > "$WORK/expected-v2c.txt"
grep -v Counter64 "$WORK/expected-v1.txt" > "$WORK/expected-v1-walk.txt"
echo 'End of MIB' >> "$WORK/expected-v1-walk.txt"

snmp snmpwalk -v2c -c public -On $target .1.3.6.1.3 > "$WORK/walk2c.txt"
check_files "v2c walk over both regions" "$WORK/expected-v2c.txt" "$WORK/walk2c.txt"
snmp snmpwalk -v1 -c public -On $target .1.3.6.1.3 > "$WORK/walk1.txt"
check_files "v1 walk skips Counter64" "$WORK/expected-v1-walk.txt" "$WORK/walk1.txt"
for repetitions in 1 10 30; do
    snmp snmpbulkwalk -v2c -c public -On -Cr$repetitions $target .1.3.6.1.3 > "$WORK/bulk$repetitions.txt"
    check_files "bulk walk with $repetitions repetitions" "$WORK/expected-v2c.txt" "$WORK/bulk$repetitions.txt"
done
snmp snmpwalk -v2c -c private -On $target .1.3.6.1.3 > "$WORK/walk-write.txt"
check_files "the write community reads too" "$WORK/expected-v2c.txt" "$WORK/walk-write.txt"

check_eq "GETBULK: one non-repeater, three repetitions" \
    ".1.3.6.1.3.7777.2.0 .1.3.6.1.3.7777.3.0 .1.3.6.1.3.7777.4.0 .1.3.6.1.3.7777.5.0" \
    "$(echo $(snmp snmpbulkget -v2c -c public -On -Cn1 -Cr3 $target .1.3.6.1.3.7777.1.0 .1.3.6.1.3.7777.2.0 | sed 's/ = .*//'))"
# 114 bytes per row of 100 characters: 12 rows fit within 1472 bytes, 13 do not.
check_eq "GETBULK stops at the response size limit" "12" \
    "$(snmp snmpbulkget -v2c -c public -On -Cn0 -Cr30 $target .1.3.6.1.3.7777.13.0 | grep -c '^.1.3.6.1.3.7777.20.')"
check_eq "GETBULK past the end repeats endOfMibView" \
    ".1.3.6.1.3.7778.1.0 = No more variables left in this MIB View (It is past the end of the MIB tree)" \
    "$(snmp snmpbulkget -v2c -c public -On -Cn0 -Cr5 $target .1.3.6.1.3.7778.1.0 | sort -u)"

check_eq "v1 GET of Counter64" "noSuchName" \
    "$(snmp snmpget -v1 -c public -On $target .1.3.6.1.3.7777.8.0 | sed -n 's/^Reason: (\([a-zA-Z]*\)).*/\1/p')"

# Status mapping: [version community name type value] and the answer.
while IFS='|' read -r what version community name type value expected; do
    out=$(snmp snmpset -v$version -c $community -On $target $name $type "$value")
    check_contains "$what" "$expected" "$out"
done <<'CASES'
SET with the read community, v2c|2c|public|.1.3.6.1.3.7777.11.0|i|1|Reason: noAccess
SET with the read community, v1|1|public|.1.3.6.1.3.7777.11.0|i|1|Reason: (noSuchName)
SET of a read-only value, v2c|2c|private|.1.3.6.1.3.7777.1.0|i|1|Reason: notWritable
SET of a read-only value, v1|1|private|.1.3.6.1.3.7777.1.0|i|1|Reason: (noSuchName)
SET outside every region, v2c|2c|private|.1.3.6.1.5.1.0|i|1|Reason: notWritable
SET of the wrong type, v2c|2c|private|.1.3.6.1.3.7777.11.0|s|x|Reason: wrongValue
SET of the wrong type, v1|1|private|.1.3.6.1.3.7777.11.0|s|x|Reason: (badValue)
SET with the write community, v2c|2c|private|.1.3.6.1.3.7777.11.0|i|42|.1.3.6.1.3.7777.11.0 = INTEGER: 42
SET with the write community, v1|1|private|.1.3.6.1.3.7777.11.0|i|-7|.1.3.6.1.3.7777.11.0 = INTEGER: -7
CASES
check_eq "the value set last" ".1.3.6.1.3.7777.11.0 = INTEGER: -7" "$(snmp snmpget -v2c -c public -On $target .1.3.6.1.3.7777.11.0)"
check_contains "a failed binding is named by its index" "Failed object: .1.3.6.1.3.7777.1.0" \
    "$(snmp snmpset -v2c -c private -On $target .1.3.6.1.3.7777.11.0 i 5 .1.3.6.1.3.7777.1.0 i 5)"

# Everything an agent hands over is freed: after a warm-up, 200 more bulk
# walks (9000 bindings of 100-byte strings and names) leave the resident
# size where it was; a leak of a name or a value per binding would add
# several hundred kB.
resident_kb() { awk '/^VmRSS/ { print $2 }' "/proc/$SERVICE_PID/status"; }
for _ in $(seq 30); do snmpbulkwalk -v2c -c public -Cr30 -On $target .1.3.6.1.3 > /dev/null; done
before=$(resident_kb)
for _ in $(seq 200); do snmpbulkwalk -v2c -c public -Cr30 -On $target .1.3.6.1.3 > /dev/null; done
after=$(resident_kb)
checks=$((checks + 1))
[ $((after - before)) -le 128 ] || fail "resident size grew from $before kB to $after kB over 200 walks"

# Traps: three enterprise-specific ones, then a coldStart.
wait_for_traps() {
    for _ in $(seq 100); do
        [ "$(grep -c '^V[12] ' "$WORK/traps.log" 2>/dev/null)" -ge "$1" ] && return
        sleep 0.1
    done
}
snmp snmpset -v2c -c private -On $target .1.3.6.1.3.7777.12.0 i 3 > /dev/null
wait_for_traps 6
tab=$'\t'
# The time stamps are hundredths of a second since the service started.
uptime_pattern='\.1\.3\.6\.1\.2\.1\.1\.3\.0 = Timeticks: \([0-9]{1,4}\) 0:00:[0-9.]*'
for serial in 1 2 3; do
    bindings=".1.3.6.1.3.7777.2.0 = STRING: \"trap $serial\"$tab.1.3.6.1.3.7777.1.0 = INTEGER: $serial"
    check_eq "v1 trap $serial" "V1 .1.3.6.1.3.7777.99 6 .$((100 + serial)) $bindings" \
        "$(grep "^V1 .* \.$((100 + serial)) " "$WORK/traps.log")"
    v2=$(grep "^V2 .*trap $serial\"" "$WORK/traps.log" | sed -E "s/$uptime_pattern/UPTIME/")
    check_eq "v2c trap $serial" "V2 UPTIME$tab.1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.1.3.7777.99.0.$((100 + serial))$tab$bindings$tab.1.3.6.1.6.3.1.1.4.3.0 = OID: .1.3.6.1.3.7777.99" "$v2"
done
snmp snmpset -v2c -c private -On $target .1.3.6.1.3.7777.13.0 i 0 > /dev/null
wait_for_traps 8
check_eq "v1 coldStart" "V1 .1.3.6.1.3.7777.99 0 0 " "$(grep '^V1 .* 0 0 ' "$WORK/traps.log")"
check_eq "v2c coldStart" "V2 UPTIME$tab.1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.1.6.3.1.1.5.1$tab.1.3.6.1.6.3.1.1.4.3.0 = OID: .1.3.6.1.3.7777.99" \
    "$(grep '^V2 .*1.3.6.1.6.3.1.1.5.1' "$WORK/traps.log" | sed -E "s/$uptime_pattern/UPTIME/")"
check_eq "eight traps in all" "8" "$(grep -c '^V[12] ' "$WORK/traps.log")"

stop_service
check_eq "exit code after Ctrl+C" "0" "$SERVICE_STATUS"
check_contains "traps counted" "sent 4 traps; dropped 0 datagrams" "$SERVICE_OUTPUT"
check_eq "the agent was initialised once and closed" "init close" "$(echo $(tr -d '\r' < "$WORK/probe.log" | cut -d' ' -f1))"
finish

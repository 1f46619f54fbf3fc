# Wine's own MIB-II agent, inetmib1.dll, hosted by the stand-in and read by
# the net-snmp tools: GET, GETNEXT, walks and bulk walks in v1 and v2c.
# Its values follow this machine's interfaces and counters, so the checks
# look at names, order and types rather than at values. Wine's agent serves
# a part of MIB-II only: from the interface table (not ifNumber.0, which it
# answers for any instance) to the first row of the UDP table.
#   inetmib1_test.sh BIN_DIR SOURCE_DIR
source "$(dirname "$0")/service_lib.sh"

# inetmib1 announces only its system group but answers all of MIB-II.
start_service --agent inetmib1.dll --region 1.3.6.1.2.1
target=127.0.0.1:$SERVICE_PORT

for version in 1 2c; do
    out=$(snmp snmpget -v$version -c public -On $target .1.3.6.1.2.1.2.1.0)
    case "$out" in
    ".1.3.6.1.2.1.2.1.0 = INTEGER: "[1-9]*) ;;
    *) fail "v$version GET ifNumber.0: $out" ;;
    esac
    check_eq "v$version GETNEXT from the interfaces group" ".1.3.6.1.2.1.2.2.1.1.1" \
        "$(snmp snmpgetnext -v$version -c public -On $target .1.3.6.1.2.1.2 | sed 's/ = .*//')"
done

check_contains "v1 GET outside every region" "Reason: (noSuchName)" \
    "$(snmp snmpget -v1 -c public -On $target .1.3.6.1.4.1.99.1.0)"
check_eq "v2c GET outside every region" ".1.3.6.1.4.1.99.1.0 = No Such Object available on this agent at this OID" \
    "$(snmp snmpget -v2c -c public -On $target .1.3.6.1.4.1.99.1.0)"
check_contains "v2c GET of a missing instance inside the region" "No Such Instance" \
    "$(snmp snmpget -v2c -c public -On $target .1.3.6.1.2.1.2.2.1.1.999)"

snmp snmpwalk -v2c -c public -On $target .1.3.6.1 > "$WORK/walk2c.txt"
snmp snmpwalk -v1 -c public -On $target .1.3.6.1 > "$WORK/walk1.txt"
snmp snmpbulkwalk -v2c -c public -On $target .1.3.6.1 > "$WORK/bulk.txt"
snmp snmpbulkwalk -v2c -c public -On -Cr60 $target .1.3.6.1 > "$WORK/bulk60.txt"
for walk in walk2c walk1 bulk bulk60; do
    check_eq "$walk: names increase" "increasing" "$(names_increase "$WORK/$walk.txt")"
    check_eq "$walk: starts at ifIndex.1" ".1.3.6.1.2.1.2.2.1.1.1" "$(walk_names "$WORK/$walk.txt" | head -1)"
    checks=$((checks + 1))
    [ "$(walk_names "$WORK/$walk.txt" | wc -l)" -ge 20 ] || fail "$walk: fewer than 20 lines"
    checks=$((checks + 1))
    ! grep -q -E "Timeout|OID not increasing|Error" "$WORK/$walk.txt" || fail "$walk: $(grep -m1 -E 'Timeout|OID not|Error' "$WORK/$walk.txt")"
done
check_eq "v2c walk ends at the end of the MIB view" "No more variables left in this MIB View (It is past the end of the MIB tree)" \
    "$(tail -n 1 "$WORK/walk2c.txt" | sed 's/^[.0-9]* = //')"
check_eq "v1 walk ends cleanly" "End of MIB" "$(tail -n 1 "$WORK/walk1.txt")"
walk_names "$WORK/walk2c.txt" > "$WORK/names2c.txt"
for walk in walk1 bulk bulk60; do
    walk_names "$WORK/$walk.txt" > "$WORK/names-$walk.txt"
    check_files "$walk names equal the v2c walk's" "$WORK/names2c.txt" "$WORK/names-$walk.txt"
done
interfaces=$(snmp snmpget -v2c -c public -On -Oqv $target .1.3.6.1.2.1.2.1.0)
check_eq "one ifIndex row per interface" "$interfaces" "$(grep -c '^.1.3.6.1.2.1.2.2.1.1.' "$WORK/walk2c.txt")"

out=$(snmp snmpget -v2c -c wrong -On $target .1.3.6.1.2.1.2.1.0)
check_contains "a wrong community gets no answer" "Timeout: No Response" "$out"

stop_service
check_eq "exit code after Ctrl+C" "0" "$SERVICE_STATUS"
check_contains "the dropped request and its retry are counted" "bad community 2, oversized 0)" "$SERVICE_OUTPUT"
finish

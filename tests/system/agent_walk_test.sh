# KalvSnmp.dll and the storage library simulator hosted by the SNMP service
# stand-in, read by the net-snmp tools: walks of scenario fixtures against
# walks written by hand from the scenarios, in v1 and v2c, as plain and
# bulk walks; GET and GETNEXT; and one walk from 1.3.6.1 that crosses from
# MIB-II (Wine's inetmib1.dll) into the private MIB.
#   agent_walk_test.sh BIN_DIR SOURCE_DIR
source "$2/tests/snmp_service/service_lib.sh"
here=$SOURCE_DIR/tests/system
private=.1.3.6.1.4.1.32473
names="-m VANTREL-ARVEXA-MIB -Os"

use_scenario() {
    export KALVBRIDGE_SCENARIO="Z:$here/scenarios/$1.json"
}

for scenario in one_controller two_controllers; do
    use_scenario $scenario
    start_service --agent KalvSnmp.dll
    target=127.0.0.1:$SERVICE_PORT
    expected=$here/expected/$scenario.txt
    snmp snmpwalk -v2c -c public $names $target $private > "$WORK/walk2c.txt"
    { cat "$expected"; echo "$(tail -n 1 "$expected" | sed 's/ = .*//') = No more variables left in this MIB View (It is past the end of the MIB tree)"; } \
        > "$WORK/expected2c.txt"
    check_files "$scenario: v2c walk" "$WORK/expected2c.txt" "$WORK/walk2c.txt"
    snmp snmpwalk -v1 -c public $names $target $private > "$WORK/walk1.txt"
    { cat "$expected"; echo "End of MIB"; } > "$WORK/expected1.txt"
    check_files "$scenario: v1 walk" "$WORK/expected1.txt" "$WORK/walk1.txt"
    for repetitions in 1 7 50; do
        snmp snmpbulkwalk -v2c -c public $names -Cr$repetitions $target $private > "$WORK/bulk.txt"
        check_files "$scenario: bulk walk with $repetitions repetitions equals the walk" "$WORK/walk2c.txt" "$WORK/bulk.txt"
    done
    snmp snmpwalk -v2c -c public -On $target $private > "$WORK/numeric.txt"
    check_eq "$scenario: names increase" "increasing" "$(names_increase "$WORK/numeric.txt")"
    stop_service
    check_eq "$scenario: exit code" "0" "$SERVICE_STATUS"
done

# GET and GETNEXT on the second scenario's tables.
use_scenario two_controllers
start_service --agent KalvSnmp.dll
target=127.0.0.1:$SERVICE_PORT
while IFS='|' read -r what tool version name expected; do
    check_eq "$what" "$expected" "$(snmp $tool -v$version -c public $names $target $name)"
done <<CASES
GET a scalar, v1|snmpget|1|$private.1.1.1.2.0|arvexaDiscoveryStatus.0 = INTEGER: 7
GET a scalar, v2c|snmpget|2c|$private.1.1.1.4.0|arvexaDriverVersion.0 = STRING: 1.0.0.2
GET the battery's voltage|snmpget|2c|$private.1.1.1.7.1.5.1|arvexaBatteryVoltage.1 = STRING: 12.000001 V
GET a row past the end, v2c|snmpget|2c|$private.1.1.1.7.1.4.2|arvexaBatteryTemperature.2 = No Such Instance currently exists at this OID
GET outside the agent, v2c|snmpget|2c|.1.3.6.1.4.1.99.1.0|enterprises.99.1.0 = No Such Object available on this agent at this OID
GETNEXT into an empty table skips it|snmpgetnext|2c|$private.1.1.1.6|arvexaBatteryIndex.1 = INTEGER: 1
GETNEXT over absent controller columns|snmpgetnext|1|$private.1.1.1.5.1.5.2|arvexaCtrlPathWord3.1 = INTEGER: 0
GETNEXT from the view prefix|snmpgetnext|2c|$private|arvexaManufacturer.0 = STRING: Vantrel Technology, Inc.
GETNEXT past the last instance, v2c|snmpgetnext|2c|$private.1.1.1.10.1.10.1|arvexaEnclSensor2.1 = No more variables left in this MIB View (It is past the end of the MIB tree)
CASES
check_contains "GET a row past the end, v1" "Reason: (noSuchName)" \
    "$(snmp snmpget -v1 -c public $names $target $private.1.1.1.7.1.4.2)"
check_contains "GETNEXT past the last instance, v1" "End of MIB" \
    "$(snmp snmpwalk -v1 -c public $names $target $private.1.1.1.10.1.10)"
check_contains "SET of a read-only column, v2c" "Reason: noAccess" \
    "$(snmp snmpset -v2c -c public $names $target $private.1.1.1.5.1.2.1 i 5)"
stop_service

# One walk from 1.3.6.1 through both agents: MIB-II, then the private MIB,
# with nothing lost and nothing repeated at the border.
use_scenario one_controller
start_service --agent inetmib1.dll --region 1.3.6.1.2.1 --agent KalvSnmp.dll
target=127.0.0.1:$SERVICE_PORT
snmp snmpwalk -v2c -c public -On $target .1.3.6.1 > "$WORK/all.txt"
snmp snmpwalk -v2c -c public -On $target .1.3.6.1.2.1 > "$WORK/mib2.txt"
snmp snmpwalk -v2c -c public -On $target $private > "$WORK/private.txt"
check_eq "the whole walk increases" "increasing" "$(names_increase "$WORK/all.txt")"
{ walk_names "$WORK/mib2.txt"; walk_names "$WORK/private.txt"; } > "$WORK/joined.txt"
walk_names "$WORK/all.txt" > "$WORK/all-names.txt"
check_files "MIB-II followed by the private MIB, nothing between" "$WORK/joined.txt" "$WORK/all-names.txt"
check_eq "the private part is the agent's walk" "$(grep "^$private" "$WORK/private.txt" | grep -v 'No more variables')" \
    "$(grep "^$private" "$WORK/all.txt" | grep -v 'No more variables')"
checks=$((checks + 1))
[ "$(walk_names "$WORK/mib2.txt" | wc -l)" -ge 20 ] || fail "MIB-II part has fewer than 20 names"
snmp snmpbulkwalk -v2c -c public -On $target .1.3.6.1 > "$WORK/all-bulk.txt"
walk_names "$WORK/all-bulk.txt" > "$WORK/all-bulk-names.txt"
check_files "the bulk walk from 1.3.6.1 has the same names" "$WORK/all-names.txt" "$WORK/all-bulk-names.txt"
stop_service
check_eq "exit code" "0" "$SERVICE_STATUS"
finish

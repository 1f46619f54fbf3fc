# The private MIB module: clean for smilint at level 3, loaded by net-snmp
# without a word, and naming every column the agent serves.
#   mib_module_test.sh BIN_DIR SOURCE_DIR
source "$(dirname "$0")/service_lib.sh"
MIB=$SOURCE_DIR/mibs/VANTREL-ARVEXA-MIB.txt

lint=$(SMIPATH=$SOURCE_DIR/tests/snmp_service/base-mibs smilint -l 3 "$MIB" 2>&1)
check_eq "smilint -l 3 reports nothing" "" "$lint"

translate() { snmptranslate -m VANTREL-ARVEXA-MIB "$@" 2>&1; }
check_eq "net-snmp loads the module silently" ".1.3.6.1.4.1.32473.1.1.1.13.0.27" \
    "$(translate -On VANTREL-ARVEXA-MIB::arvexaEvent27)"
check_eq "a walk with names from the module" "" "$(snmptranslate -m VANTREL-ARVEXA-MIB -Tp .1.3.6.1.4.1.32473 2>&1 >/dev/null)"

# Every served column has a name; the gaps of the controller table do not.
prefix=.1.3.6.1.4.1.32473.1.1.1
declare -A columns=(
    [5]="1 2 3 4 5 7 8 14 15 16 17 18 19 20 21 22 23 24 25 26 27 29 30 31 32 33 34"
    [6]="$(seq -s ' ' 1 27)" [7]="$(seq -s ' ' 1 5)" [8]="$(seq -s ' ' 1 12)"
    [9]="$(seq -s ' ' 1 19)" [10]="$(seq -s ' ' 1 10)")
for table in 5 6 7 8 9 10; do
    for column in ${columns[$table]}; do
        name=$(translate "$prefix.$table.1.$column.1")
        case "$name" in
        VANTREL-ARVEXA-MIB::arvexa*.1) ;;
        *) fail "column $table.$column has no name: $name" ;;
        esac
        checks=$((checks + 1))
    done
done
for gap in 6 9 10 11 12 13 28; do
    check_eq "controller column $gap does not exist" "VANTREL-ARVEXA-MIB::arvexaControllerEntry.$gap.1" \
        "$(translate "$prefix.5.1.$gap.1")"
done
check_eq "scalars" "VANTREL-ARVEXA-MIB::arvexaManufacturer.0 VANTREL-ARVEXA-MIB::arvexaDiscoveryStatus.0 VANTREL-ARVEXA-MIB::arvexaControllerModel.0 VANTREL-ARVEXA-MIB::arvexaDriverVersion.0" \
    "$(echo $(for s in 1 2 3 4; do translate "$prefix.$s.0"; done))"
check_eq "trap bindings" "VANTREL-ARVEXA-MIB::arvexaEventSpecificNumber VANTREL-ARVEXA-MIB::arvexaEventMessage VANTREL-ARVEXA-MIB::arvexaEventSpecificNumberCopy" \
    "$(echo $(for b in 1 2 3; do translate "$prefix.13.$b"; done))"
for specific in 1 83 109; do
    check_eq "trap $specific" "VANTREL-ARVEXA-MIB::arvexaEvent$specific" "$(translate "$prefix.13.0.$specific")"
done

# Every column is read-only, and every INTEGER column but the row numbers
# says what -1 means.
report=$(python3 - "$MIB" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
objects = re.findall(r'^(\w+) OBJECT-TYPE\s+SYNTAX\s+(.*?)\n\s+MAX-ACCESS\s+(\S+).*?DESCRIPTION\s+"(.*?)"', text, re.S | re.M)
for name, syntax, access, description in objects:
    if syntax.startswith("SEQUENCE") or name.endswith("Entry"):
        continue
    if access not in ("read-only", "accessible-for-notify"):
        print("%s is %s" % (name, access))
    if syntax.strip() == "Integer32" and "-1" not in description and not name.startswith("arvexaEvent") \
            and name != "arvexaDiscoveryStatus" and "Number" not in name and not name.endswith("Index") and name != "arvexaDriveAlwaysOne":
        print("%s does not say what -1 means" % name)
print("%d objects" % len(objects))
PY
)
check_eq "access and -1 in the descriptions" "119 objects" "$report"
finish

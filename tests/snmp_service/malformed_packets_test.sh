# Hostile datagrams: a table of malformed and unwanted messages, each
# dropped and counted or answered as it must be, then a randomised run of
# mutated requests; the service answers the next valid request throughout.
#   malformed_packets_test.sh BIN_DIR SOURCE_DIR
source "$(dirname "$0")/service_lib.sh"
packets=$(dirname "$0")/malformed_packets.py

start_service --agent "$BIN_DIR/snmp_probe_agent.dll" --write-community private
expected=$(python3 "$packets" table "$SERVICE_PORT")
status=$?
check_eq "the service answered after every case" "0" "$status"
stop_service
check_eq "exit code after the table" "0" "$SERVICE_STATUS"
check_eq "every case counted where it belongs" "snmp_service: $(echo "$expected" | tail -n 1)" \
    "$(echo "$SERVICE_OUTPUT" | tail -n 1)"

start_service --agent "$BIN_DIR/snmp_probe_agent.dll" --write-community private
python3 "$packets" mutate "$SERVICE_PORT" 3000
check_eq "the service answered throughout 3000 mutated requests" "0" "$?"
stop_service
check_eq "exit code after the mutations" "0" "$SERVICE_STATUS"
check_contains "the counts are reported" "dropped" "$SERVICE_OUTPUT"
echo "$SERVICE_OUTPUT" | tail -n 1
finish

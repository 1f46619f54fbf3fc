# Shared by the system tests: starts snmp_service.exe under Wine on a free
# loopback port, stops it the way an operator would, and counts failures.
#   source service_lib.sh BIN_DIR SOURCE_DIR
# Runs inside a Wine session (ARVEXA_WINE_LOADER and WINEPREFIX set).
# KEEP_WORK=1 keeps the work folder with the walks for a look afterwards.
set -u

BIN_DIR=$1
SOURCE_DIR=$2
WORK=$(mktemp -d)
MIB_DIRS=$SOURCE_DIR/tests/snmp_service/base-mibs:$SOURCE_DIR/mibs
SERVICE_PID=""
SERVICE_PORT=""
SERVICE_STATUS=""
failures=0
checks=0

# The tools read no configuration but ours, and load no MIB unless asked.
mkdir -p "$WORK/snmpconf"
export SNMPCONFPATH=$WORK/snmpconf
export MIBS=""
export MIBDIRS=$MIB_DIRS

cleanup_service_lib() {
    if [ -n "$SERVICE_PID" ] && kill -0 "$SERVICE_PID" 2>/dev/null; then
        kill -INT "$SERVICE_PID" 2>/dev/null
        sleep 2
        kill -KILL "$SERVICE_PID" 2>/dev/null
    fi
    for pid in ${EXTRA_PIDS:-}; do kill "$pid" 2>/dev/null; done
    [ -n "${KEEP_WORK:-}" ] || rm -rf "$WORK"
}
trap cleanup_service_lib EXIT

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# check_eq WHAT EXPECTED ACTUAL
check_eq() {
    checks=$((checks + 1))
    if [ "$2" != "$3" ]; then
        fail "$1"
        echo "  expected: $2"
        echo "  actual:   $3"
    fi
}

# check_contains WHAT NEEDLE TEXT
check_contains() {
    checks=$((checks + 1))
    case "$3" in
    *"$2"*) ;;
    *) fail "$1: no \"$2\" in:"; echo "$3" | head -20 ;;
    esac
}

# check_files WHAT EXPECTED_FILE ACTUAL_FILE
check_files() {
    checks=$((checks + 1))
    if ! diff -u "$2" "$3" > "$WORK/diff.txt"; then
        fail "$1"
        head -40 "$WORK/diff.txt"
    fi
}

free_udp_port() {
    local port
    for _ in $(seq 50); do
        port=$(shuf -i 20000-60999 -n 1)
        if ! ss -Hlun "sport = :$port" 2>/dev/null | grep -q .; then
            echo "$port"
            return
        fi
    done
    echo 45161
}

# start_service ARGUMENTS... : on a free port; the port is in SERVICE_PORT.
start_service() {
    for _ in 1 2 3 4 5; do
        SERVICE_PORT=$(free_udp_port)
        : > "$WORK/service.out"
        "$ARVEXA_WINE_LOADER" "$BIN_DIR/snmp_service.exe" --listen "127.0.0.1:$SERVICE_PORT" "$@" \
            > "$WORK/service.out" 2>&1 &
        SERVICE_PID=$!
        for _ in $(seq 200); do
            grep -q "serving" "$WORK/service.out" && return 0
            kill -0 "$SERVICE_PID" 2>/dev/null || break
            sleep 0.1
        done
        wait "$SERVICE_PID" 2>/dev/null
        SERVICE_PID=""
        grep -q "cannot listen" "$WORK/service.out" || break
    done
    echo "snmp_service did not start:"
    cat "$WORK/service.out"
    exit 1
}

# stop_service: Ctrl+C, as at a console; SERVICE_STATUS gets the exit code
# and SERVICE_OUTPUT what it printed.
stop_service() {
    kill -INT "$SERVICE_PID"
    for _ in $(seq 200); do
        kill -0 "$SERVICE_PID" 2>/dev/null || break
        sleep 0.1
    done
    wait "$SERVICE_PID"
    SERVICE_STATUS=$?
    SERVICE_PID=""
    SERVICE_OUTPUT=$(tr -d '\r' < "$WORK/service.out")
}

# snmp TOOL ARGUMENTS... : one of the net-snmp tools against the service.
snmp() {
    local tool=$1
    shift
    "$tool" -t 2 -r 1 "$@" 2>&1
}

# The names of a walk's lines, in order, without its end-of-view line.
walk_names() {
    grep -v ' = No more variables left in this MIB View' "$1" | sed -n 's/^\([.0-9]*\) = .*/\1/p'
}

# Whether the names of a walk file strictly increase in SNMP order.
names_increase() {
    walk_names "$1" | python3 -c '
import sys
names = [tuple(int(a) for a in line.strip(".\n").split(".")) for line in sys.stdin if line.strip()]
bad = [i for i in range(1, len(names)) if names[i] <= names[i - 1]]
print("increasing" if not bad else "not increasing at line %d" % (bad[0] + 1))'
}

finish() {
    echo "$((checks - failures)) passed, $failures failed"
    [ "$failures" -eq 0 ]
}

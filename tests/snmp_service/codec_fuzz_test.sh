# Builds the libFuzzer target of the packet codec natively with clang and
# runs it for a bounded time from a few seed messages.
#   codec_fuzz_test.sh BIN_DIR SOURCE_DIR
set -u
SOURCE_DIR=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
codec=$SOURCE_DIR/standins/snmp_service

clang -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$codec" "$codec/snmp_codec.c" "$SOURCE_DIR/tests/snmp_service/codec_fuzz.c" -o "$WORK/codec_fuzz" || exit 1

mkdir "$WORK/corpus"
seed() { printf "$2" > "$WORK/corpus/$1"; }
seed get '\x30\x29\x02\x01\x01\x04\x06public\xa0\x1c\x02\x02\x12\x34\x02\x01\x00\x02\x01\x00\x30\x10\x30\x0e\x06\x0a\x2b\x06\x01\x04\x01\x81\xfd\x59\x01\x00\x05\x00'
seed bulk '\x30\x26\x02\x01\x01\x04\x06public\xa5\x19\x02\x01\x07\x02\x01\x00\x02\x01\x0a\x30\x0e\x30\x0c\x06\x08\x2b\x06\x01\x03\xbd\x61\x01\x00\x05\x00'
seed set '\x30\x2c\x02\x01\x00\x04\x07private\xa3\x1e\x02\x01\x05\x02\x01\x00\x02\x01\x00\x30\x13\x30\x11\x06\x08\x2b\x06\x01\x03\xbd\x61\x0b\x00\x46\x05\x01\x00\x00\x00\x01'
seed trap '\x30\x23\x02\x01\x00\x04\x06public\xa4\x16\x06\x05\x2b\x06\x01\x03\x01\x40\x04\x7f\x00\x00\x01\x02\x01\x06\x02\x01\x01\x43\x01\x00\x30\x00'

"$WORK/codec_fuzz" -max_total_time=20 -timeout=5 -rss_limit_mb=1024 -max_len=2048 -print_final_stats=1 \
    -artifact_prefix="$WORK/" \
    "$WORK/corpus" 2>&1 | tail -n 15
status=${PIPESTATUS[0]}
[ "$status" -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit "$status"

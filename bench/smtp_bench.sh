#!/bin/sh
# SMTP delivery speed: bench_smtp beside Postfix's smtp-source and Python's
# smtplib, all sending COUNT messages of SIZE bytes one session each,
# sequentially, into the same smtp-sink on a loopback address. Run as root.
# Usage: bench/smtp_bench.sh [BUILD_DIR] [COUNT] [SIZE]
set -eu
BUILD=${1:-build}
COUNT=${2:-1000}
SIZE=${3:-5120}
ADDR=127.0.1.200
HERE=$(cd "$(dirname "$0")" && pwd)

smtp-sink -u postfix "$ADDR:25" 256 &
SINK=$!
trap 'kill $SINK 2>/dev/null; wait $SINK 2>/dev/null || true' EXIT
i=0
until /usr/bin/python3 -c "import socket,sys; socket.create_connection(('$ADDR',25),1).close()" 2>/dev/null; do
    i=$((i + 1)); [ $i -lt 100 ] || { echo "smtp-sink did not start" >&2; exit 1; }
done

now() { date +%s.%N; }

OURS=$("$BUILD/bench/bench_smtp" "$ADDR" "$COUNT" "$SIZE")
echo "$OURS"
OURS_RATE=$(echo "$OURS" | sed -n 's/.*, \([0-9]*\) messages\/s.*/\1/p')

T0=$(now)
smtp-source -s 1 -m "$COUNT" -l "$SIZE" -f bench@example.com -t sink@example.org "$ADDR:25"
T1=$(now)
SRC_RATE=$(echo "$COUNT $T0 $T1" | awk '{ printf "%.0f", $1 / ($3 - $2) }')
echo "smtp-source: $COUNT messages, $SRC_RATE messages/s"

PY=$(/usr/bin/python3 "$HERE/smtplib_client.py" "$ADDR" "$COUNT" "$SIZE")
echo "$PY"
PY_RATE=$(echo "$PY" | sed -n 's/.*, \([0-9]*\) messages\/s.*/\1/p')

echo "$OURS_RATE $SRC_RATE $PY_RATE" |
    awk '{ printf "ratio bench_smtp/smtp-source %.2f, bench_smtp/smtplib %.2f\n", $1 / $2, $1 / $3 }'

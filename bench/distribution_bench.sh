#!/bin/sh
# One submission distributed to MEMBERS members (default 1,000) by the engine,
# into Postfix's smtp-sink on a loopback address, beside the same number of
# bare library sends (bench_smtp) as the cost of the SMTP dialogue alone.
# Run as root. Usage: bench/distribution_bench.sh [BUILD_DIR] [MEMBERS] [SIZE]
set -eu
BUILD=${1:-build}
MEMBERS=${2:-1000}
SIZE=${3:-5120}
ADDR=127.0.3.240

cmake --build "$BUILD" -j2 --target bench_distribution bench_smtp >/dev/null
smtp-sink -u postfix "$ADDR:25" 256 &
SINK=$!
trap 'kill $SINK 2>/dev/null; wait $SINK 2>/dev/null || true' EXIT
i=0
until /usr/bin/python3 -c "import socket; socket.create_connection(('$ADDR',25),1).close()" 2>/dev/null; do
    i=$((i + 1)); [ $i -lt 100 ] || { echo "smtp-sink did not start" >&2; exit 1; }
done

OURS=$("$BUILD/bench/bench_distribution" "$ADDR" "$MEMBERS" "$SIZE" 2>&1)
echo "$OURS"
BARE=$("$BUILD/bench/bench_smtp" "$ADDR" "$MEMBERS" "$SIZE")
echo "$BARE"
echo "$OURS" | sed -n 's/.*, \([0-9]*\) deliveries\/s.*/\1/p' > /tmp/ringpost-dist-rate.$$
echo "$BARE" | sed -n 's/.*, \([0-9]*\) messages\/s.*/\1/p' >> /tmp/ringpost-dist-rate.$$
awk 'NR==1{a=$1} NR==2{b=$1} END{ printf "ratio distribution/bare sends %.2f\n", a / b }' /tmp/ringpost-dist-rate.$$
rm -f /tmp/ringpost-dist-rate.$$

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
. "$(cd "$(dirname "$0")" && pwd)/smtp_sink.sh"

cmake --build "$BUILD" -j2 --target bench_distribution bench_smtp >/dev/null
trap stop_sink EXIT
start_sink "$ADDR"

OURS=$("$BUILD/bench/bench_distribution" "$ADDR" "$MEMBERS" "$SIZE" 2>&1)
echo "$OURS"
BARE=$("$BUILD/bench/bench_smtp" "$ADDR" "$MEMBERS" "$SIZE")
echo "$BARE"
OURS_RATE=$(echo "$OURS" | sed -n 's/.*, \([0-9]*\) deliveries\/s.*/\1/p')
BARE_RATE=$(echo "$BARE" | sed -n 's/.*, \([0-9]*\) messages\/s.*/\1/p')
echo "$OURS_RATE $BARE_RATE" | awk '{ printf "ratio distribution/bare sends %.2f\n", $1 / $2 }'

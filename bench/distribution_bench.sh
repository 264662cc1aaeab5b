#!/bin/sh
# One submission distributed to MEMBERS members (default 1,000) by the engine,
# into Postfix's smtp-sink on a loopback address, beside the same number of
# bare library sends (bench_smtp) as the cost of the SMTP dialogue alone.
# Both time themselves in-process, from the first send to the last; they take
# turns (A B, then B A) for ROUNDS rounds and the medians decide.
# Run as root. Usage: bench/distribution_bench.sh [BUILD_DIR] [MEMBERS] [SIZE] [ROUNDS]
set -eu
BUILD=${1:-build}
MEMBERS=${2:-1000}
SIZE=${3:-5120}
ROUNDS=${4:-5}
ADDR=127.0.3.240
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/smtp_sink.sh"
. "$HERE/rounds.sh"

cmake --build "$BUILD" -j2 --target bench_distribution bench_smtp >/dev/null
OURS_RATES=$(mktemp)
BARE_RATES=$(mktemp)
trap 'stop_sink; rm -f "$OURS_RATES" "$BARE_RATES"' EXIT
start_sink "$ADDR"
tmpdir_note
machine_load

ours() {
    OUT=$("$BUILD/bench/bench_distribution" "$ADDR" "$MEMBERS" "$SIZE" 2>&1)
    echo "  $OUT"
    echo "$OUT" | sed -n 's/.*, \([0-9]*\) deliveries\/s.*/\1/p' >>"$OURS_RATES"
}
bare() {
    OUT=$("$BUILD/bench/bench_smtp" "$ADDR" "$MEMBERS" "$SIZE")
    echo "  $OUT"
    echo "$OUT" | sed -n 's/.*, \([0-9]*\) messages\/s.*/\1/p' >>"$BARE_RATES"
}

alternate "$ROUNDS" ours bare

O=$(median <"$OURS_RATES")
B=$(median <"$BARE_RATES")
echo "medians over $ROUNDS rounds: distribution $O deliveries/s, bare sends $B messages/s"
echo "$O $B" | awk '{ printf "ratio of medians distribution/bare sends %.2f\n", $1 / $2 }'
machine_load

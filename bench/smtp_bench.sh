#!/bin/sh
# SMTP delivery speed: bench_smtp beside Postfix's smtp-source and Python's
# smtplib, all sending COUNT messages of SIZE bytes one session each,
# sequentially, into the same smtp-sink on a loopback address. Run as root.
# The three take turns for ROUNDS rounds; with more than one round the
# medians of the rates and of the per-round ratios close the output (the
# machine's load changes between rounds, a round's ratio much less).
# Usage: bench/smtp_bench.sh [BUILD_DIR] [COUNT] [SIZE] [ROUNDS]
set -eu
BUILD=${1:-build}
COUNT=${2:-1000}
SIZE=${3:-5120}
ROUNDS=${4:-1}
ADDR=127.0.1.200
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/smtp_sink.sh"
. "$HERE/rounds.sh"

RATES=$(mktemp)
trap 'stop_sink; rm -f "$RATES"' EXIT
start_sink "$ADDR"

now() { date +%s.%N; }
round=0
while [ $round -lt "$ROUNDS" ]; do
    round=$((round + 1))
    [ "$ROUNDS" -eq 1 ] || echo "round $round"

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
    echo "$OURS_RATE $SRC_RATE $PY_RATE" >>"$RATES"
done

if [ "$ROUNDS" -gt 1 ]; then
    over_rounds() { column_median "$RATES" "$1"; }
    printf "medians over %s rounds: bench_smtp %.0f, smtp-source %.0f, smtplib %.0f messages/s; " \
        "$ROUNDS" "$(over_rounds '$1')" "$(over_rounds '$2')" "$(over_rounds '$3')"
    echo "ratio bench_smtp/smtp-source $(over_rounds '$1 / $2'), bench_smtp/smtplib $(over_rounds '$1 / $3')"
fi

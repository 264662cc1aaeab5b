#!/bin/sh
# SMTP with STARTTLS and AUTH: bench_smtp beside Python's smtplib, each
# sending COUNT messages of SIZE bytes, one session each, sequentially, to the
# submission port (587) of a private Postfix that authenticates through
# Dovecot (scripts/mail-system --tls). They take turns for ROUNDS rounds;
# medians of the rates and of the per-round ratios and the machine load close
# the output. Run as root.
# Usage: bench/smtp_tls_bench.sh [BUILD_DIR] [COUNT] [SIZE] [ROUNDS]
set -eu
BUILD=${1:-build}
COUNT=${2:-300}
SIZE=${3:-5120}
ROUNDS=${4:-5}
ADDR=127.0.12.201
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/rounds.sh"
MAIL=$(mktemp -d)
RATES=$(mktemp)
trap '"$HERE/../scripts/mail-system" stop "$MAIL"; rm -rf "$MAIL" "$RATES"' EXIT
chmod 755 "$MAIL"
"$HERE/../scripts/mail-system" start --tls "$MAIL" "$ADDR" bench sink
CA=$MAIL/tls/ca.pem

round=0
while [ $round -lt "$ROUNDS" ]; do
    round=$((round + 1))
    echo "round $round"
    OURS=$("$BUILD/bench/bench_smtp" "$ADDR" "$COUNT" "$SIZE" 2 "$CA" bench secret)
    echo "$OURS"
    OURS_RATE=$(echo "$OURS" | sed -n 's/.*, \([0-9]*\) messages\/s.*/\1/p')
    PY=$(/usr/bin/python3 "$HERE/smtplib_client.py" "$ADDR" "$COUNT" "$SIZE" "$CA" bench secret)
    echo "$PY"
    PY_RATE=$(echo "$PY" | sed -n 's/.*, \([0-9]*\) messages\/s.*/\1/p')
    echo "$OURS_RATE $PY_RATE" | awk '{ printf "ratio bench_smtp/smtplib %.2f\n", $1 / $2 }'
    echo "$OURS_RATE $PY_RATE" >>"$RATES"
done
over_rounds() { column_median "$RATES" "$1"; }
printf "medians over %s rounds: bench_smtp %.0f, smtplib %.0f messages/s; ratio bench_smtp/smtplib %s\n" \
    "$ROUNDS" "$(over_rounds '$1')" "$(over_rounds '$2')" "$(over_rounds '$1 / $2')"
machine_load

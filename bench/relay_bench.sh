#!/bin/sh
# One post relayed to MEMBERS members through a provider-style submission
# server (Postfix on 587 with STARTTLS and AUTH through Dovecot) that sits a
# 20 ms round trip away: delay_proxy.py adds 10 ms each way in front of it.
# There the round trips, not the machine, set the pace. With --plain the
# list is a plain one instead: Postfix's port 25, no TLS, no AUTH.
#   ours:  bench_distribution, the engine's processing of a spooled post, with
#          the list's SMTP security set to STARTTLS + AUTH (or none);
#   peer:  relay_smtplib.py, Python's smtplib keeping ONE session
#          (authenticated, or plain) and sending RSET between copies.
# Same member addresses, one copy each with its own To:, same body size. Both
# time themselves in-process, from the first connection to the last reply;
# they take turns (A B, then B A) for ROUNDS rounds and the medians decide.
# Postfix accepts every member and discards the mail after acceptance, so
# delivery never competes with the senders.
# Run as root.
# Usage: bench/relay_bench.sh [--plain] [--ours-only|--peer-only] [BUILD_DIR] [MEMBERS] [ROUNDS] [SIZE]
#   MEMBERS 1000, ROUNDS 5, SIZE 5120 by default; a small MEMBERS with ROUNDS 1
#   is the quick check. DELAY_MS (default 10) sets the delay each way.
set -eu
ONLY=both
PLAIN=0
while :; do
    case "${1:-}" in
    --plain) PLAIN=1; shift ;;
    --ours-only) ONLY=ours; shift ;;
    --peer-only) ONLY=peer; shift ;;
    *) break ;;
    esac
done
BUILD=${1:-build}
MEMBERS=${2:-1000}
ROUNDS=${3:-5}
SIZE=${4:-5120}
DELAY_MS=${DELAY_MS:-10}
ADDR=127.0.3.230
PORT=2587
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/rounds.sh"

die() { echo "relay_bench: $*" >&2; exit 1; }

cmake --build "$BUILD" -j2 --target bench_distribution >/dev/null
MAIL=$(mktemp -d)
OURS_TIMES=$(mktemp)
PEER_TIMES=$(mktemp)
PROXY_PID=
cleanup() {
    [ -n "$PROXY_PID" ] && kill "$PROXY_PID" 2>/dev/null || true
    "$HERE/../scripts/mail-system" stop "$MAIL"
    rm -rf "$MAIL" "$OURS_TIMES" "$PEER_TIMES"
}
trap cleanup EXIT
chmod 755 "$MAIL"
SECURED=  # bench_distribution's SECURITY CAFILE USER PASSWORD
if [ "$PLAIN" = 1 ]; then
    "$HERE/../scripts/mail-system" start "$MAIL" "$ADDR" bench >/dev/null
    UPSTREAM=25
else
    "$HERE/../scripts/mail-system" start --tls "$MAIL" "$ADDR" bench >/dev/null
    UPSTREAM=587
    SECURED="2 $MAIL/tls/ca.pem bench secret"
fi

# Every member is accepted and the mail dropped once queued: only the
# dialogue is measured.
postconf -c "$MAIL/postfix/etc" -e "smtpd_reject_unlisted_recipient = no" "virtual_transport = discard:relay bench"
postfix -c "$MAIL/postfix/etc" reload >/dev/null 2>&1

# The certificate names $ADDR, so the proxy listens there too, on its own port.
/usr/bin/python3 "$HERE/delay_proxy.py" "$ADDR" "$PORT" "$ADDR" "$UPSTREAM" "$DELAY_MS" >"$MAIL/proxy.out" 2>&1 &
PROXY_PID=$!
i=0
until grep -q ready "$MAIL/proxy.out"; do
    i=$((i + 1))
    [ $i -le 100 ] || die "the proxy did not start: $(cat "$MAIL/proxy.out")"
    sleep 0.05
done

# shellcheck disable=SC2086 # SECURED is a list of arguments, empty for a plain list
ours() {  # members
    "$BUILD/bench/bench_distribution" "$ADDR:$PORT" "$1" "$SIZE" $SECURED 2>&1
}
peer() {  # members
    /usr/bin/python3 "$HERE/relay_smtplib.py" "$ADDR" "$PORT" "$1" "$SIZE" ${SECURED#2 } 2>&1
}

# Warm-up and check: the reloaded Postfix's old processes may take a moment
# to leave, so the first tries may still refuse a member.
i=0
until peer 2 >/dev/null; do
    i=$((i + 1))
    [ $i -le 20 ] || die "Postfix refuses the relay: $(peer 2)"
    sleep 0.25
done
if [ "$ONLY" != peer ]; then OUT=$(ours 2) || die "ours failed the check: $OUT"; fi

tmpdir_note
[ "$PLAIN" = 1 ] && LIST="plain list (port 25, no TLS, no AUTH)" || LIST="STARTTLS + AUTH list (port 587)"
echo "$LIST, $MEMBERS members, $SIZE-byte body, $ROUNDS rounds, proxy $DELAY_MS ms each way"
PROBE=$(/usr/bin/python3 "$HERE/relay_smtplib.py" probe "$ADDR" "$PORT" 21)
echo "$PROBE"
RTT_MS=$(echo "$PROBE" | sed -n 's/^round trip \([0-9.]*\) ms.*/\1/p')
machine_load

run() {  # side
    if ! OUT=$($1 "$MEMBERS"); then
        echo "  $OUT"
        die "$1 failed"
    fi
    echo "  $OUT"
    echo "$OUT" | sed -n 's/.* in \([0-9.]*\) s,.*/\1/p' >>"$2"
}

ours_round() { run ours "$OURS_TIMES"; }
peer_round() { run peer "$PEER_TIMES"; }
case $ONLY in
ours) peer_round() { :; } ;;
peer) ours_round() { :; } ;;
esac
alternate "$ROUNDS" ours_round peer_round

# Seconds, copies per second and round trips per member: elapsed over the
# added round trip (an upper bound, as a round trip takes at least that), and
# over the round trip measured through the proxy before the rounds.
summary() {  # name times-file
    S=$(median <"$2")
    echo "$1 $S $MEMBERS $DELAY_MS $RTT_MS" | awk '{ printf "%s: median %.2f s, %.1f copies/s, at most %.2f round trips per member (%.2f at the measured %.1f ms)\n", $1, $2, $3 / $2, $2 / ($4 * 2 / 1000) / $3, $2 / ($5 / 1000) / $3, $5 }'
}
echo "medians over $ROUNDS rounds, $MEMBERS members:"
[ "$ONLY" = peer ] || summary ours "$OURS_TIMES"
[ "$ONLY" = ours ] || summary peer "$PEER_TIMES"
if [ "$ONLY" = both ]; then
    echo "$(median <"$OURS_TIMES") $(median <"$PEER_TIMES")" |
        awk '{ printf "ratio of medians ours/peer (seconds) %.2f\n", $1 / $2 }'
fi
machine_load

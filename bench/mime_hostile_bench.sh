#!/bin/bash
# Hostile message shapes against plain messages of the same size: the time
# KOVAPOP3_DecodeAttachments takes per MB of each, as whole processes timed
# the same way, the two taking turns (hostile first, then plain first) for
# ROUNDS rounds; medians, their ratio and the machine load are reported.
# Goal: every shape within 3x the plain message's time per MB.
# Usage: bench/mime_hostile_bench.sh [BUILD_DIR] [SHAPE...]   (ROUNDS=5)
# Shapes: names1 names4 (attachment names of 1 and 4 MB of "=?a?b?x"),
# parts10k parts100k (unnamed parts; past 10,000 the message is refused),
# samename (10,000 parts of one name), lines (a base64 part of 4 MB in blocks
# of many short lines before one long one). TMPDIR chooses where the files go.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
[ $# -gt 0 ] && shift
shapes=${*:-names1 names4 parts10k parts100k samename lines}
rounds=${ROUNDS:-5}
driver=$build/bench/bench_mime
[ -x "$driver" ] || { echo "build the bench_mime target first ($driver)"; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/mime-hostile.XXXXXX")
trap 'rm -rf "$work"' EXIT

. "$here/rounds.sh"
tmpdir_note

# Each shape, and a client-shaped message of the same size (a short text and
# one base64 attachment), CR LF lines and the "." end line of a retrieval.
/usr/bin/python3 - "$work" $shapes <<'PY'
import base64, os, sys
work, shapes = sys.argv[1], sys.argv[2:]
head = (b"From: Eve <eve@example.org>\r\nTo: list@example.org\r\nSubject: submit\r\nMIME-Version: 1.0\r\n"
        b"Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
        b"--b\r\nContent-Type: text/plain\r\n\r\nHello list,\r\n")
def part(headers, body):
    return b"--b\r\n" + headers + b"\r\n" + body
def name_shape(mb):
    name = b"=?a?b?x" * (mb * 1000 * 1000 // 7)
    return part(b"Content-Type: application/pdf; name=\"" + name + b"\"\r\nContent-Transfer-Encoding: base64\r\n"
                b"Content-Disposition: attachment; filename=\"" + name + b"\"\r\n", b"AAAA\r\n")
unnamed = part(b"Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n", b"AAAA\r\n")
named = part(b"Content-Type: application/octet-stream; name=\"same.txt\"\r\nContent-Transfer-Encoding: base64\r\n",
             b"AAAA\r\n")
bodies = {
    "names1": lambda: name_shape(1),
    "names4": lambda: name_shape(4),
    # The text part counts: 10,000 parts in all is the most decoded.
    "parts10k": lambda: unnamed * 9999,
    "parts100k": lambda: unnamed * 99999,
    "samename": lambda: named * 9999,
    "lines": lambda: part(b"Content-Type: application/pdf\r\nContent-Transfer-Encoding: base64\r\n",
                          (b"-\r\n" * 43000 + b"A" * 128000 + b"\r\n") * 16),
}
for shape in shapes:
    hostile = head + bodies[shape]() + b"--b--\r\n.\r\n"
    with open(os.path.join(work, shape + ".eml"), "wb") as f:
        f.write(hostile)
    data = os.urandom(max(0, (len(hostile) - len(head) - 200) * 3 // 4))
    plain = (head + part(b"Content-Type: application/pdf; name=\"report.pdf\"\r\nContent-Transfer-Encoding: base64\r\n",
                         base64.encodebytes(data).replace(b"\n", b"\r\n")) + b"--b--\r\n.\r\n")
    with open(os.path.join(work, shape + ".plain.eml"), "wb") as f:
        f.write(plain)
PY

# One timed run of a message: appends nanoseconds to its times file, and
# with perf (a busy machine makes wall time noisy) the CPU time the process
# used. The copy the decoder rewrites is made before the clock starts.
have_perf=$(command -v perf >/dev/null && perf stat -e task-clock true >/dev/null 2>&1 && echo 1 || true)
run() {  # MESSAGE
    local t0 t1 status=0
    rm -rf "$work/k" && mkdir -p "$work/k" && cp "$work/$1.eml" "$work/k/m.NEW"
    t0=$(date +%s%N)
    if [ -n "$have_perf" ]; then
        perf stat -x, -e task-clock -o "$work/cpu" "$driver" --in-place "$work/k/m.NEW" >/dev/null 2>&1 || status=$?
    else
        "$driver" --in-place "$work/k/m.NEW" >/dev/null 2>&1 || status=$?
    fi
    t1=$(date +%s%N)
    echo "$((t1 - t0))" >>"$work/$1.t"
    [ -n "$have_perf" ] && awk -F, '/task-clock/ { print $1 * 1e6 }' "$work/cpu" >>"$work/$1.cpu"
    echo "$status" >"$work/$1.status"
}

report() {  # SHAPE SUFFIX LABEL
    local hb pb ht pt result
    hb=$(stat -c %s "$work/$1.eml")
    pb=$(stat -c %s "$work/$1.plain.eml")
    ht=$(median <"$work/$1.$2")
    pt=$(median <"$work/$1.plain.$2")
    # The driver exits 1 for a refused message (-31 for too many parts).
    result=$([ "$(cat "$work/$1.status")" = 0 ] && echo decoded || echo refused)
    awk -v s="$1 $3" -v hb="$hb" -v pb="$pb" -v ht="$ht" -v pt="$pt" -v r="$result" 'BEGIN {
        hpm = ht / 1e6 / (hb / 1e6); ppm = pt / 1e6 / (pb / 1e6)
        printf "%-15s %9.2f %9.2f %11.1f %11.1f %7.1f %7.1f %6.2fx  %s\n", s, hb / 1e6, pb / 1e6, ht / 1e6, pt / 1e6, hpm, ppm, hpm / ppm, r
    }'
}

machine_load
printf "%-15s %9s %9s %11s %11s %7s %7s %7s  %s\n" shape hostileMB plainMB "hostile ms" "plain ms" "ms/MB" "plain" ratio result
for shape in $shapes; do
    : >"$work/$shape.t" >"$work/$shape.plain.t" >"$work/$shape.cpu" >"$work/$shape.plain.cpu"
    alternate "$rounds" "run $shape" "run $shape.plain" >/dev/null
    report "$shape" t wall
    [ -n "$have_perf" ] && report "$shape" cpu cpu
done
echo "median of $rounds rounds each; ratio = hostile ms/MB over plain ms/MB (goal <= 3)"
machine_load

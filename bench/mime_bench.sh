#!/bin/bash
# Attachment decoding speed: KOVAPOP3_DecodeAttachments beside ripmime and
# munpack on the same message with a 20 MB base64 attachment.
# Usage: bench/mime_bench.sh [BUILD_DIR] [SIZE_MB]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
size_mb=${2:-20}
runs=3
driver=$build/bench/bench_mime
[ -x "$driver" ] || { echo "build the bench_mime target first ($driver)"; exit 2; }

work=$(mktemp -d /tmp/mime-bench.XXXXXX)
trap 'rm -rf "$work" /tmp/bench_mime.*' EXIT

# A client-shaped message: text part plus one application/pdf in base64,
# CR LF lines and the "." end line of a POP3 retrieval.
/usr/bin/python3 - "$work" "$size_mb" <<'PY'
import os, sys
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email.mime.application import MIMEApplication
from email import policy
work, size = sys.argv[1], int(sys.argv[2])
data = os.urandom(size * 1000 * 1000)
open(os.path.join(work, "original.pdf"), "wb").write(data)
m = MIMEMultipart()
m["From"] = "Ann <ann@example.org>"
m["To"] = "list@example.org"
m["Subject"] = "submit report"
m.attach(MIMEText("Hello list,\nthe report is attached.\n"))
m.attach(MIMEApplication(data, "pdf", Name="report.pdf"))
m["X-Dummy"] = "x"
raw = m.as_bytes(policy=policy.SMTP)
open(os.path.join(work, "message.eml"), "wb").write(raw + b".\r\n")
PY
msg=$work/message.eml
bytes=$(stat -c %s "$msg")

# Best of $runs wall-clock runs of a command; prints MB/s of message bytes.
best_rate() {
    local best=0 t0 t1 rate
    for _ in $(seq $runs); do
        rm -rf "$work/out" && mkdir "$work/out"
        t0=$(date +%s%N)
        "$@" >/dev/null 2>&1
        t1=$(date +%s%N)
        rate=$(awk -v b="$bytes" -v ns=$((t1 - t0)) 'BEGIN { printf "%.1f", b / 1e6 / (ns / 1e9) }')
        best=$(awk -v a="$best" -v b="$rate" 'BEGIN { print (b > a) ? b : a }')
    done
    echo "$best"
}

kova_out=$("$driver" "$msg" $runs)
kova=$(awk '/^kova_mbps/ { print $2 }' <<<"$kova_out")
kova_kb=$(awk '/^kova_peak_kb/ { print $2 }' <<<"$kova_out")
cmp -s "$(awk '/^kova_output/ { print $2 }' <<<"$kova_out")/report.pdf" "$work/original.pdf" \
    || { echo "KOVAPOP3 output differs from the original"; exit 1; }

ripmime=$(best_rate ripmime -i "$msg" -d "$work/out")
cmp -s "$work/out/report.pdf" "$work/original.pdf" || echo "note: ripmime output differs"
munpack=$(best_rate munpack -q -f -C "$work/out" "$msg")
cmp -s "$work/out/report.pdf" "$work/original.pdf" || echo "note: munpack output differs"
rip_kb=$( { /usr/bin/time -f %M ripmime -i "$msg" -d "$work/out" >/dev/null; } 2>&1 | tail -1)

echo "message: $bytes bytes (${size_mb} MB attachment), best of $runs"
printf "%-10s %8s MB/s  peak %s kB\n" KOVAPOP3 "$kova" "$kova_kb" ripmime "$ripmime" "$rip_kb" munpack "$munpack" "-"
awk -v k="$kova" -v r="$ripmime" -v m="$munpack" \
    'BEGIN { printf "ratio KOVAPOP3/ripmime %.2f   KOVAPOP3/munpack %.2f\n", k / r, k / m }'

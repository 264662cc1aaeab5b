#!/bin/bash
# Attachment decoding speed: KOVAPOP3_DecodeAttachments beside ripmime (and
# munpack) on the same message with one large attachment, either base64 or a
# quoted-printable text. Each program runs as a process timed the same way,
# interleaved (K R M K R M ...) for ROUNDS rounds; medians, their ratio, peak
# memory and the machine load are reported.
# Usage: bench/mime_bench.sh [BUILD_DIR] [SIZE_MB] [base64|oneline|qp]   (ROUNDS=5)
# "oneline" writes the base64 attachment as a single line, as some mailers
# do. TMPDIR chooses where the data goes (tmpfs keeps disk noise out).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
size_mb=${2:-20}
kind=${3:-base64}
rounds=${ROUNDS:-5}
driver=$build/bench/bench_mime
[ -x "$driver" ] || { echo "build the bench_mime target first ($driver)"; exit 2; }
case $kind in base64|oneline|qp) ;; *) echo "kind is base64, oneline or qp"; exit 2 ;; esac

work=$(mktemp -d "${TMPDIR:-/tmp}/mime-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
[ -n "${KEEP:-}" ] && trap - EXIT

# A client-shaped message: text part plus one attachment, CR LF lines and the
# "." end line of a POP3 retrieval. The qp attachment is UTF-8 text with
# accented letters on every line, as mailing software writes reports. Base64
# messages are written in chunks, so any size fits in the generator's memory.
/usr/bin/python3 - "$work" "$size_mb" "$kind" <<'PY'
import base64, os, random, sys
from email import charset, policy
from email.mime.application import MIMEApplication
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
work, size, kind = sys.argv[1], int(sys.argv[2]), sys.argv[3]
if kind in ("base64", "oneline"):
    name = "report.pdf"
    b = "----=_Part_0_1234567890"
    head = ("From: Ann <ann@example.org>\r\nTo: list@example.org\r\nSubject: submit report\r\n"
            "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"%s\"\r\n\r\n"
            "--%s\r\nContent-Type: text/plain; charset=\"us-ascii\"\r\n"
            "Content-Transfer-Encoding: 7bit\r\n\r\nHello list,\r\nthe report is attached.\r\n\r\n"
            "--%s\r\nContent-Type: application/pdf; name=\"%s\"\r\nContent-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment; filename=\"%s\"\r\n\r\n") % (b, b, b, name, name)
    with open(os.path.join(work, "original"), "wb") as orig, open(os.path.join(work, "message.eml"), "wb") as msg:
        msg.write(head.encode())
        left = size * 1000 * 1000
        while left > 0:
            chunk = os.urandom(min(left, 57 * 16384))
            left -= len(chunk)
            orig.write(chunk)
            if kind == "oneline":
                msg.write(base64.b64encode(chunk))
            else:
                msg.write(base64.encodebytes(chunk).replace(b"\n", b"\r\n"))
        msg.write(("%s\r\n--%s--\r\n.\r\n" % ("" if kind == "base64" else "\r\n", b)).encode())
    open(os.path.join(work, "name"), "w").write(name)
    sys.exit(0)
m = MIMEMultipart()
m["From"] = "Ann <ann@example.org>"
m["To"] = "list@example.org"
m["Subject"] = "submit report"
m.attach(MIMEText("Hello list,\nthe report is attached.\n"))
rng = random.Random(1)
words = ["Straße", "café", "naïve", "Überweisung", "€ 15", "= total", "line", "report", "résumé"]
lines, n = [], 0
while n < size * 1000 * 1000:
    line = " ".join(rng.choice(words) for _ in range(rng.randrange(4, 30)))
    lines.append(line)
    n += len(line.encode()) + 2
text = "\r\n".join(lines) + "\r\n"
data = text.encode()
name = "report.txt"
cs = charset.Charset("utf-8")
cs.body_encoding = charset.QP
part = MIMEText("", "plain")
part.set_payload(text, cs)
part.add_header("Content-Disposition", "attachment", filename=name)
m.attach(part)
open(os.path.join(work, "original"), "wb").write(data)
open(os.path.join(work, "name"), "w").write(name)
raw = m.as_bytes(policy=policy.SMTP)
open(os.path.join(work, "message.eml"), "wb").write(raw + b".\r\n")
PY
msg=$work/message.eml
name=$(cat "$work/name")
bytes=$(stat -c %s "$msg")

# One timed run: prints nanoseconds and peak kB. The message copy for the
# in-place decoder is made before the clock starts.
run() {
    local which=$1 t0 t1 kb
    rm -rf "$work/out" "$work/k" && mkdir -p "$work/out" "$work/k"
    case $which in
        kova) cp "$msg" "$work/k/m.NEW"; set -- "$driver" --in-place "$work/k/m.NEW" ;;
        ripmime) set -- ripmime -i "$msg" -d "$work/out" ;;
        munpack) set -- munpack -q -f -C "$work/out" "$msg" ;;
    esac
    t0=$(date +%s%N)
    /usr/bin/time -f %M -o "$work/peak" "$@" >/dev/null 2>&1
    t1=$(date +%s%N)
    kb=$(tail -1 "$work/peak")
    echo "$((t1 - t0)) $kb"
}

. "$here/rounds.sh"

: >"$work/kova.t"; : >"$work/ripmime.t"; : >"$work/munpack.t"; : >"$work/kb"
for _ in $(seq "$rounds"); do
    for p in kova ripmime munpack; do
        read -r ns kb < <(run "$p")
        echo "$ns" >>"$work/$p.t"
        echo "$p $kb" >>"$work/kb"
        if [ "$p" = kova ] && ! cmp -s "$work/k/m/$name" "$work/original"; then
            echo "KOVAPOP3 output differs from the original"; exit 1
        fi
    done
done
cmp -s "$work/out/$name" "$work/original" || echo "note: munpack output differs"

rate() { awk -v b="$bytes" -v ns="$1" 'BEGIN { printf "%.1f", b / 1e6 / (ns / 1e9) }'; }
kova=$(rate "$(median <"$work/kova.t")")
ripmime=$(rate "$(median <"$work/ripmime.t")")
munpack=$(rate "$(median <"$work/munpack.t")")
peak() { awk -v p="$1" '$1 == p && $2 > m { m = $2 } END { print m }' "$work/kb"; }

echo "message: $bytes bytes (${size_mb} MB $kind attachment), median of $rounds interleaved rounds"
printf "%-10s %8s MB/s  peak %s kB\n" KOVAPOP3 "$kova" "$(peak kova)" ripmime "$ripmime" "$(peak ripmime)" \
    munpack "$munpack" "$(peak munpack)"
awk -v k="$kova" -v r="$ripmime" -v m="$munpack" \
    'BEGIN { f = r > m ? r : m; printf "ratio KOVAPOP3/ripmime %.2f   KOVAPOP3/munpack %.2f   KOVAPOP3/faster %.2f\n", k / r, k / m, k / f }'
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"

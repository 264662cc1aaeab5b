#!/bin/sh
# POP3 fetch speed of libKOVAPOP3.so beside Python's poplib, on the same
# data in one run: both time themselves from login to logout, take turns
# going first, five rounds by default, and the medians decide. Needs root
# (Dovecot on port 110 of a loopback address) and a built tree. TMPDIR=/dev/shm
# keeps the mailbox on tmpfs.
# With --tls both speak implicit TLS (port 995) to a Dovecot whose certificate
# comes from a private authority, the reference being poplib.POP3_SSL.
#   bench/pop3_bench.sh [BUILD_DIR] [--tls] [extra bench_pop3 options]
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
[ $# -gt 0 ] && shift
driver=$build/bench/bench_pop3
if [ ! -x "$driver" ]; then
    echo "build the driver first: cmake --build $build --target bench_pop3" >&2
    exit 1
fi
client="/usr/bin/python3 $here/poplib_client.py {host} {port} {user} {password} {count} {dir}"
if [ "${1:-}" = --tls ]; then
    shift
    exec "$driver" --tls --count 1000 --size 10240 --address 127.0.12.200 \
        --reference poplib_ssl "$client {cafile}" "$@"
fi
exec "$driver" --count 1000 --size 10240 --reference poplib "$client" "$@"

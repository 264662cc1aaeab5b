#!/bin/sh
# POP3 over TLS: libKOVAPOP3.so beside Python's poplib.POP3_SSL, both on
# implicit TLS (port 995) of the same private Dovecot with a certificate from
# a private authority, on the same 1,000 x 10 KB mailbox, taking turns for
# 5 rounds; medians, their ratio and the machine load close the output.
# Needs root and a built tree.
#   bench/pop3_tls_bench.sh [BUILD_DIR] [extra bench_pop3 options]
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
[ $# -gt 0 ] && shift
driver=$build/bench/bench_pop3
if [ ! -x "$driver" ]; then
    echo "build the driver first: cmake --build $build --target bench_pop3" >&2
    exit 1
fi
exec "$driver" --tls --count 1000 --size 10240 --rounds 5 --address 127.0.12.200 \
    --reference poplib_ssl \
    "/usr/bin/python3 $here/poplib_client.py {host} {port} {user} {password} {count} {dir} {cafile}" \
    "$@"

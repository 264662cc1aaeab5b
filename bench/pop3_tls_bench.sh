#!/bin/sh
# POP3 over TLS: libKOVAPOP3.so beside Python's poplib.POP3_SSL on implicit
# TLS, the same 1,000 x 10 KB mailbox, taking turns (see pop3_bench.sh).
#   bench/pop3_tls_bench.sh [BUILD_DIR] [extra bench_pop3 options]
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
[ $# -gt 0 ] && shift
exec "$here/pop3_bench.sh" "$build" --tls "$@"

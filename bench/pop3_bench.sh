#!/bin/sh
# POP3 fetch speed of libKOVAPOP3.so beside Python's poplib, on the same
# data in one run: both time themselves from login to logout, take turns
# going first, five rounds by default, and the medians decide. Needs root
# (Dovecot on port 110 of a loopback address) and a built tree. TMPDIR=/dev/shm
# keeps the mailbox on tmpfs.
#   bench/pop3_bench.sh [BUILD_DIR] [extra bench_pop3 options]
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
[ $# -gt 0 ] && shift
driver=$build/bench/bench_pop3
if [ ! -x "$driver" ]; then
    echo "build the driver first: cmake --build $build --target bench_pop3" >&2
    exit 1
fi
exec "$driver" --count 1000 --size 10240 \
    --reference poplib "/usr/bin/python3 $here/poplib_client.py {host} {port} {user} {password} {count} {dir}" \
    "$@"

# Sourced by the SMTP benchmarks: Postfix's smtp-sink on port 25 of a loopback
# address, ready once it accepts a connection. The caller's EXIT trap calls
# stop_sink.
start_sink() {  # ADDRESS
    smtp-sink -u postfix "$1:25" 256 &
    SINK=$!
    i=0
    until /usr/bin/python3 -c "import socket; socket.create_connection(('$1',25),1).close()" 2>/dev/null; do
        i=$((i + 1)); [ $i -lt 100 ] || { echo "smtp-sink did not start" >&2; exit 1; }
    done
}

stop_sink() {
    kill "${SINK:-}" 2>/dev/null; wait "${SINK:-}" 2>/dev/null || true
}

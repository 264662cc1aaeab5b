# Sourced by the benchmark scripts: what every side-by-side run reports the
# same way (medians, ratio of medians, machine load).

# Median of the numbers on standard input (the mean of the middle two when even).
median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) exit 1; m = int((NR + 1) / 2); printf "%.2f\n", (NR % 2) ? v[m] : (v[m] + v[m + 1]) / 2 }'
}

# The median of an awk expression over the columns of FILE, a line a round.
column_median() {  # FILE EXPR
    awk "{ print $2 }" "$1" | median
}

# Runs the commands A and B for ROUNDS rounds, taking turns at going first
# (A B, then B A), so neither side always meets the warmer machine.
alternate() {  # ROUNDS A B
    _round=0
    while [ "$_round" -lt "$1" ]; do
        _round=$((_round + 1))
        echo "round $_round"
        if [ $((_round % 2)) -eq 1 ]; then $2; $3; else $3; $2; fi
    done
}

# The load averages and core count, so a reader can judge the figures.
machine_load() {
    printf "load %s (1, 5, 15 min) on %s cores\n" "$(cut -d' ' -f1-3 /proc/loadavg)" "$(nproc)"
}

# Hint for data on tmpfs: some root file systems here scan deleted inodes on
# every create, which slows both sides and adds noise.
tmpdir_note() {
    case "${TMPDIR:-/tmp}" in
    /dev/shm* | /run/*) ;;
    *) echo "note: TMPDIR=${TMPDIR:-/tmp}; TMPDIR=/dev/shm keeps the data on tmpfs" ;;
    esac
}

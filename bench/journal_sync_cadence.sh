#!/usr/bin/env bash
# The journal's sync cadence: a scripted typing run under strace, and for each second of it the
# changes made and the syncs (fsync, fdatasync) that reached the disk.
#   bench/journal_sync_cadence.sh [BENCH_BINARY] [SECONDS]
set -euo pipefail
bench=${1:-build/bench/dalmure_journal_bench}
seconds=${2:-10}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
strace -f -ttt -e trace=fsync,fdatasync -o "$out/trace" "$bench" --typing-run "$seconds" >"$out/run"
python3 - "$out/run" "$out/trace" "$seconds" <<'PY'
import sys, re
run, trace, seconds = open(sys.argv[1]).read().split("\n"), open(sys.argv[2]).read().split("\n"), int(sys.argv[3])
start = float(next(l.split()[1] for l in run if l.startswith("start")))
changes = {int(m.group(1)): int(m.group(2)) for l in run if (m := re.match(r"second (\d+) changes (\d+)", l))}
syncs = [0] * (seconds + 2)
for line in trace:
    m = re.match(r"\d+\s+(\d+\.\d+) (fsync|fdatasync)\(", line)
    if m:
        t = float(m.group(1)) - start
        if 0 <= t < seconds + 2:
            syncs[int(t)] += 1
print("second  changes  syncs")
for s in range(seconds + 1):
    print(f"{s:6d}  {changes.get(s, 0):7d}  {syncs[s]:5d}")
PY

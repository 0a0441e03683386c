#!/usr/bin/env bash
# The shell's rights walk over a chain of nested folders a pupil may plant in
# the shell folder: `rights_tool` (the walk the updater runs) against
# `chmod -R a+rwX` of the same chain, at 1,000, 4,000 and 16,000 levels.
#
#   bench/rights.sh [rounds]            (default 5)
#
# The two commands take turns, round after round, and the medians are
# compared, so that the load of a shared machine falls on both alike.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}

scripts/setup build bench
cmake --preset bench >/dev/null
cmake --build --preset bench --target rights_tool >/dev/null
tool=$PWD/build/bench/bin/rights_tool

work=$(mktemp -d "${TMPDIR:-/tmp}/slv2-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$tool" "$rounds" <<'PY'
import os, statistics, subprocess, sys, time

work, tool, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])

def chain(levels):
    top = os.path.join(work, "chain%d" % levels)
    os.mkdir(top)
    fd = os.open(top, os.O_RDONLY | os.O_DIRECTORY)
    for _ in range(levels):
        os.mkdir("d", 0o755, dir_fd=fd)
        with open("f", "w", opener=lambda p, f: os.open(p, f, 0o644, dir_fd=fd)) as out:
            out.write("x")
        nxt = os.open("d", os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd = nxt
    os.close(fd)
    os.sync()  # the new folders written out, so that no command pays for it
    return top

def timed(command):
    os.sync()  # what the command before wrote is not this one's to write out
    start = time.perf_counter()
    subprocess.run(command, check=True)
    return time.perf_counter() - start

medians = {}
print("| levels | chmod -R a+rwX (s) | rights walk (s) | ratio |")
print("|---:|---:|---:|---:|")
for levels in (1000, 4000, 16000):
    top = chain(levels)
    times = {"chmod": [], "walk": []}
    for _ in range(rounds):
        times["chmod"].append(timed(["chmod", "-R", "a+rwX", top]))
        times["walk"].append(timed([tool, top]))
    c, w = statistics.median(times["chmod"]), statistics.median(times["walk"])
    medians[levels] = w
    print("| %d | %.3f | %.3f | %.2f |" % (levels, c, w, w / c))
    subprocess.run(["rm", "-rf", top], check=True)
print("16,000 levels / 4,000 levels (walk): %.2f" % (medians[16000] / medians[4000]))
print("load average: %.1f" % os.getloadavg()[0])
PY

#!/usr/bin/env bash
# Extracting update storages: `slv2pack extract` of 1,000 streams of 100 KB
# in 10 folders, against `cp -r` of the same folder tree (the floor) and
# `7zz x` of the same compound file; 5,000 streams of 1 KiB in one folder
# against the same two; the system calls of each extraction (`strace -c`);
# and the peak memory of the extraction against that of a storage holding
# the same bytes in one stream, which must be no larger.
#
#   bench/extract.sh [rounds]        (default 9; needs 0.5 GB of disk a round)
#   PACK_BEFORE=/path/to/slv2pack bench/extract.sh   also counts the system
#                                    calls of another build, for comparison
#   SMALL_FILES=50000 bench/extract.sh   that many small streams instead
#
# The three commands take turns, round after round, and the medians are
# compared, so that the load of a shared machine falls on all of them alike.
# Before each run the previous output is moved aside and everything written
# is synced, so that every extraction goes into a fresh folder. Nothing is
# deleted until the end: for half a minute after many files were deleted
# ext4 creates files far more slowly (it avoids reusing their inodes), which
# would fall on whichever command came next.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-9}

scripts/setup build bench
cmake --preset bench >/dev/null
cmake --build --preset bench --target slv2pack >/dev/null
pack=$PWD/build/bench/bin/slv2pack

work=$(mktemp -d "${TMPDIR:-/tmp}/slv2-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$pack" "$rounds" "${PACK_BEFORE:-}" "${SMALL_FILES:-5000}" <<'EOF'
import os, random, shutil, statistics, subprocess, sys, time

work, pack, rounds, before = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
small_files = int(sys.argv[5])
rng = random.Random(2024)  # random bytes, so that no tool gains by compression

def make(name, files):
    for rel, size in files:
        path = os.path.join(work, name, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(rng.randbytes(size))
    subprocess.run([pack, "build", f"{work}/{name}", f"{work}/{name}.stg"], check=True)

make("large", [(f"dir{i // 100}/file{i:04d}.bin", 100 * 1024) for i in range(1000)])
make("small", [(f"file{i:05d}.bin", 1024) for i in range(small_files)])
make("single", [("big.bin", 1000 * 100 * 1024)])
shutil.rmtree(f"{work}/single")

out, old = f"{work}/out", f"{work}/old"
os.makedirs(old)

def move_aside():
    if os.path.exists(out):
        os.rename(out, f"{old}/{time.monotonic_ns()}")

def run(argv):
    """Wall seconds and processor seconds of one run into a fresh folder."""
    move_aside()
    os.sync()
    start = time.perf_counter()
    child = subprocess.Popen(argv)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit(f"{argv[0]} failed")
    return wall, usage.ru_utime + usage.ru_stime

def syscalls(binary, storage):
    """Calls by name (strace -c) of one extraction into a fresh folder."""
    move_aside()
    subprocess.run(["strace", "-f", "-c", "-o", f"{work}/strace.txt", binary, "extract", storage,
                    out], check=True)
    counts = {}
    for line in open(f"{work}/strace.txt"):
        parts = line.split()
        if len(parts) >= 5 and parts[0][0].isdigit() and parts[-1] != "total":
            counts[parts[-1]] = int(parts[3])
    return counts

def peak(storage):
    """Peak resident memory (KiB) of extracting a storage."""
    move_aside()
    result = subprocess.run(["/usr/bin/time", "-f", "%M", pack, "extract", storage, out],
                            check=True, capture_output=True, text=True)
    return int(result.stderr.split()[-1])

with open("/proc/loadavg") as f:
    print(f"load average before: {f.read().split()[0]}")
for data, goals in (("large", (1.5, 1.1)), ("small", (None, 2.0))):
    storage = f"{work}/{data}.stg"
    commands = {
        "cp -r": ["cp", "-r", f"{work}/{data}", out],
        "slv2pack extract": [pack, "extract", storage, out],
        "7zz x": ["7zz", "x", "-y", "-bso0", "-bsp0", f"-o{out}", storage],
    }
    for argv in commands.values():  # warm-up: every input in the page cache
        run(argv)
    results = {name: [] for name in commands}
    for r in range(rounds):
        names = list(commands)
        for name in names[r % 3:] + names[:r % 3]:
            results[name].append(run(commands[name]))
    median = {name: [statistics.median(x[k] for x in runs) for k in range(2)]
              for name, runs in results.items()}
    print(f"--- {data}: {os.path.getsize(storage) / 1e6:.0f} MB")
    for name, (wall, cpu) in median.items():
        print(f"{name:17} wall {wall:.3f} s   cpu {cpu:.3f} s   (medians of {rounds})")
    for k, what in enumerate(("wall", "cpu")):
        cp, sl, sz = (median[n][k] for n in commands)
        print(f"{what}: slv2pack/cp -r {sl / cp:.2f} (goal {goals[0]}), "
              f"slv2pack/7zz {sl / sz:.2f} (goal {goals[1]})")
    for label, binary in (("before", before), ("now", pack)):
        if not binary:
            continue
        counts = syscalls(binary, storage)
        shown = ", ".join(f"{n} {counts.get(n, 0)}" for n in
                          ("fsync", "syncfs", "getdents64", "openat", "openat2", "newfstatat",
                           "fcntl", "rename", "renameat"))
        print(f"system calls {label}: {sum(counts.values())} in all; {shown}")
with open("/proc/loadavg") as f:
    print(f"load average after: {f.read().split()[0]}")
print(f"peak memory of slv2pack extract: 1,000 streams {peak(f'{work}/large.stg') // 1024} MiB, "
      f"the same bytes in one stream {peak(f'{work}/single.stg') // 1024} MiB")
EOF

#!/usr/bin/env bash
# Extracting an update storage: `slv2pack extract` of a compound file of about
# 200 MB in 2,000 streams, against `cp -r` of the same folder tree (the floor)
# and `7zz x` of the same compound file; and the peak memory of the
# extraction against that of a storage holding one 200 MB stream, which must
# be no larger.
#
#   bench/extract.sh [rounds]        (default 9; needs 0.6 GB of disk a round)
#
# The three commands take turns, round after round, and the medians are
# compared, so that the load of a shared machine falls on all of them alike.
# Before each run the previous output is moved aside and everything written
# is synced. Nothing is deleted until the end: for half a minute after many
# files were deleted ext4 creates files far more slowly (it avoids reusing
# their inodes), which would fall on whichever command came next.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-9}

scripts/setup build bench
cmake --preset bench >/dev/null
cmake --build --preset bench --target slv2pack >/dev/null
pack=$PWD/build/bench/bin/slv2pack

work=$(mktemp -d "${TMPDIR:-/tmp}/slv2-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$pack" "$rounds" <<'EOF'
import os, random, shutil, statistics, subprocess, sys, time

work, pack, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])

# 2,000 files of 1 KiB to about 200 KiB (random, so that no tool gains by
# compression) in 20 folders of 100, two of them one level deeper; and one
# file of the same total size.
rng = random.Random(2024)
sizes = [1024 + (i * 7919) % 204800 for i in range(2000)]
for i, size in enumerate(sizes):
    folder = os.path.join(work, "tree", f"dir{i // 100:02d}", *(["deeper"] if i // 100 in (3, 7) else []))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"file{i:04d}.bin"), "wb") as f:
        f.write(rng.randbytes(size))
os.makedirs(os.path.join(work, "single"))
with open(os.path.join(work, "single", "big.bin"), "wb") as f:
    for size in sizes:
        f.write(rng.randbytes(size))
subprocess.run([pack, "build", f"{work}/tree", f"{work}/tree.stg"], check=True)
subprocess.run([pack, "build", f"{work}/single", f"{work}/single.stg"], check=True)
shutil.rmtree(f"{work}/single")
print(f"storage: {os.path.getsize(f'{work}/tree.stg') / 1e6:.0f} MB in {len(sizes)} streams")

out, old = f"{work}/out", f"{work}/old"
os.makedirs(old)
commands = {
    "cp -r": ["cp", "-r", f"{work}/tree", out],
    "slv2pack extract": [pack, "extract", f"{work}/tree.stg", out],
    "7zz x": ["7zz", "x", "-y", "-bso0", "-bsp0", f"-o{out}", f"{work}/tree.stg"],
}

def run(argv):
    """Wall seconds and processor seconds of one run."""
    if os.path.exists(out):
        os.rename(out, f"{old}/{time.monotonic_ns()}")
    os.sync()
    start = time.perf_counter()
    child = subprocess.Popen(argv)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit(f"{argv[0]} failed")
    return wall, usage.ru_utime + usage.ru_stime

def peak(storage):
    """Peak resident memory (KiB) of extracting a storage."""
    if os.path.exists(out):
        os.rename(out, f"{old}/{time.monotonic_ns()}")
    result = subprocess.run(["/usr/bin/time", "-f", "%M", pack, "extract", storage, out],
                            check=True, capture_output=True, text=True)
    return int(result.stderr.split()[-1])

for argv in commands.values():  # warm-up: every input in the page cache
    run(argv)
results = {name: [] for name in commands}
for r in range(rounds):
    names = list(commands)
    for name in names[r % 3:] + names[:r % 3]:
        results[name].append(run(commands[name]))

median = {name: [statistics.median(x[k] for x in runs) for k in range(2)]
          for name, runs in results.items()}
for name, (wall, cpu) in median.items():
    print(f"{name:17} wall {wall:.3f} s   cpu {cpu:.3f} s   (medians of {rounds})")
for k, what in enumerate(("wall", "cpu")):
    cp, sl, sz = (median[n][k] for n in commands)
    print(f"{what}: slv2pack/cp -r {sl / cp:.2f} (goal <= 1.5), slv2pack/7zz {sl / sz:.2f} (goal < 1)")
print(f"peak memory of slv2pack extract: 2,000 streams {peak(f'{work}/tree.stg') // 1024} MiB, "
      f"one 200 MB stream {peak(f'{work}/single.stg') // 1024} MiB")
EOF

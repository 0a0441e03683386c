#!/usr/bin/env bash
# Building and reading update storages of any size with `slv2pack`, against
# the peer tools in the same run:
#   - `build` of one 1 GiB file against `tar cf` (each also with its output
#     made durable, as `build` makes its storage durable before it renames it);
#   - `build` of 3 GiB (past what version 3 of the format holds), which must
#     succeed and be read by olefile and gsf;
#   - `build` of 50,000 files of 1 KiB against `7zz a -mx0`, and `extract` of
#     that storage into one folder against `7zz x`;
#   - peak memory of `list` and `extract` of a storage holding one 2 GiB
#     stream, which must stay under 16 MiB.
#
#   bench/storage.sh [rounds]        (default 5; needs about 12 GB of disk)
#
# The commands of each comparison take turns, round after round, and the
# medians are compared, so that the load of a shared machine falls on all of
# them alike; the load average is printed with the figures. Outputs are moved
# aside, not deleted, until the end: ext4 creates files slowly for a while
# after many were deleted.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}

scripts/setup build bench test
cmake --preset bench >/dev/null
cmake --build --preset bench --target slv2pack >/dev/null
pack=$PWD/build/bench/bin/slv2pack

work=$(mktemp -d "${TMPDIR:-/tmp}/slv2-storage-XXXXXX")
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 - "$work" "$pack" "$rounds" <<'EOF'
import os, statistics, subprocess, sys, time

work, pack, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
old = os.path.join(work, "old")
os.makedirs(old)

def aside(path):
    if os.path.exists(path):
        os.rename(path, os.path.join(old, str(time.monotonic_ns())))

def run(argv, out, limit=None):
    """Wall seconds of one run, its output moved aside first; `limit` when
    the run was stopped at that many seconds."""
    aside(out)
    os.sync()
    start = time.perf_counter()
    try:
        subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, timeout=limit)
    except subprocess.TimeoutExpired:
        return limit
    return time.perf_counter() - start

def compare(title, commands, out, turns=None, limit=None):
    """Runs the commands in turns; prints medians and ratios to the first."""
    turns = turns or rounds
    load = os.getloadavg()[0]
    if not limit:
        for argv in commands.values():  # warm-up: inputs in the page cache
            run(argv, out)
    times = {name: [] for name in commands}
    names = list(commands)
    for r in range(turns):
        for name in names[r % len(names):] + names[:r % len(names)]:
            times[name].append(run(commands[name], out, limit))
    medians = {name: statistics.median(t) for name, t in times.items()}
    ours = medians[names[0]]
    print(f"\n{title} (medians of {turns}; load average {load:.1f} at the start, "
          f"{os.getloadavg()[0]:.1f} at the end)")
    for name in names:
        ratio = "" if name == names[0] else f"   {names[0]} / this: {ours / medians[name]:.2f}"
        stopped = " (stopped there)" if medians[name] == limit else ""
        print(f"  {name:34} {medians[name]:7.3f} s{stopped}{ratio}")

def peak(argv, out):
    """Peak resident memory (KiB) of one run."""
    aside(out)
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, check=True,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(result.stderr.split()[-1])

def random_file(path, size):
    subprocess.run(["head", "-c", str(size), "/dev/urandom"], check=True,
                   stdout=open(path, "wb"))

def sh(command):
    return ["sh", "-c", command]

# One 1 GiB file of random bytes (no tool gains by compression).
gib = os.path.join(work, "gib")
os.makedirs(gib)
random_file(os.path.join(gib, "data.bin"), 1 << 30)
out = os.path.join(work, "out")
compare("build of one 1 GiB file", {
    "slv2pack build": [pack, "build", gib, out],
    "tar cf": ["tar", "cf", out, "-C", gib, "."],
    "tar cf, then its output synced": sh(f"tar cf {out} -C {gib} . && sync {out}"),
}, out)

# 3 GiB: three names for the same 1 GiB of data.
three = os.path.join(work, "three")
os.makedirs(three)
for i in range(3):
    os.link(os.path.join(gib, "data.bin"), os.path.join(three, f"part{i}.bin"))
start = time.perf_counter()
subprocess.run([pack, "build", three, out], check=True)
seconds = time.perf_counter() - start
with open(out, "rb") as f:
    version = f.read(28)[26]
listing = subprocess.run(["gsf", "list", out], check=True, capture_output=True, text=True).stdout
gsf_sizes = sorted(int(line.split()[-2]) for line in listing.splitlines() if line.startswith("f "))
ole = subprocess.run(["/usr/bin/python3", "-c",
                      "import sys, olefile\n"
                      "ole = olefile.OleFileIO(sys.argv[1])\n"
                      "print(*sorted(ole.get_size(e) for e in ole.listdir()))\n"
                      "data = ole.openstream('part2.bin').read()\n"
                      "print(data == open(sys.argv[2], 'rb').read())\n", out,
                      os.path.join(gib, "data.bin")], check=True, capture_output=True, text=True)
print(f"\nbuild of 3 GiB: {seconds:.1f} s, {os.path.getsize(out) / 2**30:.2f} GiB, version {version}; "
      f"gsf lists {gsf_sizes}; olefile lists and reads: {ole.stdout.split()}")
aside(out)
aside(three)

# 50,000 files of 1 KiB in one folder.
small = os.path.join(work, "small")
os.makedirs(small)
block = os.urandom(1024 * 50000)
for i in range(50000):
    with open(os.path.join(small, f"f{i:05d}.bin"), "wb") as f:
        f.write(block[i * 1024:(i + 1) * 1024])
archive = out + ".7z"  # 7zz adds the extension to a name without one
compare("build of 50,000 files of 1 KiB", {
    "slv2pack build": [pack, "build", small, archive],
    "7zz a -mx0": ["7zz", "a", "-mx0", "-bso0", "-bsp0", archive, small],
    "7zz a -mx0, then its output synced":
        sh(f"7zz a -mx0 -bso0 -bsp0 {archive} {small} && sync {archive}"),
}, archive)
storage = os.path.join(work, "small.stg")
subprocess.run([pack, "build", small, storage], check=True)
subprocess.run(["7zz", "a", "-mx0", "-bso0", "-bsp0", storage + ".7z", small], check=True)
# Extraction into one folder still costs the file layer a folder listing per
# file (quadratic in the files of a folder): one turn, stopped at 15 minutes.
compare("extract of 50,000 files of 1 KiB into one folder", {
    "slv2pack extract": [pack, "extract", storage, out],
    "7zz x (of its own archive)": ["7zz", "x", "-y", "-bso0", "-bsp0", f"-o{out}", storage + ".7z"],
    "7zz x (of the storage)": ["7zz", "x", "-y", "-bso0", "-bsp0", f"-o{out}", storage],
}, out, turns=1, limit=900)

# One 2 GiB stream: peak memory of list and extract.
two = os.path.join(work, "two")
os.makedirs(two)
subprocess.run(sh(f"cat {gib}/data.bin {gib}/data.bin > {two}/data.bin"), check=True)
aside(gib)
storage = os.path.join(work, "two.stg")
subprocess.run([pack, "build", two, storage], check=True)
aside(two)
print(f"\npeak memory with one 2 GiB stream (bound: 16 MiB): "
      f"list {peak([pack, 'list', storage], out) / 1024:.1f} MiB, "
      f"extract {peak([pack, 'extract', storage, out], out) / 1024:.1f} MiB, "
      f"build {peak([pack, 'build', os.path.join(out), storage + '.again'], storage + '.again') / 1024:.1f} MiB")
EOF

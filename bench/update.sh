#!/usr/bin/env bash
# One product update: the updater core (update_tool: the registry, the
# storage, Execute) bringing a product folder up to date from a storage of
# 2,000 files of about 200 MB in all: a third new, a third replacing older
# installed versions, a third kept because the installed version is newer.
# Compared with `cp -r` of the same 2,000 files into a fresh folder. Also the
# peak memory of the update, against that of an update carrying one 200 MB
# file: it must not grow with the size of the files.
#
# The copy is timed until its files are durable (`sync -f`), as the
# update's are.
#
#   bench/update.sh [runs]        (default 5 timed runs per command and round)
#   FILES=10000 SPREAD=15400 bench/update.sh 3
#                                 (many small files: 10,000 of 8.7 KB on average)
#   KINDS=new FILES=50000 SPREAD=15400 bench/update.sh 3
#                                 (every file new; KINDS=replace: every file
#                                 replaces an older installed version)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
export FILES=${FILES:-2000} SPREAD=${SPREAD:-204800} KINDS=${KINDS:-mixed}

# The bench group holds what other benchmarks use too; this one needs only
# hyperfine and time, so a package it does not use may fail to install.
if ! scripts/setup build bench; then
  command -v hyperfine >/dev/null && [[ -x /usr/bin/time ]] || exit 1
fi
cmake --preset bench >/dev/null
cmake --build --preset bench --target slv2pack regedit update_tool >/dev/null
bin=$PWD/build/bench/bin

work=$(mktemp -d "${TMPDIR:-/tmp}/slv2-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Incoming files in tree/files/product (what the storage carries), the
# installed product in pristine/. Versioned files are the PE test files with
# random data appended (the version resource stays readable).
python3 - "$work" tests/data/pe <<'PY'
import os, random, sys
work, pe = sys.argv[1], sys.argv[2]
files, spread = int(os.environ["FILES"]), int(os.environ["SPREAD"])
older = open(os.path.join(pe, "ver_1_9_0_0.exe"), "rb").read()
newer = open(os.path.join(pe, "ver_1_10_0_0.exe"), "rb").read()
rng = random.Random(2024)
os.makedirs(os.path.join(work, "pristine"))  # the installed product, empty when all is new
def padded(head, size):
    return head + rng.randbytes(max(size - len(head), 0))
for i in range(files):
    rel = f"dir{i // 100:03d}"
    if i // 100 in (3, 7):
        rel = os.path.join(rel, "deeper")
    size = 1024 + (i * 7919) % spread
    name = os.path.join(rel, f"file{i:04d}.exe")
    kind = {"new": 0, "replace": 1}.get(os.environ["KINDS"], i % 3)  # 0 new, 1 replaced, 2 kept
    incoming = {0: rng.randbytes(size), 1: padded(newer, size), 2: padded(older, size)}[kind]
    for root, data in (("tree/files/product", incoming),
                       ("pristine", None if kind == 0 else
                        padded(older if kind == 1 else newer, size))):
        if data is None:
            continue
        path = os.path.join(work, root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "wb").write(data)
os.makedirs(os.path.join(work, "single/files/product"))
with open(os.path.join(work, "single/files/product/big.bin"), "wb") as f:
    left = sum(1024 + (i * 7919) % spread for i in range(files))
    while left:  # in pieces: randbytes takes at most 2**31 bits at a time
        piece = min(left, 1 << 26)
        f.write(rng.randbytes(piece))
        left -= piece
PY
"$bin/slv2pack" build "$work/tree" "$work/update.stg"
"$bin/slv2pack" build "$work/single" "$work/single.stg"
echo "storage: $(du -m "$work/update.stg" | cut -f1) MB, $(find "$work/tree" -type f | wc -l) files"

export SLV2_REGISTRY=$work/registry.db
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Zarvik\\Solvane 2.1\\main]\n"root"="%s"\n\n[HKEY_LOCAL_MACHINE\\Software\\Zarvik\\Solvane 2.1\\bench]\n"root"="bench"\n' \
  "$work/install" >"$work/family.reg"
"$bin/regedit" /s "$work/family.reg"

# Each run starts from the installed product (or an empty output folder) with
# nothing left to write back from the run before. Earlier results are moved
# aside, not deleted: ext4 creates files slowly right after many were deleted.
mkdir -p "$work/old" "$work/install"
cat >"$work/prepare" <<SH
#!/bin/sh
mkdir -p "$work/old"
for d in "$work/install/bench" "$work/out"; do
  [ -d "\$d" ] && mv "\$d" "$work/old/\$(date +%s%N)"
done
cp -a "$work/pristine" "$work/install/bench"
sync
SH
chmod +x "$work/prepare"
# Rounds alternate the two commands, so that a change in the load of the
# shared machine weighs on both alike.
rounds=3
for round in $(seq 1 $rounds); do
  hyperfine --style basic --runs "$runs" --warmup 1 --export-json "$work/times$round.json" \
    --prepare "$work/prepare" \
    --command-name "cp -r" "cp -r '$work/tree/files/product' '$work/out' && sync -f '$work/out'" \
    --command-name "update" "'$bin/update_tool' '$work/update.stg'" >/dev/null
done

# The last run's result: new and replaced files are the incoming ones, kept
# files the installed ones.
python3 - "$work" <<'PY'
import filecmp, os, sys
work = sys.argv[1]
for i in range(int(os.environ["FILES"])):
    rel = f"dir{i // 100:03d}" + ("/deeper" if i // 100 in (3, 7) else "")
    name = f"{rel}/file{i:04d}.exe"
    kept = os.environ["KINDS"] == "mixed" and i % 3 == 2
    expected = os.path.join(work, "pristine" if kept else "tree/files/product", name)
    if not filecmp.cmp(expected, os.path.join(work, "install/bench", name), shallow=False):
        sys.exit(f"update result differs: {name}")
PY

peak() {  # peak resident memory in KiB of one update
  "$work/prepare"
  /usr/bin/time -f %M -o "$work/rss" "$bin/update_tool" "$1"
  cat "$work/rss"
}
many=$(peak "$work/update.stg")
one=$(peak "$work/single.stg")

python3 - "$work" "$rounds" "$many" "$one" <<'PY'
import json, os, statistics, sys
work, rounds = sys.argv[1], int(sys.argv[2])
for what, key in (("wall (median)", lambda r: r["median"]),
                  ("cpu (user+system)", lambda r: r["user"] + r["system"])):
    ratios = []
    for n in range(1, rounds + 1):
        runs = {r["command"]: r for r in json.load(open(f"{work}/times{n}.json"))["results"]}
        cp, up = key(runs["cp -r"]), key(runs["update"])
        ratios.append(up / cp)
        print(f"round {n} {what}: cp -r {cp:.3f} s, update {up:.3f} s, update/cp -r {up / cp:.2f}")
    print(f"{what}: update/cp -r median of rounds {statistics.median(ratios):.2f} (goal <= 2)")
print(f"peak memory: {os.environ['FILES']} files {int(sys.argv[3]) // 1024} MiB, one file of their size "
      f"{int(sys.argv[4]) // 1024} MiB")
PY

#!/usr/bin/env bash
# Extracting an update storage: `slv2pack extract` of a compound file of about
# 200 MB in 2,000 streams, against `cp -r` of the same folder tree (the floor)
# and `7zz x` of the same compound file. Also the peak memory of the
# extraction, against that of one storage holding a single 200 MB stream: it
# must not grow with the size of the streams.
#
#   bench/extract.sh [runs]        (default 5 timed runs per command)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}

scripts/setup build bench
cmake --preset bench >/dev/null
cmake --build --preset bench --target slv2pack >/dev/null
pack=$PWD/build/bench/bin/slv2pack

work=$(mktemp -d "${TMPDIR:-/tmp}/slv2-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# 2,000 files of 1 KiB to about 200 KiB (random, so that no tool gains by
# compression) in 20 folders of 100, two of them one level deeper.
python3 - "$work" <<'EOF'
import os, random, sys
work = sys.argv[1]
rng = random.Random(2024)
for i in range(2000):
    folder = os.path.join(work, "tree", f"dir{i // 100:02d}")
    if i // 100 in (3, 7):
        folder = os.path.join(folder, "deeper")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"file{i:04d}.bin"), "wb") as f:
        f.write(rng.randbytes(1024 + (i * 7919) % 204800))
os.makedirs(os.path.join(work, "single"))
with open(os.path.join(work, "single", "big.bin"), "wb") as f:
    f.write(rng.randbytes(sum(1024 + (i * 7919) % 204800 for i in range(2000))))
EOF
"$pack" build "$work/tree" "$work/tree.stg"
"$pack" build "$work/single" "$work/single.stg"
echo "storage: $(du -m "$work/tree.stg" | cut -f1) MB, $(find "$work/tree" -type f | wc -l) streams"

# Each run writes into a fresh folder with nothing left to write back from
# the run before. Earlier outputs are moved aside, not deleted: ext4 creates
# files slowly right after many were deleted (it scans for recently freed
# inodes), which would blur the comparison.
mkdir "$work/old"
printf '#!/bin/sh\n[ -d "%s/out" ] && mv "%s/out" "%s/old/$(date +%%s%%N)"\nsync\n' \
  "$work" "$work" "$work" >"$work/prepare"
chmod +x "$work/prepare"
hyperfine --style basic --runs "$runs" --warmup 1 --export-json "$work/times.json" \
  --prepare "$work/prepare" \
  --command-name "cp -r" "cp -r '$work/tree' '$work/out'" \
  --command-name "slv2pack extract" "'$pack' extract '$work/tree.stg' '$work/out'" \
  --command-name "7zz x" "7zz x -y -bso0 -bsp0 -o'$work/out' '$work/tree.stg'"
rm -rf "$work/old"

peak() {  # peak resident memory in KiB of one extraction
  rm -rf "$work/out"
  /usr/bin/time -f %M -o "$work/rss" "$pack" extract "$1" "$work/out"
  cat "$work/rss"
}
many=$(peak "$work/tree.stg")
one=$(peak "$work/single.stg")

python3 - "$work/times.json" "$many" "$one" <<'EOF'
import json, sys
runs = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
# Wall time, and processor time, which the load of a shared machine blurs less.
for what, key in (("wall (median)", lambda r: r["median"]),
                  ("cpu (user+system)", lambda r: r["user"] + r["system"])):
    cp, pack, sz = (key(runs[c]) for c in ("cp -r", "slv2pack extract", "7zz x"))
    print(f"{what}: cp -r {cp:.3f} s, slv2pack extract {pack:.3f} s, 7zz x {sz:.3f} s; "
          f"slv2pack/cp -r {pack / cp:.2f} (goal <= 1.5), slv2pack/7zz {pack / sz:.2f} (goal < 1)")
print(f"peak memory: 2,000 streams {int(sys.argv[2]) // 1024} MiB, one 200 MB stream "
      f"{int(sys.argv[3]) // 1024} MiB")
EOF

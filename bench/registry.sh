#!/usr/bin/env bash
# Registry scripts: a product update carrying 20,000 scripts of one key each,
# run through the updater core (update_tool, as the program runs it), and the
# import of one script of 1,000,000 keys by `regedit /s`: time and peak
# resident memory of each, and a check that every key arrived.
#
#   bench/registry.sh [scripts] [keys]     (defaults 20000 and 1000000)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts=${1:-20000}
keys=${2:-1000000}

scripts/setup build bench
cmake --preset bench >/dev/null
cmake --build --preset bench --target slv2pack regedit update_tool >/dev/null
bin=$PWD/build/bench/bin

work=$(mktemp -d "${TMPDIR:-/tmp}/slv2-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
export SLV2_REGISTRY=$work/registry.db

python3 - "$work" "$scripts" "$keys" <<'PY'
import os, sys
work, scripts, keys = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
folder = os.path.join(work, "tree/registry")
os.makedirs(folder)
os.makedirs(os.path.join(work, "tree/files/product"))
open(os.path.join(work, "tree/files/product/readme.txt"), "w").write("bench\n")
for i in range(scripts):
    with open(os.path.join(folder, f"s{i:05d}.reg"), "w") as f:
        f.write(f'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Bench\\Scripts\\K{i}]\r\n"v"="{i}"\r\n')
with open(os.path.join(work, "big.reg"), "w") as f:
    f.write("REGEDIT4\r\n")
    for i in range(keys):
        f.write(f'\r\n[HKEY_LOCAL_MACHINE\\Software\\Bench\\Big\\G{i // 1000}\\K{i}]\r\n"v"="{i}"\r\n')
PY
"$bin/slv2pack" build "$work/tree" "$work/update.stg"
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Zarvik\\Solvane 2.1\\main]\n"root"="%s"\n\n[HKEY_LOCAL_MACHINE\\Software\\Zarvik\\Solvane 2.1\\bench]\n"root"="bench"\n' \
  "$work/install" >"$work/family.reg"
mkdir -p "$work/install/bench"
"$bin/regedit" /s "$work/family.reg"

count() {  # the keys below HKLM\Software\Bench\$1 that hold their value
  "$bin/regedit" /e "$work/export.reg" "HKEY_LOCAL_MACHINE\\Software\\Bench\\$1"
  iconv -f UTF-16LE -t UTF-8 "$work/export.reg" | grep -c '^"v"='
}
measure() {  # wall seconds and peak resident MiB of one command
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" || echo "(exit status $?)"
  read -r wall kib < <(tail -n 1 "$work/time")
  echo "$wall s, peak $((kib / 1024)) MiB"
}

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "update of $scripts scripts: $(measure "$bin/update_tool" "$work/update.stg")," \
  "keys imported: $(count Scripts) (goal: under 10 s)"
echo "regedit /s of $keys keys in one script ($(du -m "$work/big.reg" | cut -f1) MB):" \
  "$(measure "$bin/regedit" /s "$work/big.reg"), keys imported: $(count Big)" \
  "(goal: under 64 MiB)"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"

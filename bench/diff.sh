#!/usr/bin/env bash
# Binary differences against xdelta3 -9 and bsdiff on real old/new pairs from
# the npm registry (fetched with npm pack): difference size, raw and as stored
# in an update storage (zlib level 9 behind the 16-byte compressed-stream
# header), apply time (hyperfine), peak memory of apply (/usr/bin/time), and
# fixed 2 MiB block alignment against the adaptive choice. Prints the tables
# of bench/README.md.
#
#   bench/diff.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup build
# npm may come with a Node.js that is not Debian's; install the bench group
# only when a tool is missing.
for tool in npm xdelta3 bsdiff bspatch hyperfine /usr/bin/time; do
  command -v "$tool" >/dev/null || { scripts/setup bench; break; }
done
cmake --preset bench >/dev/null
cmake --build --preset bench --target slv2pack diff_tool >/dev/null
bin=$PWD/build/bench/bin
work=$PWD/build/bench/diff-data
mkdir -p "$work"

# label | old package | new package | file inside both packages
pairs=(
  "lodash.js 4.17.20 → 4.17.21|lodash@4.17.20|lodash@4.17.21|package/lodash.js"
  "typescript.js 5.3.3 → 5.4.2|typescript@5.3.3|typescript@5.4.2|package/lib/typescript.js"
  "esbuild executable 0.19.11 → 0.19.12|@esbuild/linux-x64@0.19.11|@esbuild/linux-x64@0.19.12|package/bin/esbuild"
)

# Unpacks a package once into its own folder and prints that folder.
fetch() {
  local dir=$work/pkg/${1//\//_}
  if [[ ! -d $dir/package ]]; then
    mkdir -p "$dir"
    (cd "$dir" && tar xzf "$(npm pack --silent "$1" | tail -n 1)" && rm -f ./*.tgz)
  fi
  echo "$dir"
}

# Time of a command (run without a shell) in milliseconds: CPU time (user +
# system, mean), which the other jobs of a shared machine disturb little, and
# in parentheses the median wall time.
time_ms() {
  hyperfine -N --style none --warmup 5 --runs 40 --export-csv "$work/t.csv" "$1" >/dev/null 2>&1
  awk -F, 'NR == 2 { printf "%.1f (%.1f)", ($5 + $6) * 1000, $4 * 1000 }' "$work/t.csv"
}

# Peak resident memory of a command in MiB.
peak_mib() {
  /usr/bin/time -f %M -o "$work/m.txt" "$@" >/dev/null
  awk '{ printf "%.1f", $1 / 1024 }' "$work/m.txt"
}

size() { stat -c %s "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

sizes="| Pair | New file | slv2 raw | slv2 stored | xdelta3 -9 | bsdiff | stored / xdelta3 |
|---|---:|---:|---:|---:|---:|---:|"
speed="| Pair | slv2 apply, ms | slv2pack apply, ms | xdelta3 -d, ms | bspatch, ms | slv2 peak | xdelta3 peak | bspatch peak |
|---|---:|---:|---:|---:|---:|---:|---:|"
blocks="| Pair | adaptive raw | adaptive stored | fixed raw | fixed stored | fixed / adaptive (stored) | encode adaptive | encode fixed | slv2pack diff peak |
|---|---:|---:|---:|---:|---:|---:|---:|---:|"

for pair in "${pairs[@]}"; do
  IFS='|' read -r label oldSpec newSpec file <<<"$pair"
  old=$(fetch "$oldSpec")/$file
  new=$(fetch "$newSpec")/$file
  d=$work/d
  "$bin/slv2pack" diff "$old" "$new" "$d.diff" >/dev/null
  xdelta3 -9 -e -f -s "$old" "$new" "$d.xd3"
  bsdiff "$old" "$new" "$d.bsd"
  measured=$("$bin/diff_tool" sizes "$old" "$new")
  read -r _ raw stored adaptiveMs <<<"$(grep '^adaptive' <<<"$measured")"
  read -r _ fixedRaw fixedStored fixedMs <<<"$(grep '^fixed' <<<"$measured")"
  [[ $raw -eq $(size "$d.diff") ]] || { echo "diff.sh: slv2pack and diff_tool disagree" >&2; exit 1; }

  # Every tool must rebuild the new file before it is timed.
  "$bin/diff_tool" apply "$old" "$d.diff" "$d.out"
  cmp "$d.out" "$new"
  "$bin/slv2pack" apply "$old" "$d.diff" "$d.out"
  cmp "$d.out" "$new"
  xdelta3 -d -f -s "$old" "$d.xd3" "$d.out"
  cmp "$d.out" "$new"
  bspatch "$old" "$d.out" "$d.bsd"
  cmp "$d.out" "$new"

  sizes+="
| $label | $(size "$new") | $raw | $stored | $(size "$d.xd3") | $(size "$d.bsd") | $(ratio "$stored" "$(size "$d.xd3")") |"
  speed+="
| $label | $(time_ms "$bin/diff_tool apply $old $d.diff $d.out") \
| $(time_ms "$bin/slv2pack apply $old $d.diff $d.out") \
| $(time_ms "xdelta3 -d -f -s $old $d.xd3 $d.out") \
| $(time_ms "bspatch $old $d.out $d.bsd") \
| $(peak_mib "$bin/diff_tool" apply "$old" "$d.diff" "$d.out") MiB \
| $(peak_mib xdelta3 -d -f -s "$old" "$d.xd3" "$d.out") MiB \
| $(peak_mib bspatch "$old" "$d.out" "$d.bsd") MiB |"
  blocks+="
| $label | $raw | $stored | $fixedRaw | $fixedStored | $(ratio "$fixedStored" "$stored") | $adaptiveMs ms | $fixedMs ms \
| $(peak_mib "$bin/slv2pack" diff "$old" "$new" "$d.diff") MiB |"
done

printf '%s\n\n%s\n\n%s\n' "$sizes" "$speed" "$blocks"

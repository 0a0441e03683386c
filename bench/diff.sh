#!/usr/bin/env bash
# Binary differences against xdelta3 -9 and bsdiff on real old/new pairs from
# the npm registry (fetched with npm pack): difference size, raw and as stored
# in an update storage (zlib level 9 behind the 16-byte compressed-stream
# header), apply time (hyperfine, the tools taking turns round after round),
# peak memory of apply (/usr/bin/time), and fixed 2 MiB block alignment
# against the adaptive choice. Prints the tables of bench/README.md.
#
#   bench/diff.sh [runs]        (default 20 timed runs per command and round)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
source bench/npm-bench.sh
npm_bench_setup diff-data "npm xdelta3 bsdiff bspatch hyperfine /usr/bin/time" slv2pack diff_tool

# label | old package | new package | file inside both packages
pairs=(
  "lodash.js 4.17.20 → 4.17.21|lodash@4.17.20|lodash@4.17.21|package/lodash.js"
  "lodash.min.js 4.17.20 → 4.17.21|lodash@4.17.20|lodash@4.17.21|package/lodash.min.js"
  "babel.min.js 7.24.0 → 7.24.1|@babel/standalone@7.24.0|@babel/standalone@7.24.1|package/babel.min.js"
  "plotly.min.js 2.29.0 → 2.29.1|plotly.js-dist-min@2.29.0|plotly.js-dist-min@2.29.1|package/plotly.min.js"
  "echarts.common.js 5.5.0 → 5.5.1|echarts@5.5.0|echarts@5.5.1|package/dist/echarts.common.js"
  "echarts.js 5.5.0 → 5.5.1|echarts@5.5.0|echarts@5.5.1|package/dist/echarts.js"
  "typescript.js 5.3.3 → 5.4.2|typescript@5.3.3|typescript@5.4.2|package/lib/typescript.js"
  "rollup DLL 4.9.5 → 4.9.6|@rollup/rollup-win32-x64-msvc@4.9.5|@rollup/rollup-win32-x64-msvc@4.9.6|package/rollup.win32-x64-msvc.node"
  "esbuild executable 0.19.11 → 0.19.12|@esbuild/linux-x64@0.19.11|@esbuild/linux-x64@0.19.12|package/bin/esbuild"
)


# Times the four apply commands in rounds that take turns, each run writing a
# new output file; prints "slv2 | slv2pack | xdelta3 | bspatch | ratios" with
# the CPU time (user + system) and in parentheses the wall time of each (the
# medians over the rounds, in ms), then slv2pack's CPU time over xdelta3's and
# its wall time over xdelta3's.
time_apply() {
  local names=(slv2 slv2pack xdelta3 bspatch) round
  for round in 1 2 3; do
    hyperfine -N --style none --warmup 3 --runs "$runs" --prepare "rm -f $work/out" \
      --export-json "$work/t$round.json" \
      --command-name slv2 "$bin/diff_tool apply $1 $2.diff $work/out" \
      --command-name slv2pack "$bin/slv2pack apply $1 $2.diff $work/out" \
      --command-name xdelta3 "xdelta3 -d -f -s $1 $2.xd3 $work/out" \
      --command-name bspatch "bspatch $1 $work/out $2.bsd" >/dev/null
  done
  /usr/bin/python3 - "$work" "${names[@]}" <<'PY'
import json, statistics, sys
work, names = sys.argv[1], sys.argv[2:]
cpu, wall = {}, {}
for n in (1, 2, 3):
    for r in json.load(open(f"{work}/t{n}.json"))["results"]:
        cpu.setdefault(r["command"], []).append((r["user"] + r["system"]) * 1000)
        wall.setdefault(r["command"], []).append(r["median"] * 1000)
m = lambda d, c: statistics.median(d[c])
cells = [f"{m(cpu, c):.1f} ({m(wall, c):.1f})" for c in names]
cells.append(f"{m(cpu, 'slv2pack') / m(cpu, 'xdelta3'):.2f}")
cells.append(f"{m(wall, 'slv2pack') / m(wall, 'xdelta3'):.2f}")
print(" | ".join(cells))
PY
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
speed="| Pair | slv2 apply, ms | slv2pack apply, ms | xdelta3 -d, ms | bspatch, ms | slv2pack / xdelta3 (CPU) | slv2pack / xdelta3 (wall) | slv2 peak | xdelta3 peak | bspatch peak |
|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
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
| $label | $(time_apply "$old" "$d") \
| $(peak_mib "$bin/diff_tool" apply "$old" "$d.diff" "$d.out") MiB \
| $(peak_mib xdelta3 -d -f -s "$old" "$d.xd3" "$d.out") MiB \
| $(peak_mib bspatch "$old" "$d.out" "$d.bsd") MiB |"
  blocks+="
| $label | $raw | $stored | $fixedRaw | $fixedStored | $(ratio "$fixedStored" "$stored") | $adaptiveMs ms | $fixedMs ms \
| $(peak_mib "$bin/slv2pack" diff "$old" "$new" "$d.diff") MiB |"
  echo "diff.sh: $label done, load average $(cut -d' ' -f1-3 /proc/loadavg)" >&2
done

printf '%s\n\n%s\n\n%s\n' "$sizes" "$speed" "$blocks"

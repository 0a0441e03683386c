#!/usr/bin/env bash
# slv2pack make on two patch releases of real packages (fetched with npm
# pack): the storage's size against the sum of xdelta3 -9 per changed file plus
# the new files zlib-compressed (level 9), and against a zip of NEW (zip -9);
# and the time of make, with and without its verification. Prints the table
# of bench/README.md.
#
#   bench/publish.sh [runs]        (default 3 timed runs per command and round)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
source bench/npm-bench.sh
npm_bench_setup publish-data "npm xdelta3 zip hyperfine" slv2pack regedit

# label | old package | new package
releases=(
  "lodash 4.17.20 → 4.17.21|lodash@4.17.20|lodash@4.17.21"
  "moment 2.29.3 → 2.29.4|moment@2.29.3|moment@2.29.4"
  "pdfjs-dist 4.9.124 → 4.9.155|pdfjs-dist@4.9.124|pdfjs-dist@4.9.155"
  "monaco-editor 0.47.0 → 0.48.0|monaco-editor@0.47.0|monaco-editor@0.48.0"
)

# What the best tools would ship file by file: xdelta3 -9 for a changed file,
# zlib level 9 for a new one; the sum of those bytes, and a zip -9 holding
# the differences and the new files, as a container a publisher could ship.
reference() {
  local old=$1 new=$2 total=0 size
  rm -rf "$work/ref" "$work/ref.zip"
  while IFS= read -r -d '' file; do
    local rel=${file#"$new"/}
    mkdir -p "$(dirname "$work/ref/$rel")"
    if [[ ! -f $old/$rel ]]; then
      size=$(/usr/bin/python3 -c 'import sys, zlib; print(len(zlib.compress(open(sys.argv[1], "rb").read(), 9)))' "$file")
      cp "$file" "$work/ref/$rel"
    elif cmp -s "$old/$rel" "$file"; then
      continue
    else
      xdelta3 -9 -e -f -s "$old/$rel" "$file" "$work/ref/$rel.xd3"
      size=$(stat -c %s "$work/ref/$rel.xd3")
    fi
    total=$((total + size))
  done < <(find "$new" -type f -print0)
  (cd "$work/ref" && zip -9 -r -q ../ref.zip .)
  echo "$total $(stat -c %s "$work/ref.zip")"
}

table="| Release | files in NEW | NEW bytes | storage | xdelta3 + zlib | storage / that | those in a zip -9 | storage / that | zip -9 of NEW | storage / zip | make | make --no-verify |
|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for release in "${releases[@]}"; do
  IFS='|' read -r label oldSpec newSpec <<<"$release"
  r=$work/${oldSpec%@*}
  rm -rf "$r"
  mkdir -p "$r/old" "$r/new"
  cp -r "$(fetch "$oldSpec")/package" "$r/old/product"
  cp -r "$(fetch "$newSpec")/package" "$r/new/product"
  "$bin/slv2pack" make "$r/old" "$r/new" "$r/update.stg" --compress >"$r/make.txt"
  read -r ref refzip < <(reference "$r/old/product" "$r/new/product")
  (cd "$r/new" && rm -f ../new.zip && zip -9 -r -q ../new.zip product)
  # Rounds alternate the two commands, so that a change in the load of the
  # shared machine weighs on both alike.
  for round in 1 2 3; do
    hyperfine --style none --runs "$runs" --export-json "$r/t$round.json" \
      --command-name make "'$bin/slv2pack' make '$r/old' '$r/new' '$r/timed.stg' --compress" \
      --command-name quick \
      "'$bin/slv2pack' make '$r/old' '$r/new' '$r/timed.stg' --compress --no-verify" >/dev/null
  done
  times=$(/usr/bin/python3 - "$r" <<'PY'
import json, statistics, sys
medians = {}
for n in (1, 2, 3):
    for result in json.load(open(f"{sys.argv[1]}/t{n}.json"))["results"]:
        medians.setdefault(result["command"], []).append(result["median"])
print(" | ".join(f"{statistics.median(medians[c]):.2f} s" for c in ("make", "quick")))
PY
)
  storage=$(stat -c %s "$r/update.stg")
  zipped=$(stat -c %s "$r/new.zip")
  files=$(find "$r/new/product" -type f | wc -l)
  bytes=$(find "$r/new/product" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
  ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
  table+="
| $label | $files | $bytes | $storage | $ref | $(ratio "$storage" "$ref") | $refzip | $(ratio "$storage" "$refzip") | $zipped | $(ratio "$storage" "$zipped") | $times |"
  sed 's/^/    /' "$r/make.txt" >&2
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
printf '%s\n' "$table"

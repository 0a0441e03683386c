# Sourced by the benchmarks on real releases from the npm registry.

# npm_bench_setup <data folder> "<tools>" <targets>...: installs what is
# missing (npm may come with a Node.js that is not Debian's, so the bench
# group is installed only when one of the tools is missing), builds the
# targets with the bench preset, and sets $bin and $work (build/bench/<data
# folder>).
npm_bench_setup() {
  local data=$1 tools=$2
  shift 2
  scripts/setup build
  for tool in $tools; do
    command -v "$tool" >/dev/null || { scripts/setup bench; break; }
  done
  cmake --preset bench >/dev/null
  cmake --build --preset bench --target "$@" >/dev/null
  bin=$PWD/build/bench/bin
  work=$PWD/build/bench/$data
  mkdir -p "$work"
}

# fetch <package@version>: unpacks the package (npm pack) once into $work/pkg
# and prints the folder that holds its "package" folder.
fetch() {
  local dir=$work/pkg/${1//\//_}
  if [[ ! -d $dir/package ]]; then
    mkdir -p "$dir"
    (cd "$dir" && tar xzf "$(npm pack --silent "$1" | tail -n 1)" && rm -f ./*.tgz)
  fi
  echo "$dir"
}

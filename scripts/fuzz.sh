#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) for SECONDS each, one after the
# other, with a fixed seed. Fails on the first crash, leak, sanitizer report
# or timeout; prints the executions each target reached.
#
#   scripts/fuzz.sh [-b BUILD_DIR] [-s SEED] SECONDS [TARGET...]
#
# The committed seeds in fuzz/corpus/<target> stay small; what a run adds
# goes to fuzz/corpus-run/<target> (not committed), so longer local runs
# build on each other.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-fuzz
seed=1
while getopts "b:s:" opt; do
  case $opt in
    b) build=$OPTARG ;;
    s) seed=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
if [ $# -lt 1 ]; then
  echo "usage: scripts/fuzz.sh [-b BUILD_DIR] [-s SEED] SECONDS [TARGET...]" >&2
  exit 2
fi
seconds=$1
shift

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do
    name=$(basename "$f" _fuzz.cpp)
    [ -x "$build/fuzz/${name}_fuzz" ] && targets+=("$name")
  done
fi
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz.sh: no fuzz targets in $build/fuzz (cmake --preset fuzz && cmake --build build-fuzz)" >&2
  exit 1
fi

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
status=0
for name in "${targets[@]}"; do
  exe=$build/fuzz/${name}_fuzz
  if [ ! -x "$exe" ]; then
    echo "fuzz.sh: $exe is not built" >&2
    exit 1
  fi
  work=fuzz/corpus-run/$name
  mkdir -p "$work" "fuzz/findings/$name"
  dict=()
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  log=$logs/$name.log
  # A target that reports anything exits non-zero: crash, leak, UB, timeout,
  # out of memory.
  if ! nice -n 10 "$exe" -seed="$seed" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="fuzz/findings/$name/" "${dict[@]}" \
      "$work" "fuzz/corpus/$name" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "fuzz.sh: $name FAILED (finding in fuzz/findings/$name/)" >&2
    status=1
    continue
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  echo "$name: ${runs:-?} executions in ${seconds}s (${rate:-?}/s), no finding"
  rmdir "fuzz/findings/$name" 2>/dev/null || true
done
rmdir fuzz/findings 2>/dev/null || true
exit $status

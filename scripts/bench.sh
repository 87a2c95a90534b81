#!/usr/bin/env bash
# Builds the benchmarks (preset "bench": GCC -O2, linked with DjVuLibre's library) and runs them.
# Usage: scripts/bench.sh [NAME...] [-- BENCHMARK-OPTIONS...]
#   NAME: a bench/NAME.cpp program (default: thumbnail_bench and batch_bench, the batch mode with
#   PNG files written); "all" runs every one. batch_bench --quick only checks that it runs.
#   BENCHMARK-OPTIONS go to each program (e.g. --benchmark_filter=page --benchmark_min_time=1).
# The machine's load is printed before and after: timings on a busy machine are not comparable.
set -euo pipefail
cd "$(dirname "$0")/.."
names=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  names+=("$1")
  shift
done
[ "${1:-}" = "--" ] && shift
[ ${#names[@]} -gt 0 ] || names=(thumbnail_bench batch_bench)
if [ "${names[0]}" = all ]; then
  names=()
  for src in bench/*_bench.cpp; do names+=("$(basename "$src" .cpp)"); done
fi
scripts/install-deps.sh bench

cmake --preset bench >/dev/null
cmake --build build/bench -j 2 --target fixtures "${names[@]}"
echo "== load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
for name in "${names[@]}"; do
  echo "== $name"
  "build/bench/bench/$name" "$@"
done
echo "== load after: $(cut -d' ' -f1-3 /proc/loadavg)"

#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang, ASan + UBSan) and runs every
# fuzz/<area>_fuzzer.cpp for SECONDS each (default 60), seeded from the test fixtures and
# tests/regress/<area>/, with the chunk identifiers of fuzz/djvu.dict.
# Usage: [FUZZ_JOBS=N] [FUZZ_TIMEOUT=S] scripts/fuzz.sh [SECONDS]
# FUZZ_JOBS runs N fuzzers at once (default 1). FUZZ_TIMEOUT is the wall-clock seconds after which
# one input counts as a hang (default 10); fuzzers sharing the cores need more.
#
# A fuzzer names its seeds in comment lines "// seeds: <glob> [max-bytes]", the glob relative
# to the fixture folder; files larger than max-bytes (default 1 MiB) are left out. The corpus
# (build/fuzz/corpus/<fuzzer>/) is kept between runs. Crashes, leaks and timeouts land in
# build/fuzz/artifacts/<fuzzer>/; reduce them, add them to tests/regress/<area>/ and say why in a
# test of the area. The script exits 1 when any fuzzer found something.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/install-deps.sh fuzz

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2

fixtures=build/fuzz/fixtures
tests/fixtures/make_fixtures.sh "$fixtures" >/dev/null

# Seeds a fuzzer's corpus and runs it; returns 1 when it found something.
run_fuzzer() {
  local src=$1 name bin corpus artifacts
  name=$(basename "$src" .cpp)
  bin=build/fuzz/fuzz/$name
  corpus=build/fuzz/corpus/$name
  artifacts=build/fuzz/artifacts/$name
  mkdir -p "$corpus" "$artifacts"
  while read -r glob limit; do
    limit=${limit:-1048576}
    for f in $fixtures/$glob; do
      [ -f "$f" ] || continue
      [ "$(stat -c %s "$f")" -le "$limit" ] || continue
      # Seeds are named after their source so that the same file is not copied twice.
      cp -n "$f" "$corpus/seed_$(echo "${f#"$fixtures"/}" | tr / _)"
    done
  done < <(sed -n 's|^// seeds: *||p' "$src")
  # The files that once broke this area seed it too.
  for f in tests/regress/${name%_fuzzer}/*; do
    if [ -f "$f" ]; then cp -n "$f" "$corpus/regress_$(basename "$f")"; fi
  done
  local inputs
  inputs=$(ls "$corpus" | wc -l)
  if ! "$bin" "$corpus" -dict=fuzz/djvu.dict -max_total_time="$seconds" -rss_limit_mb=2048 -timeout="${FUZZ_TIMEOUT:-10}" \
       -artifact_prefix="$artifacts/" -print_final_stats=1 2>"build/fuzz/$name.log"; then
    echo "== $name: $inputs inputs, ${seconds}s: FOUND"
    grep -E 'ERROR|SUMMARY|Test unit written' "build/fuzz/$name.log" | head -n 5 || true
    return 1
  fi
  echo "== $name: $inputs inputs, ${seconds}s"
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "build/fuzz/$name.log" || true
}

jobs=${FUZZ_JOBS:-1}
for src in fuzz/*_fuzzer.cpp; do
  name=$(basename "$src" .cpp)
  # Reports go to files and are printed when all have ended, so parallel runs do not interleave.
  { run_fuzzer "$src" && echo ok || echo found; } >"build/fuzz/$name.report" 2>&1 &
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
done
wait
failed=()
for src in fuzz/*_fuzzer.cpp; do
  name=$(basename "$src" .cpp)
  sed '$d' "build/fuzz/$name.report"
  [ "$(tail -n 1 "build/fuzz/$name.report")" = ok ] || failed+=("$name")
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzers with findings: ${failed[*]} (logs in build/fuzz/, inputs in build/fuzz/artifacts/)"
  exit 1
fi

#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UBSan) and runs
# each one for SECONDS seconds (default 20) on its seed corpus.
#
#   fuzz/run.sh [SECONDS] [TARGET...]
#
# New inputs go to a scratch corpus in the build directory, so the seeds in
# fuzz/corpus/ stay as committed. Crash, leak and timeout inputs are kept in
# build/fuzz/artifacts/. Exits non-zero when any target fails. Environment:
# LUM_FUZZ_BUILD (build directory, default build/fuzz), LUM_FUZZ_RUNS (stop
# after this many executions instead of after SECONDS), LUM_FUZZ_ASAN=OFF
# (build without AddressSanitizer, for faster long runs).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true

build=${LUM_FUZZ_BUILD:-build/fuzz}
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLUM_FUZZ=ON -DLUM_FUZZ_ASAN="${LUM_FUZZ_ASAN:-ON}" -DLUM_BUILD_TESTS=OFF -DLUM_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" --target lum_fuzz_targets -j 2

targets=("$@")
if ((${#targets[@]} == 0)); then
  for source in fuzz/*_fuzz.cpp; do
    name=$(basename "$source" .cpp)
    [ -x "$build/fuzz/$name" ] && targets+=("${name%_fuzz}")
  done
fi

mkdir -p "$build/artifacts"
limit=(-max_total_time="$seconds")
[ -n "${LUM_FUZZ_RUNS:-}" ] && limit=(-runs="$LUM_FUZZ_RUNS")
failed=()
for target in "${targets[@]}"; do
  scratch="$build/corpus/$target"
  mkdir -p "$scratch"
  seeds=fuzz/corpus/$target
  [ -d "$seeds" ] || seeds=
  log="$build/$target.log"
  echo "== $target"
  if "$build/fuzz/${target}_fuzz" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
       -print_final_stats=1 -artifact_prefix="$build/artifacts/${target}-" \
       "$scratch" $seeds >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    echo "   ok, $runs executions"
  else
    echo "   FAILED (log: $log)"
    grep -E 'ERROR|property violated|SUMMARY|Test unit written' "$log" | head -n 8 || true
    failed+=("$target")
  fi
done

if ((${#failed[@]})); then
  echo "fuzz targets failed: ${failed[*]}"
  exit 1
fi
echo "all fuzz targets passed"

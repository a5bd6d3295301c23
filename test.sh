#!/usr/bin/env bash
# Builds the library and runs every test. With no argument it runs the release
# build, the AddressSanitizer + UndefinedBehaviorSanitizer build, and the tests
# that call the library from several threads under ThreadSanitizer; name one or
# more of "release", "asan" and "tsan" to run only those.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

configs=("$@")
((${#configs[@]})) || configs=(release asan tsan)
jobs=$(nproc 2>/dev/null || echo 2)

for config in "${configs[@]}"; do
  case "$config" in
    release) flags=(-DCMAKE_BUILD_TYPE=Release -DLUM_BUILD_BENCH=ON -DLUM_PYTHON=ON) ;;
    asan) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUM_SANITIZE=ON -DLUM_PYTHON=ON) ;;
    tsan) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUM_TSAN=ON -DLUM_BUILD_TOOLS=OFF) ;;
    *) echo "unknown configuration: $config" >&2; exit 2 ;;
  esac
  dir="build/$config"
  echo "== $config build"
  cmake -S . -B "$dir" "${flags[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== $config tests"
  filter=()
  [ "$config" = tsan ] && filter=(-R Concurrency)
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" "${filter[@]}"
done

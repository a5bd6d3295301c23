#!/usr/bin/env bash
# Builds the library and runs every test. With no argument it runs the release
# build and the AddressSanitizer + UndefinedBehaviorSanitizer build; name one or
# more of "release" and "asan" to run only those.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

configs=("$@")
((${#configs[@]})) || configs=(release asan)
jobs=$(nproc 2>/dev/null || echo 2)

for config in "${configs[@]}"; do
  case "$config" in
    release) flags=(-DCMAKE_BUILD_TYPE=Release -DLUM_BUILD_BENCH=ON) ;;
    asan) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUM_SANITIZE=ON) ;;
    *) echo "unknown configuration: $config" >&2; exit 2 ;;
  esac
  dir="build/$config"
  echo "== $config build"
  cmake -S . -B "$dir" "${flags[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== $config tests"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
done

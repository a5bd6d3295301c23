#!/usr/bin/env bash
# Builds the library and runs its main jobs on the bundled sample data:
# statistics of repeated readings, and a grid through scattered survey points.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DLUM_BUILD_BENCH=ON >/dev/null
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)" --target lum_demo
./build/release/examples/lum_demo readings data/readings.csv
./build/release/examples/lum_demo grid data/survey_points.csv 50 40 > surface.csv
echo "wrote surface.csv ($(($(wc -l < surface.csv) - 1)) grid nodes)"

#!/usr/bin/env bash
# Builds the library and its command-line tool, then runs the main jobs on the
# bundled sample data: a picture and a GIS grid of a scattered terrain survey,
# and statistics, outlier rejection and a run-wise fit of repeated readings.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DLUM_BUILD_BENCH=ON >/dev/null
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)" --target lumutil
lumutil=./build/release/tools/lumutil/lumutil
$lumutil grid data/survey_points.csv --dedupe mean --contours 10 -o surface.png -o surface.asc
$lumutil stats data/readings.csv
$lumutil outliers data/readings.csv -c distance_mm --window 5 --k 3 -o kept_readings.csv
$lumutil fit data/calibration_runs.csv --degree 2 --runs
$lumutil eval data/survey_points.csv data/check_points.csv --dedupe mean
echo "wrote surface.png, surface.asc and kept_readings.csv"

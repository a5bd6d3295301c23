#!/bin/sh
# Builds the HTML reference; any Doxygen warning fails the test.
# Usage: run_doxygen.sh DOXYGEN DOCS_DIR OUTPUT_DIR (exit 77: Doxygen is missing)
doxygen=$1 docs=$2 out=$3
if [ -z "$doxygen" ] || [ ! -x "$doxygen" ]; then
  echo "doxygen not installed: skipped"
  exit 77
fi
rm -rf "$out" && mkdir -p "$out" || exit 1
cd "$docs" && LUM_DOCS_OUTPUT="$out" "$doxygen" Doxyfile

#!/usr/bin/env bash
# Installs, with apt-get, whatever this machine lacks to build and test the project.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

have_cmd cmake || need+=(cmake)
have_cmd g++ || need+=(g++)
have_cmd nm || need+=(binutils)
have_pkg libgtest-dev || need+=(libgtest-dev)
have_pkg libgmock-dev || need+=(libgmock-dev)
have_pkg libbenchmark-dev || need+=(libbenchmark-dev)
have_pkg libcli11-dev || need+=(libcli11-dev)
have_pkg libpng-dev || need+=(libpng-dev)
have_cmd doxygen || need+=(doxygen)
# The fuzz targets need clang and its sanitizer runtimes.
have_cmd clang++ || need+=(clang)
have_pkg libclang-rt-14-dev || need+=(libclang-rt-14-dev)
# The Python module and its tests use Debian's packages for /usr/bin/python3.
for pkg in python3-pybind11 python3-numpy python3-pytest python3-scipy python3-matplotlib; do
  have_pkg "$pkg" || need+=("$pkg")
done

if ((${#need[@]})); then
  echo "installing: ${need[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
fi

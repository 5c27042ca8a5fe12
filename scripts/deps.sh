#!/usr/bin/env bash
# Installs the Debian packages the project relies on, only those missing.
#   bash scripts/deps.sh demo   what building the module and running the demo need
#   bash scripts/deps.sh        that, and what the C++ tests and benchmarks need
set -euo pipefail
mode=${1:-test}

need=()
want() { dpkg -s "$1" >/dev/null 2>&1 || need+=("$1"); }

install_needed() {
  [ ${#need[@]} -gt 0 ] || return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}"
  need=()
}

# Building: a C++20 compiler and make, and CMake 3.21 or newer. CMake comes
# from Debian: pip cannot install it into Debian's own interpreter.
want g++
want make
cmake_recent() {
  command -v cmake >/dev/null 2>&1 || return 1
  local version
  version=$(cmake --version | sed -n '1s/[^0-9]*\([0-9][0-9]*\.[0-9][0-9]*\).*/\1/p')
  [ "$(printf '%s\n' "3.21" "$version" | sort -V | head -n1)" = "3.21" ]
}
cmake_recent || want cmake

# The interpreter: python3, 3.11 or newer, able to make a virtual environment
# and with the headers extensions build against.
command -v python3 >/dev/null 2>&1 || need+=(python3)
# The demo turns its picture into a PNG with rsvg-convert; the tests render it too.
want librsvg2-bin
if [ "$mode" != "demo" ]; then
  want libgtest-dev
  want libbenchmark-dev
  # The viewer page's test opens it in headless Chromium through its driver.
  want chromium
  want chromium-driver
fi
install_needed

if ! python3 -c 'import sys; sys.exit(sys.version_info < (3, 11))'; then
  echo "cellvane needs Python 3.11 or newer; python3 is $(python3 --version)" >&2
  exit 1
fi
has_venv() { python3 -c 'import ensurepip, venv' >/dev/null 2>&1; }
has_headers() {
  python3 -c 'import os, sys, sysconfig
sys.exit(not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")))'
}
if [ "$(python3 -c 'import sys; print(sys.prefix)')" = "/usr" ]; then
  # Debian's own interpreter: its venv module and headers are packages.
  has_venv || want python3-venv
  has_headers || want python3-dev
  install_needed
fi
has_venv || { echo "python3 ($(command -v python3)) cannot create a virtual environment" >&2; exit 1; }
has_headers || { echo "python3 ($(command -v python3)) has no development headers (Python.h)" >&2; exit 1; }

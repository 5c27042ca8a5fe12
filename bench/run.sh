#!/usr/bin/env bash
# Prints the performance table: builds and installs the module into .venv
# (with the test dependencies), installs the benchmark's own requirements,
# builds the C++ benchmark binary, then runs bench/table.py.
# Arguments go to bench/table.py: --json, --repeats N, --cap SECONDS, --only KEYS.
set -euo pipefail
cd "$(dirname "$0")/.."
{
  bash scripts/deps.sh
  bash scripts/venv.sh
  .venv/bin/python -m pip install -q -r bench/requirements.txt
  cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release \
    -DCELLVANE_BUILD_MODULE=OFF -DCELLVANE_BUILD_TESTS=OFF -DCELLVANE_BUILD_BENCH=ON
  cmake --build build/bench -j2 --target cellvane_bench
} >&2
exec .venv/bin/python bench/table.py --cpp build/bench/cellvane_bench "$@"

#!/usr/bin/env bash
# Runs every test: the C++ unit tests (plain, then under AddressSanitizer and
# UndefinedBehaviorSanitizer with the board checked after every change), then
# the Python tests against the installed wheel.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

cmake -S . -B build/tests -DCMAKE_BUILD_TYPE=Release \
  -DCELLVANE_BUILD_MODULE=OFF -DCELLVANE_BUILD_TESTS=ON -DCELLVANE_BUILD_BENCH=ON >/dev/null
cmake --build build/tests -j"$jobs"
ctest --test-dir build/tests --output-on-failure -j"$jobs"

cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug \
  -DCELLVANE_BUILD_MODULE=OFF -DCELLVANE_BUILD_TESTS=ON \
  -DCELLVANE_SANITIZE=ON -DCELLVANE_CHECK_EVERY_CHANGE=ON >/dev/null
cmake --build build/sanitize -j"$jobs"
ctest --test-dir build/sanitize --output-on-failure -j"$jobs"

bash scripts/venv.sh
.venv/bin/python -m pytest -q tests/python

# The type stub against the installed module, and the typed examples.
.venv/bin/python -m mypy.stubtest cellvane
.venv/bin/python -m mypy --strict examples/demo.py examples/selfplay.py

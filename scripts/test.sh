#!/usr/bin/env bash
# Runs every test: the C++ unit tests (plain, then under AddressSanitizer and
# UndefinedBehaviorSanitizer with the board checked after every change), then
# the Python tests against the installed wheel and again against a sanitized
# build of the module, then a bounded run of the engine's fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each step prints a heading; the run ends with one summary line, naming the
# step that failed if one did.
started=$SECONDS
steps=0
current="starting"
step() {
  current=$1
  steps=$((steps + 1))
  printf '\n==> [%d] %s\n' "$steps" "$current"
}
trap 'status=$?; if [ $status -ne 0 ]; then echo "FAILED: step $steps ($current), exit $status, after $((SECONDS - started)) s"; fi' EXIT

step "Debian packages"
bash scripts/deps.sh
jobs=$(nproc)

step "C++ unit tests (Release)"

cmake -S . -B build/tests -DCMAKE_BUILD_TYPE=Release \
  -DCELLVANE_BUILD_MODULE=OFF -DCELLVANE_BUILD_TESTS=ON -DCELLVANE_BUILD_BENCH=ON -DCELLVANE_WERROR=ON >/dev/null
cmake --build build/tests -j"$jobs"
ctest --test-dir build/tests --output-on-failure -j"$jobs"

step "C++ unit tests (AddressSanitizer, UndefinedBehaviorSanitizer, checked after every change)"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug \
  -DCELLVANE_BUILD_MODULE=OFF -DCELLVANE_BUILD_TESTS=ON \
  -DCELLVANE_SANITIZE=ON -DCELLVANE_CHECK_EVERY_CHANGE=ON -DCELLVANE_WERROR=ON >/dev/null
cmake --build build/sanitize -j"$jobs"
ctest --test-dir build/sanitize --output-on-failure -j"$jobs"

step "Python tests against the installed wheel"
bash scripts/venv.sh
.venv/bin/python -m pytest -q tests/python

# The type stub against the installed module, and the package's Python
# sources and the examples, typed.
step "Type stub and typed sources (stubtest, mypy --strict)"
.venv/bin/python -m mypy.stubtest cellvane
.venv/bin/python -m mypy --strict python/cellvane examples/demo.py examples/selfplay.py

# The Python tests once more, against a module built with AddressSanitizer
# and UndefinedBehaviorSanitizer, the board checked after every change. The
# interpreter is not instrumented, so the sanitizer runtime is preloaded;
# leak detection is off because the interpreter keeps objects until it exits.
# Any report ends the interpreter and fails the run.
step "Python tests against the sanitized module"
cmake -S . -B build/pysan -DCMAKE_BUILD_TYPE=Release \
  -DCELLVANE_BUILD_MODULE=ON -DCELLVANE_BUILD_TESTS=OFF \
  -DCELLVANE_SANITIZE=ON -DCELLVANE_CHECK_EVERY_CHANGE=ON -DCELLVANE_WERROR=ON \
  -DPython_EXECUTABLE="$PWD/.venv/bin/python" >/dev/null
cmake --build build/pysan -j"$jobs"
sanitized=(env LD_PRELOAD="$(g++ -print-file-name=libasan.so)" ASAN_OPTIONS=detect_leaks=0
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 PYTHONPATH="$PWD/build/pysan/python" CELLVANE_SANITIZED=1)
# The build folder lays out the package as the wheel does (build/pysan/python/cellvane):
# make sure that is the package the tests import, not the installed one.
"${sanitized[@]}" .venv/bin/python -c 'import cellvane, sys; sys.exit(not cellvane.__file__.startswith(sys.argv[1]))' "$PWD/build/pysan/python/cellvane/"
"${sanitized[@]}" CELLVANE_STATEFUL_STEPS=1000 .venv/bin/python -m pytest -q -p no:cacheprovider tests/python

# The engine under libFuzzer for about a minute.
step "Fuzzer"
bash scripts/fuzz.sh 60

echo "All $steps steps passed in $((SECONDS - started)) s"

#!/usr/bin/env bash
# Fuzzes the engine with libFuzzer for a bounded time: builds the fuzz target
# with clang (AddressSanitizer, UndefinedBehaviorSanitizer, the board checked
# after every change) and runs it from the committed seed corpus for SECONDS
# seconds (default 60). New inputs it finds are kept in build/fuzz/corpus; a
# crash, a hang (one input over 10 s) or memory past 2 GB fails the run and
# leaves the input in build/fuzz/. Installs clang and its runtime libraries
# from Debian when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

need=()
for pkg in clang-14 libclang-rt-14-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}"
fi

cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCELLVANE_BUILD_MODULE=OFF -DCELLVANE_BUILD_FUZZ=ON \
  -DCELLVANE_SANITIZE=ON -DCELLVANE_CHECK_EVERY_CHANGE=ON -DCELLVANE_WERROR=ON >/dev/null
cmake --build build/fuzz -j"$(nproc)" --target cellvane_fuzz
mkdir -p build/fuzz/corpus
build/fuzz/cellvane_fuzz -max_total_time="$seconds" -max_len=1024 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix=build/fuzz/ build/fuzz/corpus tests/fuzz/corpus

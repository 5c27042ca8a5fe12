#!/usr/bin/env bash
# Creates the project's virtual environment .venv (once) and builds and
# installs cellvane into it.
#   bash scripts/venv.sh demo   the module alone
#   bash scripts/venv.sh        the module and the test dependencies, pinned
#                               with their own dependencies by constraints.txt,
#                               the module built with warnings as errors
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-test}
if [ ! -x .venv/bin/python ]; then
  python3 -m venv .venv
fi
.venv/bin/python -m pip install -q --upgrade "pip==25.3"
if [ "$mode" = "demo" ]; then
  .venv/bin/python -m pip install -q .
else
  .venv/bin/python -m pip install -q -c constraints.txt \
    --config-settings=cmake.define.CELLVANE_WERROR=ON ".[test]"
fi

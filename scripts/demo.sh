#!/usr/bin/env bash
# Builds and installs cellvane into the project's virtual environment, then
# plays the demo game.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/venv.sh
.venv/bin/python examples/demo.py "$@"

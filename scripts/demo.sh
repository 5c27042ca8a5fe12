#!/usr/bin/env bash
# Builds and installs cellvane into the project's virtual environment, then
# plays the demo game. Installs only what that needs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh demo
bash scripts/venv.sh demo
.venv/bin/python examples/demo.py "$@"

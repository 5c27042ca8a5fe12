#!/usr/bin/env bash
# Creates the project's virtual environment (once) and installs cellvane into it
# together with the pinned test dependencies.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x .venv/bin/python ]; then
  python3 -m venv .venv
fi
.venv/bin/python -m pip install -q --upgrade "pip==25.3"
.venv/bin/python -m pip install -q ".[test]"

"""`python -m cellvane`: the command line (cellvane._cli)."""

import sys

from cellvane._cli import main

# Guarded: worker processes started afresh import this module again.
if __name__ == "__main__":
    sys.exit(main())

"""Plays a short game with cellvane and prints what the engine reports."""

import cellvane as cv

print("cellvane", cv.version())

import inspect
import math
import subprocess
import sys

import cellvane

CLASSES = ["Game", "Stone", "GameDelta", "Group", "Color", "BoardEdge", "CutKind", "GameStatus"]
CONSTANTS = ["STONE_RADIUS", "STONE_DIAMETER", "EPSILON", "MAX_PAIR_CUT_DISTANCE", "MAX_BOUNDARY_CUT_DISTANCE"]
ERRORS = [
    "CellvaneError",
    "StonePlayError",
    "NotPlaceableError",
    "SelfCaptureError",
    "DeltaError",
    "StoneExistsError",
    "NoSuchStoneError",
    "CapturedTwiceError",
    "PassCapturesError",
    "OffBoardError",
    "DeadZoneError",
    "GameOverError",
    "CutError",
    "BoardError",
]


def test_version():
    assert cellvane.version() == "1.0.1"
    assert cellvane.version.__doc__ == "Version of the underlying rules engine."
    assert str(inspect.signature(cellvane.version)) == "()"


def test_all_lists_the_28_names_in_order():
    assert cellvane.__all__ == CLASSES + ["version"] + CONSTANTS + ERRORS
    assert len(set(cellvane.__all__)) == 28
    for name in cellvane.__all__:
        assert hasattr(cellvane, name), name


def test_registration_order():
    # The names the module entry registers; the package's own submodules
    # (cellvane._record, ...) bind themselves beside them once imported.
    cellvane.Game(18.0).to_record()
    registered = [
        name for name, value in vars(cellvane).items() if not name.startswith("__") and not inspect.ismodule(value)
    ]
    assert registered == ["version"] + CLASSES + CONSTANTS + ERRORS
    names = list(vars(cellvane))
    assert names.index("__all__") == names.index("BoardError") + 1


def test_module_docstring_is_empty():
    assert cellvane.__doc__ == ""


def test_constants():
    values = {
        "STONE_RADIUS": 1.0,
        "STONE_DIAMETER": 2.0,
        "EPSILON": 1e-07,
        "MAX_PAIR_CUT_DISTANCE": 3.4641016151377544,
        "MAX_BOUNDARY_CUT_DISTANCE": 2.732050807568877,
    }
    for name, value in values.items():
        constant = getattr(cellvane, name)
        assert type(constant) is float
        assert constant == value
    assert cellvane.MAX_PAIR_CUT_DISTANCE == 2 * math.sqrt(3)
    assert cellvane.MAX_BOUNDARY_CUT_DISTANCE == 1 + math.sqrt(3)


def test_classes_report_the_module():
    for name in CLASSES + ERRORS:
        cls = getattr(cellvane, name)
        assert cls.__module__ == "cellvane", name
        assert cls.__qualname__ == name
        assert cls.__name__ == name


def test_game_and_group_class_docs():
    assert cellvane.Game.__doc__.startswith(
        "A game of Cellvane: the board, the rules, and the history to undo them.\n"
    )
    assert "import cellvane as cv" in cellvane.Game.__doc__
    assert "cv.Game(board_size=18)" in cellvane.Game.__doc__
    assert "black, white = game.territory()" in cellvane.Game.__doc__
    assert str(inspect.signature(cellvane.Game)) == "(board_size)"
    assert cellvane.Group.__doc__ == "One contiguous group of same-colour stones, and the territory it controls."


def test_group_is_not_constructible_from_python():
    try:
        cellvane.Group()
    except TypeError:
        pass
    else:
        raise AssertionError("Group() should be refused")


def test_reimport_publishes_the_same_classes():
    # A fresh module object made by a second import must not create new
    # classes: values and exceptions of the first import keep matching.
    code = """
import sys
import cellvane as first
stone, error = first.Stone, first.CellvaneError
del sys.modules["cellvane"]
import cellvane as second
assert second.Stone is stone and second.CellvaneError is error
assert second.__all__ == first.__all__
assert isinstance(second.Stone(0, first.Color.BLACK, (1.0, 2.0)), stone)
print("ok")
"""
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "ok"

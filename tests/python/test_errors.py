import pytest

import cellvane as cv

HIERARCHY = [
    ("CellvaneError", Exception, "Base class of every error this package raises."),
    ("StonePlayError", "CellvaneError", "A move the rules refused. Base of NotPlaceableError and SelfCaptureError."),
    ("NotPlaceableError", "StonePlayError", "No stone centre may sit at this position. Carries `position`."),
    (
        "SelfCaptureError",
        "StonePlayError",
        "The move would take only the mover's own stones. Carries `position` and `color`.",
    ),
    ("DeltaError", "CellvaneError", "A delta the board cannot account for. Base of the five below."),
    ("StoneExistsError", "DeltaError", "The delta places a stone whose id is already in play. Carries `stone`."),
    ("NoSuchStoneError", "DeltaError", "The delta captures a stone that is not on the board. Carries `stone`."),
    ("CapturedTwiceError", "DeltaError", "The delta captures the same stone twice. Carries `stone`."),
    ("PassCapturesError", "DeltaError", "A delta that places no stone cannot capture one."),
    (
        "OffBoardError",
        "DeltaError",
        "The delta places a stone whose centre is not on the board. Carries `stone` and `position`.",
    ),
    (
        "DeadZoneError",
        "DeltaError",
        "The playable area could not be carved or reclaimed for a stone. Carries `stone`.",
    ),
    (
        "GameOverError",
        "CellvaneError",
        "The game ended on two passes and takes no further turns. Raised by Game.try_move, Game.pass_turn and "
        "Game.replay; Game.undo_move takes the last pass back, and every query still answers.",
    ),
    (
        "CutError",
        "CellvaneError",
        "A cut question that is not a question about a connection: a stone that is not on the board, a stone "
        "against itself, or two stones of opposite colours. Carries `stones`, the ids the question named.",
    ),
    (
        "BoardError",
        "CellvaneError",
        "An invariant the board guarantees, found not to hold. Raised only by Game.validate().",
    ),
]


def test_exception_classes_names_bases_and_docs():
    assert [name for name, _, _ in HIERARCHY] == cv.__all__[-14:]
    for name, base, doc in HIERARCHY:
        cls = getattr(cv, name)
        expected_base = base if isinstance(base, type) else getattr(cv, base)
        assert cls.__bases__ == (expected_base,), name
        assert cls.__module__ == "cellvane"
        assert cls.__qualname__ == name
        assert f"{cls.__module__}.{cls.__qualname__}" == f"cellvane.{name}"
        assert cls.__doc__ == doc


def test_every_error_is_a_cellvane_error():
    for name, _, _ in HIERARCHY:
        assert issubclass(getattr(cv, name), cv.CellvaneError)
        assert issubclass(getattr(cv, name), Exception)


def test_hierarchy_edges():
    error = cv.SelfCaptureError("a Black stone at (1, 1) would capture only Black's own stones")
    assert isinstance(error, cv.StonePlayError)
    assert isinstance(error, cv.CellvaneError)
    assert not isinstance(error, cv.DeltaError)
    for name in ("StoneExistsError", "NoSuchStoneError", "CapturedTwiceError", "PassCapturesError"):
        assert issubclass(getattr(cv, name), cv.DeltaError)
    for name in ("GameOverError", "CutError", "BoardError"):
        assert not issubclass(getattr(cv, name), (cv.DeltaError, cv.StonePlayError))


def test_message_is_the_string_form():
    with pytest.raises(cv.DeltaError) as info:
        raise cv.PassCapturesError("a delta that places no stone cannot capture one")
    assert str(info.value) == "a delta that places no stone cannot capture one"
    assert info.value.args == ("a delta that places no stone cannot capture one",)
    assert not hasattr(info.value, "stone")

"""What a hostile or careless caller can pass: sequences that lie about their
length or fail to tell it, conversions that run out of memory, and attempts
to rebind the module's classes. Every case ends in an exception or a correct
answer, never in the end of the process."""

import os
import pickle
import subprocess
import sys
import textwrap
import weakref

import pytest

import cellvane as cv
from cellvane import Color, Game, GameDelta, Stone

B = Color.BLACK
SANITIZED = bool(os.environ.get("CELLVANE_SANITIZED"))


class Lying:
    """A sequence whose __len__ answers `length` (or raises it when it is an
    exception) while its items are `items`."""

    def __init__(self, items, length):
        self.items, self.length = items, length

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return self.length

    def __getitem__(self, i):
        return self.items[i]  # IndexError past the end, as the protocol wants


class NoLength:
    """A sequence that only has __getitem__: iterable, with no length hint."""

    def __init__(self, items):
        self.items = items

    def __getitem__(self, i):
        return self.items[i]


def log():
    return [GameDelta(Stone(0, B, (4.0, 4.0))), GameDelta(), GameDelta(Stone(2, B, (9.0, 9.0)))]


@pytest.mark.parametrize("length", [2**62, 2**40, 2**31, 0, 1])
def test_the_items_decide_not_the_length(length):
    for items in ([], [3, 1, 3]):
        delta = GameDelta(None, Lying(items, length))
        assert delta.captured_stone_ids == items
    for items in ([], log()):
        g = Game.replay(18.0, Lying(items, length))
        assert g.deltas() == items and g.revision == len(items)
    assert GameDelta(None, NoLength([5, 6])).captured_stone_ids == [5, 6]
    assert Game.replay(18.0, NoLength(log())).deltas() == log()


@pytest.mark.parametrize("error", [KeyboardInterrupt(), ValueError("len"), OverflowError("too long"), MemoryError()])
def test_what_len_raises_is_raised(error):
    with pytest.raises(type(error)) as e:
        GameDelta(Stone(0, B, (1.0, 1.0)), Lying([1], error))
    assert e.value is error
    with pytest.raises(type(error)) as e:
        Game.replay(18.0, Lying(log(), error))
    assert e.value is error
    # A __len__ that answers something other than a size fails as len() does.
    with pytest.raises(TypeError, match="captured_stone_ids"):
        GameDelta(None, Lying([1], "many"))
    with pytest.raises(ValueError):
        Game.replay(18.0, Lying(log(), -1))


@pytest.mark.skipif(SANITIZED, reason="the sanitizer's allocator ignores the address-space limit")
def test_running_out_of_memory_while_converting_raises_memory_error():
    # A child process with about 100 MB of address space to spare: a capture
    # list of 10**8 ids needs 400 MB, the text of a delta holding 10**7
    # ids about 90 MB, and a log that lists one delta holding 10**5 ids
    # 2*10**4 times would need 8 GB if every entry were copied.
    code = textwrap.dedent(
        """
        import resource
        import cellvane as cv

        def used():
            with open("/proc/self/statm") as f:
                return int(f.read().split()[0]) * resource.getpagesize()

        long = cv.GameDelta(cv.Stone(0, cv.Color.BLACK, (1.0, 1.0)), range(10**7))
        limit = used() + 100 * 2**20
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        try:
            cv.GameDelta(None, range(10**8))
        except MemoryError:
            print("MemoryError")
        try:
            repr(long)
        except MemoryError:
            print("MemoryError")
        big = cv.GameDelta(None, list(range(10**5)))
        try:
            cv.Game.replay(18.0, [big] * (2 * 10**4))
        except cv.PassCapturesError:
            print("PassCapturesError")
        print(cv.Game.replay(18.0, [cv.GameDelta()] * 2).status)
        """
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
    assert out.returncode == 0, out.stderr
    assert out.stdout.split() == ["MemoryError", "MemoryError", "PassCapturesError", "GameStatus.ENDED"]


def module_classes():
    return [getattr(cv, name) for name in cv.__all__ if isinstance(getattr(cv, name), type)]


def test_every_class_of_the_module_is_immutable():
    classes = module_classes()
    assert len(classes) == 8 + 14
    for cls in classes:
        for name in ["BLACK", "__doc__", "__repr__", "new_attribute"]:
            with pytest.raises(TypeError):
                setattr(cls, name, "x")
        for name in ["BLACK", "__doc__", "new_attribute"]:
            with pytest.raises((TypeError, AttributeError)):
                delattr(cls, name)
    for cls, members in [
        (cv.Color, ["BLACK", "WHITE"]),
        (cv.BoardEdge, ["LEFT", "RIGHT", "TOP", "BOTTOM"]),
        (cv.CutKind, ["CONNECTED", "CUTTABLE", "TOO_FAR"]),
        (cv.GameStatus, ["PLAYING", "NEXT_PASS_ENDS", "ENDED"]),
    ]:
        for value, name in enumerate(members):
            with pytest.raises(TypeError):
                setattr(cls, name, "x")
            with pytest.raises(TypeError):
                delattr(cls, name)
            member = getattr(cls, name)
            assert type(member) is cls and member == value and repr(member) == f"{cls.__name__}.{name}"
    assert Game(18.0).pending_color == Color.BLACK != Color.WHITE
    assert cv.CutError.__doc__.startswith("A cut question")


def test_exceptions_stay_ordinary_exception_classes():
    # Subclasses of the module's classes are the caller's own, and mutable.
    class Mine(cv.NotPlaceableError):
        pass

    Mine.extra = 1
    with pytest.raises(cv.StonePlayError) as e:
        raise Mine("no")
    assert e.value.extra == 1 and str(e.value) == "no"
    assert cv.CellvaneError.__module__ == "cellvane" and cv.NoSuchStoneError.__qualname__ == "NoSuchStoneError"
    assert cv.NoSuchStoneError.__mro__[1:4] == (cv.DeltaError, cv.CellvaneError, Exception)
    with pytest.raises(cv.NoSuchStoneError) as e:
        Game.replay(18.0, [GameDelta(Stone(0, B, (4.0, 4.0)), [7])])
    error = e.value
    assert error.stone == 7 and repr(error) == f"NoSuchStoneError({str(error)!r})"
    error.note = "callers may annotate"
    assert weakref.ref(error)() is error
    again = pickle.loads(pickle.dumps(error))
    assert type(again) is cv.NoSuchStoneError and again.stone == 7 and again.note == error.note

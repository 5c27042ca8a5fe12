import inspect
import os
import struct
import subprocess
import sys

import pytest
from hypothesis import given
from hypothesis import strategies as st

from cellvane import BoardEdge, Color, CutKind, GameDelta, GameStatus, Stone

MASK = (1 << 64) - 1


# ---------------------------------------------------------------- reference hash


def _rotl(x, b):
    return ((x << b) | (x >> (64 - b))) & MASK


def _sipround(v0, v1, v2, v3):
    v0 = (v0 + v1) & MASK
    v1 = _rotl(v1, 13) ^ v0
    v0 = _rotl(v0, 32)
    v2 = (v2 + v3) & MASK
    v3 = _rotl(v3, 16) ^ v2
    v0 = (v0 + v3) & MASK
    v3 = _rotl(v3, 21) ^ v0
    v2 = (v2 + v1) & MASK
    v1 = _rotl(v1, 17) ^ v2
    v2 = _rotl(v2, 32)
    return v0, v1, v2, v3


def siphash13(data: bytes) -> int:
    """SipHash-1-3 with an all-zero key, as a signed 64-bit value."""
    v0, v1, v2, v3 = 0x736F6D6570736575, 0x646F72616E646F6D, 0x6C7967656E657261, 0x7465646279746573
    whole = len(data) - len(data) % 8
    for i in range(0, whole, 8):
        m = int.from_bytes(data[i : i + 8], "little")
        v3 ^= m
        v0, v1, v2, v3 = _sipround(v0, v1, v2, v3)
        v0 ^= m
    b = ((len(data) & 0xFF) << 56) | int.from_bytes(data[whole:], "little")
    v3 ^= b
    v0, v1, v2, v3 = _sipround(v0, v1, v2, v3)
    v0 ^= b
    v2 ^= 0xFF
    for _ in range(3):
        v0, v1, v2, v3 = _sipround(v0, v1, v2, v3)
    h = v0 ^ v1 ^ v2 ^ v3
    return h - (1 << 64) if h >= 1 << 63 else h


def host_hash(h):
    return -2 if h == -1 else h


def coordinate_bytes(v):
    return struct.pack("<d", 0.0 if v == 0.0 else v)


def stone_bytes(id_, color, x, y):
    return struct.pack("<IQ", id_, color) + coordinate_bytes(x) + coordinate_bytes(y)


def delta_bytes(stone, ids):
    out = struct.pack("<Q", 1 if stone else 0)
    if stone:
        out += stone_bytes(*stone)
    out += struct.pack("<Q", len(ids))
    for i in ids:
        out += struct.pack("<I", i)
    return out


@pytest.mark.skipif(sys.hash_info.algorithm != "siphash13", reason="interpreter hashes bytes differently")
def test_reference_siphash_matches_the_interpreter():
    # With PYTHONHASHSEED=0 the interpreter hashes bytes with SipHash-1-3
    # under an all-zero key: an independent check of the reference above.
    samples = [bytes(range(n)) for n in (1, 7, 8, 9, 15, 16, 17, 28, 64)] + [b"\xff" * 33]
    code = "import sys\nfor line in sys.stdin.read().split():\n    print(hash(bytes.fromhex(line)))"
    env = dict(os.environ, PYTHONHASHSEED="0")
    out = subprocess.run(
        [sys.executable, "-c", code],
        input="\n".join(s.hex() for s in samples),
        capture_output=True,
        text=True,
        env=env,
        check=True,
    )
    assert [int(v) for v in out.stdout.split()] == [host_hash(siphash13(s)) for s in samples]


# ----------------------------------------------------------------------- Stone


def black(id_=0, position=(4.0, 4.0)):
    return Stone(id_, Color.BLACK, position)


def test_stone_properties_and_repr():
    s = Stone(7, Color.WHITE, (4.0, 0.5))
    assert s.id == 7
    assert s.color == Color.WHITE
    assert s.position == (4.0, 0.5)
    assert type(s.position) is tuple and all(type(c) is float for c in s.position)
    assert repr(s) == "Stone(id=7, color=Color.WHITE, position=(4.0, 0.5))"
    assert repr(black()) == "Stone(id=0, color=Color.BLACK, position=(4.0, 4.0))"


def test_stone_accepts_keywords_and_float_convertible_coordinates():
    s = Stone(position=(3, True), color=Color.BLACK, id=4294967295)
    assert s.id == 4294967295
    assert s.position == (3.0, 1.0)

    class Real:
        def __float__(self):
            return 2.5

    assert Stone(0, Color.BLACK, (Real(), -1)).position == (2.5, -1.0)


def test_stone_id_errors():
    with pytest.raises(TypeError, match=r"^argument 'id': 'str' object cannot be interpreted as an integer$"):
        Stone("1", Color.BLACK, (0.0, 0.0))
    with pytest.raises(TypeError, match=r"^argument 'id': "):
        Stone(1.0, Color.BLACK, (0.0, 0.0))
    for bad in (-1, 2**32, 2**70, -(2**70)):
        with pytest.raises(OverflowError) as info:
            Stone(bad, Color.BLACK, (0.0, 0.0))
        assert "argument" not in str(info.value)


def test_stone_color_and_position_errors():
    with pytest.raises(TypeError, match=r"^argument 'color': 'int' object cannot be converted to 'Color'$"):
        Stone(0, 0, (0.0, 0.0))
    with pytest.raises(TypeError, match=r"^argument 'color': "):
        Stone(0, BoardEdge.LEFT, (0.0, 0.0))
    with pytest.raises(TypeError, match=r"^argument 'position': 'list' object"):
        Stone(0, Color.BLACK, [0.0, 0.0])
    for bad in ((), (1.0,), (1.0, 2.0, 3.0)):
        with pytest.raises(TypeError, match=r"^argument 'position': expected tuple of length 2"):
            Stone(0, Color.BLACK, bad)
    with pytest.raises(TypeError, match=r"^argument 'position': must be real number, not str$"):
        Stone(0, Color.BLACK, (1.0, "2"))
    # The first bad argument decides.
    with pytest.raises(TypeError, match=r"^argument 'id'"):
        Stone("x", "y", "z")
    with pytest.raises(TypeError):
        Stone(0, Color.BLACK)
    with pytest.raises(TypeError):
        Stone(0, Color.BLACK, (0.0, 0.0), 1)


def test_stone_equality_folds_negative_zero_and_compares_bits():
    a = Stone(0, Color.BLACK, (0.0, 1.0))
    b = Stone(0, Color.BLACK, (-0.0, 1.0))
    assert a == b and not (a != b)
    assert hash(a) == hash(b)
    nan = float("nan")
    assert Stone(1, Color.BLACK, (nan, 0.0)) == Stone(1, Color.BLACK, (nan, 0.0))
    other_nan = struct.unpack("<d", struct.pack("<Q", 0x7FF8000000000001))[0]
    assert Stone(1, Color.BLACK, (nan, 0.0)) != Stone(1, Color.BLACK, (other_nan, 0.0))
    assert a != Stone(1, Color.BLACK, (0.0, 1.0))
    assert a != Stone(0, Color.WHITE, (0.0, 1.0))
    assert a != Stone(0, Color.BLACK, (0.0, 1.0000000000000002))
    assert a != Stone(0, Color.BLACK, (1.0, 0.0))


def test_stone_comparisons_with_other_things():
    s = black()
    assert s.__eq__((0, Color.BLACK, (4.0, 4.0))) is NotImplemented
    assert s.__eq__(GameDelta(s)) is NotImplemented
    assert s != "Stone"
    assert s.__lt__(black()) is NotImplemented
    with pytest.raises(TypeError):
        s < black()
    with pytest.raises(TypeError):
        s >= black()


def test_stone_hash_layout():
    cases = [(0, 0, 4.0, 4.0), (7, 1, -0.0, 0.5), (4294967295, 1, 1e300, -1e-300), (12, 0, float("inf"), 3.25)]
    for id_, color, x, y in cases:
        s = Stone(id_, Color.WHITE if color else Color.BLACK, (x, y))
        assert hash(s) == host_hash(siphash13(stone_bytes(id_, color, x, y)))


def test_stone_is_immutable():
    s = black()
    for name, value in (("id", 3), ("color", Color.WHITE), ("position", (1.0, 1.0)), ("extra", 1)):
        with pytest.raises(AttributeError):
            setattr(s, name, value)
    with pytest.raises(AttributeError):
        del s.id
    with pytest.raises(TypeError):
        Stone.id = 5
    assert s == black()


def _expected_repr(x):
    # The interpreter's repr with the exponent written without sign or
    # leading zeros ("1e-05" -> "1e-5", "1e+16" -> "1e16").
    text = repr(x)
    if "e" in text:
        mantissa, exponent = text.split("e")
        text = mantissa + "e" + str(int(exponent))
    return text


HARD_FLOATS = [
    0.1,
    1e-7,
    1e-4,
    9.999999999999999e-5,
    1.5e-5,
    1e16,
    2e16,
    9999999999999998.0,
    123456789012345680.0,
    -0.0,
    0.0,
    5e-324,
    2.2250738585072014e-308,
    1.7976931348623157e308,
    0.30000000000000004,
    float("inf"),
    -float("inf"),
    -123.456,
]


def test_repr_of_hard_floats():
    for x in HARD_FLOATS:
        s = Stone(0, Color.BLACK, (x, -x))
        assert repr(s) == f"Stone(id=0, color=Color.BLACK, position=({_expected_repr(x)}, {_expected_repr(-x)}))"
    assert repr(Stone(0, Color.BLACK, (1e-7, 2e16))).endswith("position=(1e-7, 2e16))")
    assert repr(Stone(0, Color.BLACK, (float("nan"), 1.0))).endswith("position=(NaN, 1.0))")


@given(st.floats(allow_nan=False), st.floats(allow_nan=False))
def test_repr_matches_the_interpreter_digits(x, y):
    s = Stone(1, Color.WHITE, (x, y))
    assert repr(s) == f"Stone(id=1, color=Color.WHITE, position=({_expected_repr(x)}, {_expected_repr(y)}))"


# -------------------------------------------------------------------- GameDelta


def test_delta_defaults_to_a_pass():
    d = GameDelta()
    assert d.new_stone is None
    assert d.captured_stone_ids == []
    assert d.is_pass is True
    assert repr(d) == "GameDelta()"
    assert GameDelta(None, None) == d


def test_delta_keeps_ids_as_given():
    d = GameDelta(None, [3, 1, 3])
    assert d.captured_stone_ids == [3, 1, 3]
    assert repr(d) == "GameDelta()"
    assert d.is_pass
    assert GameDelta(captured_stone_ids=(5, 2)).captured_stone_ids == [5, 2]
    assert GameDelta(captured_stone_ids=range(3)).captured_stone_ids == [0, 1, 2]


def test_delta_with_stone():
    s = Stone(2, Color.BLACK, (4.0, 6.0))
    d = GameDelta(s, [1])
    assert d.new_stone == s
    assert not d.is_pass
    assert repr(d) == (
        "GameDelta(new_stone=Stone(id=2, color=Color.BLACK, position=(4.0, 6.0)), captured_stone_ids=[1])"
    )
    assert repr(GameDelta(new_stone=s)).endswith("captured_stone_ids=[])")
    assert repr(GameDelta(s, [10, 2, 4294967295])).endswith("captured_stone_ids=[10, 2, 4294967295])")


def test_delta_answers_copies():
    d = GameDelta(black(), [1, 2])
    ids = d.captured_stone_ids
    ids.append(9)
    assert d.captured_stone_ids == [1, 2]
    assert d.captured_stone_ids is not d.captured_stone_ids
    assert d.new_stone is not d.new_stone


def test_delta_argument_errors():
    with pytest.raises(TypeError, match=r"^argument 'captured_stone_ids': Can't extract `str` to `Vec`$"):
        GameDelta(None, "123")
    with pytest.raises(TypeError, match=r"^argument 'captured_stone_ids': "):
        GameDelta(None, 5)
    with pytest.raises(TypeError, match=r"^argument 'captured_stone_ids': "):
        GameDelta(None, {1, 2})
    with pytest.raises(TypeError, match=r"^argument 'captured_stone_ids': 'float' object"):
        GameDelta(None, [1, 2.0])
    with pytest.raises(OverflowError) as info:
        GameDelta(None, [1, -1])
    assert "argument" not in str(info.value)
    with pytest.raises(TypeError, match=r"^argument 'new_stone': "):
        GameDelta((0, Color.BLACK, (1.0, 1.0)))
    with pytest.raises(TypeError, match=r"^argument 'new_stone': "):
        GameDelta(GameDelta())
    with pytest.raises(TypeError):
        GameDelta(None, [], None)


def test_delta_equality():
    s = black()
    assert GameDelta() == GameDelta(None, [])
    assert GameDelta(None, [1]) != GameDelta()
    assert GameDelta(s, [1, 2]) == GameDelta(black(), [1, 2])
    assert GameDelta(s, [1, 2]) != GameDelta(s, [2, 1])
    assert GameDelta(s, [1, 2]) != GameDelta(s, [1, 2, 2])
    assert GameDelta(s) != GameDelta()
    assert GameDelta(s) != GameDelta(black(1))
    assert GameDelta(Stone(0, Color.BLACK, (0.0, 1.0))) == GameDelta(Stone(0, Color.BLACK, (-0.0, 1.0)))
    assert GameDelta().__eq__(None) is NotImplemented
    assert GameDelta().__eq__(s) is NotImplemented
    with pytest.raises(TypeError):
        GameDelta() < GameDelta()


def test_delta_hash_layout():
    cases = [
        (None, []),
        (None, [3, 1, 3]),
        ((0, 0, 4.0, 4.0), []),
        ((2, 0, 4.0, 6.0), [1]),
        ((9, 1, -0.0, 1e-7), [4294967295, 0, 8]),
    ]
    for stone, ids in cases:
        new_stone = None
        if stone:
            id_, color, x, y = stone
            new_stone = Stone(id_, Color.WHITE if color else Color.BLACK, (x, y))
        d = GameDelta(new_stone, ids)
        assert hash(d) == host_hash(siphash13(delta_bytes(stone, ids)))
    assert hash(GameDelta(Stone(0, Color.BLACK, (-0.0, 0.0)))) == hash(GameDelta(Stone(0, Color.BLACK, (0.0, 0.0))))


def test_delta_is_immutable():
    d = GameDelta(black(), [1])
    for name in ("new_stone", "captured_stone_ids", "is_pass", "extra"):
        with pytest.raises(AttributeError):
            setattr(d, name, None)
    with pytest.raises(TypeError):
        GameDelta.is_pass = True


def test_delta_subclass():
    class LoggedDelta(GameDelta):
        pass

    d = LoggedDelta(black(), [1])
    assert isinstance(d, GameDelta)
    assert d == GameDelta(black(), [1]) and GameDelta(black(), [1]) == d
    assert hash(d) == hash(GameDelta(black(), [1]))
    assert repr(d) == repr(GameDelta(black(), [1]))
    assert d.captured_stone_ids == [1]
    d.note = "from the log"  # subclasses may carry their own attributes
    assert d.note == "from the log"
    # Usable wherever a delta is expected.
    assert GameDelta(d.new_stone, d.captured_stone_ids) == d
    del d


def test_values_survive_many_round_trips():
    # Builders and readers keep reference counts balanced: a long loop of
    # creations does not grow the live object count.
    import gc

    gc.collect()
    before = len(gc.get_objects())
    for i in range(20000):
        d = GameDelta(Stone(i, Color.WHITE, (1.0, 2.0)), [i, i + 1])
        _ = (d.new_stone.color, d.new_stone.position, d.captured_stone_ids, repr(d), hash(d))
    del d, _
    gc.collect()
    assert len(gc.get_objects()) - before < 100


def test_value_signatures_and_docs():
    assert str(inspect.signature(Stone)) == "(id, color, position)"
    assert str(inspect.signature(GameDelta)) == "(new_stone=None, captured_stone_ids=None)"
    assert Stone.__doc__ == "A stone on the board."
    assert GameDelta.__doc__ == (
        "One turn's change to the board: a stone placed (or not, for a pass) and the\n"
        "stones that placement captured.\n\n"
        "Replaying every delta of a game into a fresh board of the same size\n"
        "reproduces the position exactly \u2014 `Game.replay` is what does it."
    )
    assert Stone.id.__doc__ == "Which stone this is. Ids are dense and never reused."
    assert Stone.color.__doc__ == "Whose stone it is."
    assert Stone.position.__doc__ == "Where its centre sits, as `(x, y)`."
    assert GameDelta.new_stone.__doc__ == "The stone placed this turn, or `None` when the turn was a pass."
    assert GameDelta.captured_stone_ids.__doc__ == "The stones this placement captured, ascending by id."
    assert GameDelta.is_pass.__doc__ == "Whether this turn was a pass."


# ---------------------------------------------------------------- enumerations

ENUMS = {
    Color: [("BLACK", 0, "black"), ("WHITE", 1, "white")],
    BoardEdge: [("LEFT", 0, "left"), ("RIGHT", 1, "right"), ("TOP", 2, "top"), ("BOTTOM", 3, "bottom")],
    CutKind: [("CONNECTED", 0, "connected"), ("CUTTABLE", 1, "cuttable"), ("TOO_FAR", 2, "tooFar")],
    GameStatus: [("PLAYING", 0, None), ("NEXT_PASS_ENDS", 1, None), ("ENDED", 2, None)],
}


def test_enumeration_members():
    for cls, members in ENUMS.items():
        for name, value, label in members:
            member = getattr(cls, name)
            assert type(member) is cls
            assert int(member) == value
            assert repr(member) == f"{cls.__name__}.{name}"
            assert str(member) == repr(member)
            if label is None:
                assert not hasattr(member, "label")
            else:
                assert member.label == label
    assert CutKind.TOO_FAR.label == "tooFar"


def test_enumeration_equality():
    assert Color.BLACK == 0
    assert 0 == Color.BLACK
    assert not (Color.WHITE != 1)
    assert Color.WHITE == True  # noqa: E712 - bool is an int
    assert Color.BLACK != 1
    assert Color.BLACK != Color.WHITE
    assert Color.BLACK != BoardEdge.LEFT
    assert Color.BLACK.__eq__(BoardEdge.LEFT) is NotImplemented
    assert Color.BLACK.__eq__(0.0) is NotImplemented
    assert Color.BLACK.__eq__("black") is NotImplemented
    assert Color.BLACK != 2**100
    assert GameStatus.ENDED == 2
    with pytest.raises(TypeError):
        Color.BLACK < Color.WHITE
    with pytest.raises(TypeError):
        Color.BLACK <= 1


def test_enumeration_hash_agrees_with_int_equality():
    for cls, members in ENUMS.items():
        for name, value, _ in members:
            assert hash(getattr(cls, name)) == hash(value)
    table = {Color.WHITE: "white"}
    assert table[1] == "white"
    assert {0: "zero"}[Color.BLACK] == "zero"
    assert len({Color.BLACK, 0, Stone(0, Color.BLACK, (1.0, 1.0)).color}) == 1
    assert BoardEdge.BOTTOM in {3}


def test_enumeration_answers_are_new_equal_instances():
    assert Color.BLACK.opposite() == Color.WHITE
    assert Color.WHITE.opposite() == Color.BLACK
    assert Color.BLACK.opposite() is not Color.WHITE
    assert Color.BLACK.opposite().opposite() == Color.BLACK
    assert black().color == Color.BLACK and black().color is not Color.BLACK
    assert GameStatus.ENDED.has_ended() is True
    assert GameStatus.PLAYING.has_ended() is False
    assert GameStatus.NEXT_PASS_ENDS.has_ended() is False


def test_enumerations_have_no_public_constructor():
    for cls in ENUMS:
        with pytest.raises(TypeError):
            cls()
        with pytest.raises(TypeError):
            cls(0)


def test_enumeration_members_are_immutable():
    with pytest.raises(AttributeError):
        Color.BLACK.label = "white"
    with pytest.raises(AttributeError):
        Color.BLACK.value = 1
    assert Color.BLACK.label == "black"


def test_enumeration_docs():
    assert Color.__doc__ == "A player."
    assert BoardEdge.__doc__ == "Which board edge a stone-to-edge line runs to."
    assert GameStatus.__doc__ == (
        "How far along a game is.\n\n"
        "`Game.status` answers with one of these. A game ends on two passes in a row\n"
        "and on nothing else; an ended game takes no further turns and answers every\n"
        "question it answered before."
    )
    assert CutKind.__doc__ == (
        "What the rules say about the line between two stones, or between a stone and\n"
        "a board edge.\n\n"
        "`Game.pair_cuttable` and `Game.boundary_cuttable` answer with one of these.\n"
        "`TOO_FAR` is **not** a verdict in either direction \u2014 see its own note."
    )
    assert Color.label.__doc__ == (
        "The lowercase name, as the engine's wire protocol and the fixtures spell\n"
        'it: `"black"` or `"white"`.'
    )
    assert BoardEdge.label.__doc__ == "The lowercase name, as the engine's wire protocol spells it."
    assert CutKind.label.__doc__ == "The name as the engine's wire protocol spells it."
    assert Color.opposite.__doc__ == "The other player."
    assert GameStatus.has_ended.__doc__ == "Whether the game has stopped taking turns."
    assert str(inspect.signature(Color.BLACK.opposite)) == "()"
    assert str(inspect.signature(GameStatus.ENDED.has_ended)) == "()"

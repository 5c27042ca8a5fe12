"""The Game class as the host sees it: construction, properties, texts,
copies, argument conversion and the freshness of every answer."""

import copy
import inspect
import math

import pytest
from conftest import CORNER, exact, play
from hypothesis import given, settings
from hypothesis import strategies as st

import cellvane as cv
from cellvane import Color, Game, GameDelta, GameStatus, Stone

B, W = Color.BLACK, Color.WHITE


def corner_capture():
    """Black takes a white stone in the top-left corner on the third move."""
    return play(CORNER)


# ------------------------------------------------------------ a new game


def test_new_game_observables():
    g = Game(18.0)
    assert repr(g) == "Game(board_size=18.0, turn=0, stones=0)"
    assert len(g) == 0
    assert g.board_size == 18.0
    assert (g.turn, g.next_stone_id, g.revision, g.stone_count) == (0, 0, 0, 0)
    assert g.captures == (0, 0)
    assert g.status == GameStatus.PLAYING
    assert g.pending_color == B
    assert g.stone(0) is None
    assert g.stones() == []
    assert g.deltas() == []
    assert g.last_placed_stone() is None
    assert g.groups() == []
    assert g.dead_stones(B) == [] and g.dead_stones(W) == []
    black, white = g.territory()
    assert exact(black) == exact(-0.0) and exact(white) == exact(-0.0)
    assert g.validate() is None
    assert g.undo_move() is None and g.revision == 0
    assert g.dump_svg().startswith("<svg ")


def test_a_move_and_a_pass():
    g = Game(18.0)
    d = g.try_move((4.0, 4.0))
    assert d == GameDelta(Stone(0, B, (4.0, 4.0)), [])
    assert (g.turn, g.pending_color, len(g)) == (1, W, 1)
    assert g.last_placed_stone() == Stone(0, B, (4.0, 4.0))
    assert g.pass_turn() is None
    deltas = g.deltas()
    assert len(deltas) == 2 and deltas[0] == d and deltas[1].is_pass
    assert g.last_placed_stone() is None
    assert g.turn == g.next_stone_id == 2
    assert g.pending_color == B
    assert g.stone(0) == Stone(0, B, (4.0, 4.0)) and g.stone(1) is None
    assert repr(g) == "Game(board_size=18.0, turn=2, stones=1)"


@pytest.mark.parametrize(
    "size, text",
    [(18, "18.0"), (0.5, "0.5"), (1e16, "1e16"), (2.5e-5, "2.5e-5"), (-0.0, "-0.0"), (1234.5678, "1234.5678")],
)
def test_repr_prints_the_size_as_a_float(size, text):
    assert repr(Game(size)) == f"Game(board_size={text}, turn=0, stones=0)"


def test_len_and_stone_count_follow_captures():
    g = corner_capture()
    assert len(g) == g.stone_count == 2
    assert g.captures == (1, 0)
    assert [s.id for s in g.stones()] == [0, 2]
    assert repr(g) == "Game(board_size=18.0, turn=3, stones=2)"


@pytest.mark.parametrize("size", [float("nan"), float("inf"), -float("inf"), 0.0, -5.0, 1.0, 3.0])
def test_degenerate_sizes_answer_without_failing(size):
    g = Game(size)
    assert g.validate() is None
    g.nearest_living_move((1.0, 1.0))
    g.territory()
    g.groups()
    with pytest.raises(cv.StonePlayError):
        g.try_move((1.0, 1.0))  # nowhere to live on such a board
    assert g.turn == 0 and g.validate() is None
    g.pass_turn()
    assert g.status == GameStatus.NEXT_PASS_ENDS
    assert "<svg" in g.dump_svg()


# -------------------------------------------------------- the class surface

PROPERTY_DOCS = {
    "board_size": "Width and height of the board.",
    "turn": "Committed turns played so far.",
    "pending_color": "Whose turn it is. Black moves on even turns.",
    "next_stone_id": "The id the next stone will take.",
    "captures": "How many stones each player has captured, as `(black, white)`.",
    "status": "How far along the game is.\n\n`GameStatus.ENDED` once two passes in a row have been played, and from\n"
    "then on `try_move` and `pass_turn` raise `GameOverError`. Nothing else\nchanges: every query still answers, "
    "and `undo_move` takes the last pass\nback.\n\nWhat an ended game is *worth* is still yours \u2014 this package "
    "scores\nnothing beyond `territory`.",
    "revision": "Counts every board change. It only ever increases, so anything derived\nfrom the board can be "
    "memoized against it.",
    "stone_count": "How many stones are in play.",
}

METHODS = {
    "stones": ("($self)", "The stones in play, ascending by id."),
    "stone": ("($self, stone_id)", "The stone with this id, or `None` if it is not in play."),
    "last_placed_stone": (
        "($self)",
        "The stone placed on the last committed turn, or `None` if that turn was\na pass or nothing has been played.",
    ),
    "deltas": (
        "($self)",
        "The committed turns, oldest first \u2014 everything needed to replay this\ngame into a fresh board of the "
        "same size.",
    ),
    "nearest_living_move": (
        "($self, position)",
        "The placeable position nearest `position`, or `None` when the board is\nfull.\n\nA position that is "
        "already placeable is its own answer. This is the\nsnapping `try_move` deliberately does not do.",
    ),
    "groups": ("($self)", "Every group on the board, black's before white's."),
    "territory": (
        "($self)",
        "The board area each player controls, as `(black, white)`.\n\nThe whole board is `board_size ** 2`, and "
        "the two shares sum to it once\nthere is at least one stone. Komi, and what to do with the difference,\n"
        "are yours.",
    ),
    "dead_stones": ("($self, color)", "Every stone of `color` whose group no longer touches playable space."),
    "pair_cuttable": (
        "($self, a, b)",
        "Whether an enemy pair can be wedged between two of this board's stones.\n\nAnswers a `CutKind`. "
        "`CutKind.TOO_FAR` when the two are further apart\nthan `MAX_PAIR_CUT_DISTANCE`, which is **not** a "
        "verdict in either\ndirection: past that distance the search could report a connection that\nis not "
        "there, so the rules decline rather than guess. The limit is a\nmodule constant so a caller can see which "
        "pairs are answerable before\nasking.\n\nThis is a fact about the position, not about what a renderer "
        "would draw:\nthe dense interior of a friendly shape is what any renderer hides, and it\nis the most "
        "certainly connected part of the board.\n\nRaises `CutError` when the question is not about a connection "
        "at all \u2014\neither stone not in play, a stone against itself, or two colours.",
    ),
    "boundary_cuttable": (
        "($self, stone_id, edge)",
        "The same question about one of this board's stones and a board edge.\n\n`CutKind.TOO_FAR` when the "
        "stone is further from that edge than\n`MAX_BOUNDARY_CUT_DISTANCE`. Raises `CutError` when the stone is "
        "not in\nplay; nothing else here can be malformed.",
    ),
    "try_move": (
        "($self, position)",
        "Plays a stone of the colour to move at `position`, taking whatever it\ncaptures, and answers the delta "
        "it committed.\n\n`position` must already be placeable \u2014 this does not snap, and\n"
        "`nearest_living_move` is how you make it so.\n\nRaises `NotPlaceableError` if no stone centre may sit "
        "there,\n`SelfCaptureError` if the move would take only the mover's own stones,\nand `GameOverError` if "
        "the game has ended on two passes. In every case\nthe board is left exactly as it was, to the bit.",
    ),
    "pass_turn": (
        "($self)",
        "Passes the turn.\n\nSpelled `pass_turn` because `pass` is a Python keyword. A pass is a\ncommitted "
        "delta like any other, so it can be undone.\n\nThe second pass in a row ends the game; a third raises "
        "`GameOverError`,\nas does any move after it.",
    ),
    "undo_move": (
        "($self)",
        "Takes back the last change and answers the delta it undid, or `None`\nwhen there is nothing to undo.\n\n"
        "The board comes back bit for bit, including the playable area's internal\nstructure.",
    ),
    "validate": (
        "($self)",
        "Checks every invariant the board is supposed to hold.\n\nRaises `BoardError` naming the first one that "
        "does not. A healthy board\nnever raises: every variant is a bug in the engine rather than something\na "
        "caller can provoke. Debug builds check this after every change; in a\nrelease wheel they do not, and "
        "this is how you ask.",
    ),
    "dump_svg": (
        "($self)",
        "A standalone SVG of the position: every group filled with its own\ncolour, dead area hatched, group ids "
        "labelled.",
    ),
    "__copy__": ("($self)", None),
    "__deepcopy__": ("($self, _memo=None)", None),
}


def test_properties_are_read_only_and_documented():
    g = Game(18.0)
    for name, doc in PROPERTY_DOCS.items():
        descriptor = Game.__dict__[name]
        assert descriptor.__doc__ == doc, name
        with pytest.raises(AttributeError):
            setattr(g, name, getattr(g, name))
    assert type(g.captures) is tuple and type(g.revision) is int and type(g.board_size) is float
    assert type(g.pending_color) is Color and type(g.status) is GameStatus


def test_method_signatures_and_docstrings():
    for name, (signature, doc) in METHODS.items():
        method = getattr(Game, name)
        assert method.__text_signature__ == signature, name
        assert method.__doc__ == doc, name
    assert Game.replay.__text_signature__ == "(board_size, deltas)"
    assert Game.replay.__doc__.startswith("A board with `deltas` played onto it as committed turns, in order.\n\n")
    assert "reproduces the captures \u2014 and the forced eyes\nthey leave \u2014 without" in Game.replay.__doc__
    assert str(inspect.signature(Game.try_move)) == "(self, /, position)"
    assert str(inspect.signature(Game.replay)) == "(board_size, deltas)"
    assert str(inspect.signature(Game(1.0).__deepcopy__)) == "(_memo=None)"
    assert Game.__text_signature__ == "(board_size)"


def test_every_parameter_is_also_a_keyword():
    g = Game(board_size=18.0)
    g.try_move(position=(4.0, 4.0))
    g.try_move(position=(8.0, 4.0))
    g.try_move(position=(4.0, 7.0))
    assert g.stone(stone_id=0).position == (4.0, 4.0)
    assert g.nearest_living_move(position=(17.5, 9.0)) == (17.0, 9.0)
    assert g.dead_stones(color=B) == []
    assert g.pair_cuttable(a=0, b=2) == cv.CutKind.CUTTABLE
    assert g.boundary_cuttable(stone_id=0, edge=cv.BoardEdge.TOP) == cv.CutKind.TOO_FAR
    assert g.__deepcopy__(_memo={}).turn == 3
    replayed = Game.replay(board_size=18.0, deltas=g.deltas())
    assert replayed.stones() == g.stones()
    with pytest.raises(TypeError):
        g.stone(0, stone_id=0)
    with pytest.raises(TypeError):
        g.stones(1)


def test_subclasses_build_their_board_and_copies_are_plain_games():
    class Tagged(Game):
        def __init__(self, board_size):
            super().__init__(board_size)
            self.tag = "mine"

    class Named(Game):
        def __new__(cls, name, board_size):
            self = super().__new__(cls, board_size)
            self.name = name
            return self

    t = Tagged(18.0)
    t.try_move((4.0, 4.0))
    assert (t.tag, t.turn, isinstance(t, Game)) == ("mine", 1, True)
    assert type(copy.copy(t)) is Game and type(copy.deepcopy(t)) is Game
    n = Named("n", 9.0)
    assert (n.name, n.board_size) == ("n", 9.0)
    # Game's own __init__ never rebuilds the board.
    t.__init__(5.0)
    assert t.board_size == 18.0 and t.turn == 1


# ------------------------------------------------------------------ copies


@pytest.mark.parametrize("take", [copy.copy, copy.deepcopy, lambda g: g.__copy__(), lambda g: g.__deepcopy__()])
def test_copies_are_independent(take):
    g = corner_capture()
    g.pair_cuttable(0, 2)  # fills the cut memo, which is copied too
    c = take(g)
    assert type(c) is Game and c is not g
    assert c.revision == g.revision
    assert c.stones() == g.stones() and c.deltas() == g.deltas()
    assert c.captures == g.captures and c.status == g.status
    assert c.nearest_living_move((1.0, 1.0)) == (1.0, 1.0)  # the forced eye came along
    c.try_move((7.0, 7.0))
    assert g.turn == 3 and len(g) == 2 and g.revision == c.revision - 3
    g.undo_move()
    assert c.turn == 4 and c.captures == (1, 0)
    assert c.validate() is None and g.validate() is None


def test_copy_taken_before_a_move_does_not_see_it():
    g = Game(18.0)
    g.try_move((4.0, 4.0))
    before = copy.copy(g)
    g.try_move((9.0, 9.0))
    assert before.turn == 1 and before.revision == 3 and len(before.deltas()) == 1


# -------------------------------------------------------------- arguments


def test_stone_id_conversion():
    g = Game(18.0)
    with pytest.raises(OverflowError) as e:
        g.stone(-1)
    assert "stone_id" not in str(e.value)
    with pytest.raises(OverflowError):
        g.stone(2**32)
    assert g.stone(2**32 - 1) is None
    for bad in ("x", 1.0, None):
        with pytest.raises(TypeError, match="stone_id"):
            g.stone(bad)
    assert g.stone(True) is None  # an int subclass is an integer


def test_position_conversion():
    g = Game(18.0)
    for method in (g.try_move, g.nearest_living_move):
        for bad in ([4.0, 4.0], (4.0,), (4.0, 4.0, 4.0), (4.0, "x"), 4.0, None):
            with pytest.raises(TypeError, match="position"):
                method(bad)
    assert g.turn == 0 and g.revision == 0
    g.try_move((4, 4))  # integers convert to floats
    assert g.stone(0).position == (4.0, 4.0)


@given(x=st.floats(allow_nan=True, allow_infinity=True), y=st.sampled_from([float("nan"), float("inf"), -float("inf")]))
@settings(max_examples=60, deadline=None)
def test_non_finite_coordinates_are_refused_cleanly(x, y):
    g = Game(18.0)
    for p in ((x, y), (y, x)):
        assert g.nearest_living_move(p) is None
        with pytest.raises(cv.NotPlaceableError) as e:
            g.try_move(p)
        got = e.value.position
        assert [exact(v) for v in got] == [exact(v) for v in p]
    assert g.turn == 0 and g.revision == 0


def test_other_argument_errors():
    g = corner_capture()
    for bad in ("black", 0, None):
        with pytest.raises(TypeError, match="color"):
            g.dead_stones(bad)
    with pytest.raises(TypeError, match="'a'"):
        g.pair_cuttable("0", 2)
    with pytest.raises(TypeError, match="'b'"):
        g.pair_cuttable(0, 2.0)
    with pytest.raises(OverflowError):
        g.pair_cuttable(0, -2)
    with pytest.raises(TypeError, match="edge"):
        g.boundary_cuttable(0, "left")
    with pytest.raises(TypeError, match="board_size"):
        Game("18")
    with pytest.raises(TypeError):
        Game()
    assert Game(True).board_size == 1.0


def test_engine_errors_reach_the_host():
    g = corner_capture()
    with pytest.raises(cv.CutError) as e:
        g.pair_cuttable(2, 2)
    assert e.value.stones == [2] and str(e.value) == "stone 2 cannot be cut from itself"
    with pytest.raises(cv.CutError) as e:
        g.boundary_cuttable(1, cv.BoardEdge.LEFT)
    assert e.value.stones == [1] and str(e.value) == "no stone 1 is on the board"
    with pytest.raises(cv.NotPlaceableError) as e:
        g.try_move((2.0, 2.0))
    assert str(e.value) == "no stone may be placed at (2, 2)" and e.value.position == (2.0, 2.0)
    g.try_move((9.0, 9.0))
    with pytest.raises(cv.CutError) as e:
        g.pair_cuttable(3, 0)
    assert e.value.stones == [3, 0] and str(e.value) == "stones 3 and 0 are not the same colour"
    assert g.boundary_cuttable(0, cv.BoardEdge.TOP) == cv.CutKind.CONNECTED
    assert g.boundary_cuttable(0, cv.BoardEdge.BOTTOM) == cv.CutKind.TOO_FAR
    assert g.validate() is None


# ------------------------------------------------------------- freshness


def test_every_answer_is_a_fresh_object():
    g = corner_capture()
    first, second = g.stones(), g.stones()
    assert first == second and first is not second
    assert all(a is not b for a, b in zip(first, second))
    first.clear()
    assert len(g.stones()) == 2
    d1, d2 = g.deltas(), g.deltas()
    assert d1[2] is not d2[2]
    ids = d1[2].captured_stone_ids
    ids.append(99)
    assert g.deltas()[2].captured_stone_ids == [1]
    assert g.stone(0) is not g.stone(0)
    assert g.last_placed_stone() is not g.last_placed_stone()
    assert g.pending_color is not g.pending_color and g.pending_color == W
    assert g.status is not g.status
    assert g.groups() is not g.groups()
    assert g.dead_stones(W) is not g.dead_stones(W)
    # Answers outlive the game that gave them.
    stones, deltas, groups = g.stones(), g.deltas(), g.groups()
    del g
    assert [s.id for s in stones] == [0, 2] and len(deltas) == 3 and len(groups) >= 1


def test_territory_shares_sum_to_the_board():
    g = corner_capture()
    black, white = g.territory()
    assert math.isclose(black, 324.0) and exact(white) == exact(-0.0)
    g.try_move((9.0, 9.0))
    black, white = g.territory()
    assert math.isclose(black + white, 324.0) and white > 0
    assert sum(gr.area for gr in g.groups() if gr.color == W) == white


def test_groups_black_before_white_each_by_lowest_id():
    log = [GameDelta(Stone(i, c, p)) for i, (c, p) in enumerate(
        [(W, (3.0, 3.0)), (W, (15.0, 15.0)), (B, (15.0, 3.0)), (B, (3.0, 15.0)), (B, (9.0, 9.0))]
    )]
    g = Game.replay(18.0, log)
    groups = g.groups()
    assert [(gr.color, gr.color_seed) for gr in groups] == sorted(
        [(gr.color, gr.color_seed) for gr in groups], key=lambda t: (int(t[0]), t[1])
    )
    assert groups[0].color == B and groups[-1].color == W
    black, white = g.territory()
    assert black == sum(gr.area for gr in groups if gr.color == B)
    assert white == sum(gr.area for gr in groups if gr.color == W)

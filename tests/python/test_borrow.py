"""Re-entrancy: host code that runs while a call holds the game (a
`__float__` converting a position) and tries to use the same game."""

import copy

import pytest
from conftest import Coordinate, play

import cellvane as cv
from cellvane import BoardEdge, Color, Game


class Id:
    """An integer whose conversion runs a callback first."""

    def __init__(self, value, callback):
        self.value, self.callback = value, callback

    def __index__(self):
        self.callback()
        return self.value


def position_game():
    return play([(4, 4), (9, 9), (4, 7)])


def observed(g):
    return (g.stones(), g.deltas(), g.turn, g.revision, g.captures, int(g.status))


QUERIES = {
    "board_size": lambda g: g.board_size,
    "turn": lambda g: g.turn,
    "pending_color": lambda g: g.pending_color,
    "next_stone_id": lambda g: g.next_stone_id,
    "captures": lambda g: g.captures,
    "status": lambda g: g.status,
    "revision": lambda g: g.revision,
    "stone_count": lambda g: g.stone_count,
    "len": len,
    "repr": repr,
    "stones": lambda g: g.stones(),
    "stone": lambda g: g.stone(0),
    "last_placed_stone": lambda g: g.last_placed_stone(),
    "deltas": lambda g: g.deltas(),
    "nearest_living_move": lambda g: g.nearest_living_move((9.0, 9.0)),
    "groups": lambda g: g.groups(),
    "territory": lambda g: g.territory(),
    "dead_stones": lambda g: g.dead_stones(Color.WHITE),
    "validate": lambda g: g.validate(),
    "dump_svg": lambda g: g.dump_svg(),
    "copy": copy.copy,
    "deepcopy": copy.deepcopy,
}

CHANGES = {
    "try_move": lambda g: g.try_move((14.0, 14.0)),
    "pass_turn": lambda g: g.pass_turn(),
    "undo_move": lambda g: g.undo_move(),
    "pair_cuttable": lambda g: g.pair_cuttable(0, 2),
    "boundary_cuttable": lambda g: g.boundary_cuttable(0, BoardEdge.LEFT),
}


@pytest.mark.parametrize("name", QUERIES)
def test_a_query_during_a_move_finds_the_game_held(name):
    g = position_game()
    before = observed(g)
    x = Coordinate(14.0, lambda: QUERIES[name](g))
    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        g.try_move((x, 14.0))
    assert x.calls == 1
    assert observed(g) == before
    # The borrow was given back: the same query and a move both work now.
    QUERIES[name](g)
    assert g.try_move((14.0, 14.0)).new_stone.id == 3


@pytest.mark.parametrize("name", CHANGES)
def test_a_change_during_a_move_finds_the_game_held(name):
    g = position_game()
    before = observed(g)
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        g.try_move((14.0, Coordinate(14.0, lambda: CHANGES[name](g))))
    assert observed(g) == before
    CHANGES[name](g)


def test_a_failing_conversion_propagates_its_own_error():
    g = position_game()
    before = observed(g)

    def boom():
        raise KeyError("from __float__")

    with pytest.raises(KeyError, match="from __float__"):
        g.try_move((Coordinate(14.0, boom), 14.0))
    assert observed(g) == before
    with pytest.raises(KeyError):
        g.nearest_living_move((14.0, Coordinate(14.0, boom)))
    with pytest.raises(KeyError):
        g.pair_cuttable(Id(0, boom), 2)
    assert observed(g) == before
    assert g.validate() is None


def test_a_caught_refusal_lets_the_move_go_on():
    g = position_game()
    seen = []

    def peek():
        try:
            g.stones()
        except RuntimeError as e:
            seen.append(str(e))

    d = g.try_move((Coordinate(14.0, peek), 14.0))
    assert seen == ["Already mutably borrowed"]
    assert d.new_stone.position == (14.0, 14.0) and g.turn == 4


def test_other_games_are_not_held():
    g, other = position_game(), Game(18.0)
    x = Coordinate(14.0, lambda: other.try_move((4.0, 4.0)))
    g.try_move((x, 14.0))
    assert other.turn == 1 and g.turn == 4


def test_arguments_of_other_calls_are_converted_before_the_game_is_taken():
    # Only try_move takes the game before converting; every other method has
    # its arguments in hand first, so their callbacks may use the game.
    g = position_game()
    p = g.nearest_living_move((Coordinate(14.0, lambda: g.try_move((14.0, 14.0))), 14.0))
    assert g.turn == 4 and p == (16.0, 14.0)
    assert g.pair_cuttable(Id(0, g.pass_turn), 2) == cv.CutKind.CUTTABLE
    assert g.turn == 5
    assert g.boundary_cuttable(Id(2, lambda: g.undo_move()), BoardEdge.LEFT) == cv.CutKind.TOO_FAR
    assert g.turn == 4
    assert g.stone(Id(3, lambda: g.undo_move())) is None
    assert g.turn == 3 and g.validate() is None

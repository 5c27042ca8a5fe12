"""Playing real games: captures in the open, on the edge and in the corner,
self-capture, the end of a game, and whole random games that must replay."""

import random

import pytest
from conftest import CORNER, PAIR, exact, play
from hypothesis import given, settings
from hypothesis import strategies as st

import cellvane as cv
from cellvane import Color, Game, GameStatus, Stone

B, W = Color.BLACK, Color.WHITE


def dead_ids(g, color):
    return [s.id for s in g.dead_stones(color)]


def observed(g):
    return (g.stones(), g.deltas(), g.turn, int(g.status), g.captures, len(g))


# Geometry of the positions below: stones sit at least 2.0 apart and at
# least 1.0 from the edges. A stone's territory is its Voronoi cell; once
# the enemy stones around it cut that cell down to a square of half-side 1,
# no playable point is left within 1.0 of it and the stone is dead.

# Black closes the cell of White 1 at (9, 9) to the square [8, 10]^2.
OPEN = [(11, 9), (9, 9), (7, 9), (15, 15), (9, 11), (3, 15), (9, 7)]
# White 1 at (9, 1) against the top edge, cell [8, 10] x [0, 2].
EDGE = [(7, 1), (9, 1), (11, 1), (15, 15), (9, 3)]
# CORNER and PAIR (in conftest.py): White 1 at (1, 1) in the corner, cell
# [0, 2]^2; White 1 and 3 side by side at (8, 9) and (10, 9), six black
# stones round them.


@pytest.mark.parametrize("moves, victim", [(OPEN, (9.0, 9.0)), (EDGE, (9.0, 1.0)), (CORNER, (1.0, 1.0))])
def test_single_stone_captures(moves, victim):
    before = play(moves[:-1])
    assert dead_ids(before, W) == [] and dead_ids(before, B) == []
    # On the board as it would stand, the white stone is the only dead one.
    trial = Game.replay(18.0, before.deltas() + [cv.GameDelta(Stone(before.turn, B, moves[-1]))])
    assert dead_ids(trial, W) == [1] and dead_ids(trial, B) == []

    revision = before.revision
    d = before.try_move(tuple(map(float, moves[-1])))
    g = before
    assert d.new_stone == Stone(len(moves) - 1, B, tuple(map(float, moves[-1])))
    assert d.captured_stone_ids == [1]
    assert g.captures == (1, 0) and g.revision == revision + 3
    assert g.stone(1) is None and Stone(1, W, victim) not in g.stones()
    assert dead_ids(g, W) == [] and dead_ids(g, B) == []
    # The captured centre is a forced eye: placeable, and its own answer.
    assert g.nearest_living_move(victim) == victim
    assert g.validate() is None
    # Black fills it; then it is an ordinary occupied point.
    if g.pending_color == W:
        g.pass_turn()
    filled = g.try_move(victim)
    assert filled.new_stone == Stone(g.turn - 1, B, victim) and filled.captured_stone_ids == []
    assert g.nearest_living_move(victim) != victim


def test_a_group_is_captured_at_once():
    g = play(PAIR[:-1])
    assert dead_ids(g, W) == []
    d = g.try_move((10.0, 7.0))
    assert d.captured_stone_ids == [1, 3]
    assert g.captures == (2, 0) and len(g) == 9
    assert [s.id for s in g.stones()] == [0, 2, 4, 5, 6, 7, 8, 9, 10]
    for eye in [(8.0, 9.0), (10.0, 9.0)]:
        assert g.nearest_living_move(eye) == eye
    # Either eye takes a stone; the first fills it, the other stays an eye.
    g.pass_turn()
    g.try_move((8.0, 9.0))
    assert g.stone(12) == Stone(12, B, (8.0, 9.0))
    assert g.nearest_living_move((10.0, 9.0)) == (10.0, 9.0)
    assert g.validate() is None
    assert Game.replay(18.0, g.deltas()).stones() == g.stones()


def test_dead_stones_come_group_after_group():
    # Two hand-placed dead white groups: the answer runs group by group.
    log = [cv.GameDelta(Stone(i, c, p)) for i, (c, p) in enumerate(
        [(W, (8.0, 9.0)), (B, (6.0, 9.0)), (B, (12.0, 9.0)), (W, (10.0, 9.0)), (B, (8.0, 11.0)),
         (B, (10.0, 11.0)), (B, (8.0, 7.0)), (B, (10.0, 7.0)), (B, (3.0, 1.0)), (B, (1.0, 3.0)), (W, (1.0, 1.0))]
    )]
    g = Game.replay(18.0, log)
    assert dead_ids(g, W) == [0, 3, 10]
    assert dead_ids(g, B) == []
    assert all(s.color == W for s in g.dead_stones(W))


def test_self_capture_is_refused():
    g = play([(3, 1), (15, 15), (1, 3)])
    before, revision = observed(g), g.revision
    with pytest.raises(cv.SelfCaptureError) as e:
        g.try_move((1.0, 1.0))
    assert str(e.value) == "a White stone at (1, 1) would capture only White's own stones"
    assert e.value.position == (1.0, 1.0) and e.value.color == W
    assert isinstance(e.value, cv.StonePlayError) and not isinstance(e.value, cv.DeltaError)
    assert observed(g) == before and g.revision == revision + 2
    assert g.validate() is None
    # The refused point is still there for Black.
    g.pass_turn()
    assert g.try_move((1.0, 1.0)).captured_stone_ids == []


def test_a_capture_that_would_also_kill_the_mover_is_a_capture():
    # White 1 and 3 guard the corner point between them; Black has closed
    # them in from outside, so that point is their last playable space.
    moves = [(5.6, 1), (3.3, 1), (1, 5.6), (1, 3.3), (3.5, 3.5), (15, 15)]
    g = play(moves)
    assert dead_ids(g, W) == [] and dead_ids(g, B) == []
    trial = Game.replay(18.0, g.deltas() + [cv.GameDelta(Stone(6, B, (1.0, 1.0)))])
    assert dead_ids(trial, W) == [1, 3] and dead_ids(trial, B) == [6]
    d = g.try_move((1.0, 1.0))
    assert d.captured_stone_ids == [1, 3] and g.captures == (2, 0)
    assert g.stone(6) == Stone(6, B, (1.0, 1.0))
    assert dead_ids(g, B) == []  # the captures give it room again
    assert g.validate() is None


def test_two_passes_end_the_game():
    g = play([(4, 4), None])
    assert g.status == GameStatus.NEXT_PASS_ENDS
    g.try_move((9.0, 9.0))
    assert g.status == GameStatus.PLAYING
    g.pass_turn()
    g.pass_turn()
    assert g.status == GameStatus.ENDED
    before, revision = observed(g), g.revision
    with pytest.raises(cv.GameOverError, match="^the game ended on two passes and takes no further turns$"):
        g.pass_turn()
    with pytest.raises(cv.GameOverError):
        g.try_move((14.0, 14.0))
    with pytest.raises(cv.GameOverError):
        g.try_move((0.0, 0.0))  # the end is checked before placeability
    assert observed(g) == before and g.revision == revision
    # Every query still answers.
    assert len(g.groups()) == 1 and g.nearest_living_move((14.0, 14.0)) == (14.0, 14.0)
    assert g.undo_move().is_pass
    assert g.status == GameStatus.NEXT_PASS_ENDS
    assert g.try_move((14.0, 14.0)).new_stone.id == 4


def test_refused_moves_change_nothing():
    g = play(CORNER)
    before, revision = observed(g), g.revision
    for p in [(0.5, 9.0), (-1.0, 9.0), (4.0, 1.5), (19.0, 19.0)]:
        with pytest.raises(cv.NotPlaceableError) as e:
            g.try_move(p)
        assert e.value.position == p
    assert observed(g) == before and g.revision == revision


# ------------------------------------------------------------ random games


def check_counters(g):
    deltas = g.deltas()
    counted = [0, 0]
    captured = set()
    for d in deltas:
        if d.new_stone is not None:
            counted[int(d.new_stone.color)] += len(d.captured_stone_ids)
        captured.update(d.captured_stone_ids)
    assert g.captures == tuple(counted)
    in_play = {s.id for s in g.stones()}
    assert not (in_play & captured)


def random_game(seed, size=18.0):
    rng = random.Random(seed)
    g = Game(size)
    refused = 0
    while refused < 50:
        p = g.nearest_living_move((rng.uniform(0.0, size), rng.uniform(0.0, size)))
        if p is None:
            break
        try:
            d = g.try_move(p)
        except (cv.SelfCaptureError, cv.NotPlaceableError):
            refused += 1
            continue
        refused = 0
        for gone in d.captured_stone_ids:
            assert g.stone(gone) is None
        check_counters(g)
        assert g.validate() is None
    g.pass_turn()
    g.pass_turn()
    assert g.status == GameStatus.ENDED
    return g


@given(seed=st.integers(0, 2**32 - 1))
@settings(max_examples=6, deadline=None)
def test_random_games_replay_exactly(seed):
    g = random_game(seed)
    assert g.captures != (0, 0) or g.turn < 20
    r = Game.replay(18.0, g.deltas())
    assert r.stones() == g.stones()
    assert r.groups() == g.groups()
    assert exact(r.territory()) == exact(g.territory())
    assert (r.turn, r.captures, r.status) == (g.turn, g.captures, g.status)
    assert r.validate() is None and g.validate() is None
    # Every ring point of every group, bit for bit.
    for a, b in zip(r.groups(), g.groups()):
        assert exact(a.rings) == exact(b.rings)


def test_a_long_random_game_undoes_to_nothing():
    g = random_game(20240611)
    assert g.turn > 60 and sum(g.captures) > 10
    while g.undo_move() is not None:
        pass
    assert observed(g) == observed(Game(18.0))
    assert g.validate() is None
    assert g.nearest_living_move((9.0, 9.0)) == (9.0, 9.0)

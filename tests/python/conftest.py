"""Helpers shared by the Python tests."""

import copy
import struct
import threading

import cellvane


# White 1 at (1, 1) in the corner, its cell cut to [0, 2]^2 and taken by
# Black's second stone.
CORNER = [(3, 1), (1, 1), (1, 3)]
# White 1 and 3 side by side at (8, 9) and (10, 9), six black stones round
# them; Black's last stone takes both at once.
PAIR = [(6, 9), (8, 9), (12, 9), (10, 9), (8, 11), (15, 15), (10, 11), (3, 15), (8, 7), (15, 3), (10, 7)]


def play(moves, size=18.0):
    """Plays the moves in order (None passes) and answers the game."""
    g = cellvane.Game(size)
    for m in moves:
        if m is None:
            g.pass_turn()
        else:
            g.try_move((float(m[0]), float(m[1])))
    return g


def exact(x):
    """Floats (also nested in tuples and lists) by their bits, so that -0.0,
    0.0 and NaN payloads are told apart."""
    if isinstance(x, float):
        return struct.pack("<d", x)
    if isinstance(x, (tuple, list)):
        return tuple(exact(v) for v in x)
    return x


def sorted_outline(svg, *, distinct=False):
    """The picture with its alive-zone outline as a sorted tuple of pieces:
    the outline of a position does not depend on the order in which its
    shapes were carved (a dead zone carved again by undo takes a new shape
    id), only the order of drawing does. With `distinct`, a piece drawn
    twice counts once."""
    lines = svg.splitlines()
    for i, line in enumerate(lines):
        if line.startswith('<path d="M ') and line.endswith('" />'):
            pieces = line[len('<path d="M ') : -len('" />')].split(" M ")
            lines[i] = tuple(sorted(set(pieces) if distinct else pieces))
    return tuple(lines)


def random_play(game, rng, turns, *, undo_share=0.0, pass_when_stuck=True, pass_on_self_capture=True):
    """Random moves snapped to placeable points, until `turns` calls or the
    end of the game. Where no point is placeable: a pass, or the end of the
    play without `pass_when_stuck`. A refused self-capture: a pass, or
    nothing without `pass_on_self_capture`. With `undo_share`, that share of
    the calls is an undo instead (drawn before the point)."""
    size = game.board_size
    for _ in range(turns):
        if game.status.has_ended():
            break
        if undo_share and rng.random() < undo_share:
            game.undo_move()
            continue
        spot = game.nearest_living_move((rng.uniform(0.0, size), rng.uniform(0.0, size)))
        if spot is None:
            if not pass_when_stuck:
                break
            game.pass_turn()
            continue
        try:
            game.try_move(spot)
        except cellvane.SelfCaptureError:
            if pass_on_self_capture:
                game.pass_turn()
    return game


class Coordinate:
    """A number whose conversion to float runs a callback first."""

    def __init__(self, value, callback):
        self.value, self.callback = value, callback
        self.calls = 0

    def __float__(self):
        self.calls += 1
        self.callback()
        return self.value


class Reader(threading.Thread):
    """Calls read() in a loop until stopped, keeping the first exception for
    stop() to raise."""

    def __init__(self, read):
        super().__init__(daemon=True)
        self.read = read
        self.reads, self.error, self.stopping = 0, None, False

    def run(self):
        try:
            while not self.stopping:
                self.read()
                self.reads += 1
        except BaseException as e:  # noqa: B036 - raised again by stop()
            self.error = e

    def stop(self):
        self.stopping = True
        self.join(timeout=120)
        assert not self.is_alive()
        if self.error is not None:
            raise self.error


def consistent_copy(game):
    """A copy taken in one call is one position: its groups hold its stones,
    its turn counts its log, and it validates. Answers the copy."""
    c = copy.copy(game)
    stones = sorted(s.id for s in c.stones())
    assert sorted(i for group in c.groups() for i in group.stone_ids) == stones
    assert c.turn == len(c.deltas()) and c.validate() is None
    return c

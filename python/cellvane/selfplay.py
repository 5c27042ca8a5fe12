"""Random self-play: games of random moves snapped to placeable points.

`python -m cellvane selfplay` and `examples/selfplay.py` play their games with
these functions. `play_out` is a plain top-level function of picklable values,
so it runs unchanged in worker processes and on distributed executors.
"""

from __future__ import annotations

import random

from cellvane import Color, Game, SelfCaptureError, StonePlayError

# A player passes after this many candidate moves in a row that it turned
# down or that the rules refused.
MAX_REFUSALS = 20


def own_territory(game: Game, color: Color, point: tuple[float, float]) -> bool:
    """Whether `point` lies in the territory of one of `color`'s groups."""
    return any(group.color == color and group.contains_point(point) for group in game.groups())


def play_out(game: Game, seed: int, max_turns: int = 1000) -> Game:
    """Plays `game` to its end with random moves: a uniform random point
    snapped to the nearest placeable position, turned down when it lies in
    the mover's own territory (filling it gains nothing). A player passes when
    the board is full or after MAX_REFUSALS turned down or refused candidates
    in a row; two passes in a row end the game. Stops early, without ending
    the game, after `max_turns` turns."""
    rng = random.Random(seed)
    size = game.board_size
    refused = 0
    while not game.status.has_ended() and game.turn < max_turns:
        spot = game.nearest_living_move((rng.uniform(0.0, size), rng.uniform(0.0, size)))
        if spot is None or refused >= MAX_REFUSALS:
            game.pass_turn()
            refused = 0
        elif own_territory(game, game.pending_color, spot):
            refused += 1
        else:
            try:
                game.try_move(spot)
                refused = 0
            except SelfCaptureError:
                refused += 1
    return game


def opening(size: float) -> Game:
    """A stone 3 from each corner, Black and White in turn; on a board too
    small for four such stones, those the rules accept."""
    game = Game(size)
    near, far = 3.0, size - 3.0
    for point in [(near, near), (far, far), (far, near), (near, far)]:
        try:
            game.try_move(point)
        except StonePlayError:
            pass
    return game

"""Plays many random games in parallel and reports their scores.

The parent plays a short opening, then hands it to worker processes with a
seed each. Games travel by pickling both ways: a `Game` pickles as its board
size and its log of turns, and unpickles by replaying that log, so each worker
gets the opening position and sends back the finished game. The parent scores
every game by territory, less komi for Black.

`play_out` is a plain top-level function taking and answering picklable
values, and `run` only needs a `concurrent.futures.Executor`, so the same code
runs on a cluster when one machine is not enough: pass the executor of a Dask
cluster (`distributed.Client(...).get_executor()`) instead of the process
pool, or, on Ray, hand `play_out` to `ray.util.multiprocessing.Pool().starmap`
or `ray.remote`.

Run with the module installed, e.g. `.venv/bin/python examples/selfplay.py`.
"""

from __future__ import annotations

import argparse
import os
import random
import sys
from collections.abc import Sequence
from concurrent.futures import Executor, ProcessPoolExecutor
from dataclasses import dataclass

import cellvane as cv

# A player passes after this many candidate moves in a row that it turned
# down or that the rules refused.
MAX_REFUSALS = 20


def own_territory(game: cv.Game, color: cv.Color, point: tuple[float, float]) -> bool:
    """Whether `point` lies in the territory of one of `color`'s groups."""
    return any(group.color == color and group.contains_point(point) for group in game.groups())


def play_out(game: cv.Game, seed: int, max_turns: int = 1000) -> cv.Game:
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
            except cv.SelfCaptureError:
                refused += 1
    return game


@dataclass(frozen=True)
class Score:
    seed: int
    turns: int
    stones: int
    captures: tuple[int, int]
    black: float
    white: float
    komi: float

    @property
    def margin(self) -> float:
        """Black's territory less White's and komi: positive when Black wins."""
        return self.black - self.white - self.komi


def score(seed: int, game: cv.Game, komi: float) -> Score:
    black, white = game.territory()
    return Score(seed, game.turn, len(game), game.captures, black, white, komi)


def run(executor: Executor, opening: cv.Game, seeds: Sequence[int]) -> list[cv.Game]:
    """Plays one game from `opening` per seed on `executor`, in seed order."""
    return list(executor.map(play_out, [opening] * len(seeds), seeds))


def opening(size: float) -> cv.Game:
    """A stone near each corner, Black and White in turn."""
    game = cv.Game(size)
    near, far = 3.0, size - 3.0
    for point in [(near, near), (far, far), (far, near), (near, far)]:
        game.try_move(point)
    return game


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0] if __doc__ else None)
    parser.add_argument("--games", type=int, default=16, help="how many games to play (default 16)")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1, help="worker processes")
    parser.add_argument("--size", type=float, default=18.0, help="board size (default 18)")
    parser.add_argument("--komi", type=float, default=0.0, help="taken from Black's territory")
    parser.add_argument("--seed", type=int, default=1, help="seed of the first game; game i uses seed + i")
    args = parser.parse_args(argv)

    start = opening(args.size)
    seeds = [args.seed + i for i in range(args.games)]
    with ProcessPoolExecutor(max_workers=args.workers) as pool:
        games = run(pool, start, seeds)

    scores = [score(seed, game, args.komi) for seed, game in zip(seeds, games)]
    print(f"{'seed':>6} {'turns':>6} {'stones':>6} {'captures':>10} {'black':>9} {'white':>9} {'margin':>9}")
    for s in scores:
        captures = f"{s.captures[0]}/{s.captures[1]}"
        print(f"{s.seed:>6} {s.turns:>6} {s.stones:>6} {captures:>10} {s.black:>9.2f} {s.white:>9.2f} {s.margin:>+9.2f}")
    black_wins = sum(1 for s in scores if s.margin > 0)
    white_wins = sum(1 for s in scores if s.margin < 0)
    mean = sum(s.margin for s in scores) / len(scores) if scores else 0.0
    print(f"{len(scores)} games: Black won {black_wins}, White won {white_wins}, mean margin {mean:+.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

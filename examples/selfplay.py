"""Plays many random games in parallel and reports their scores.

The parent plays a short opening, then hands it to worker processes with a
seed each. Games travel by pickling both ways: a `Game` pickles as its board
size and its log of turns, and unpickles by replaying that log, so each worker
gets the opening position and sends back the finished game. The parent scores
every game by territory, less komi for Black.

The games are played by the package's own self-play (`cellvane.selfplay`,
which `python -m cellvane selfplay` uses too): its `play_out` is a plain
top-level function taking and answering picklable values, and `run` only
needs a `concurrent.futures.Executor`, so the same code runs on a cluster
when one machine is not enough: pass the executor of a Dask cluster
(`distributed.Client(...).get_executor()`) instead of the process pool, or,
on Ray, hand `play_out` to `ray.util.multiprocessing.Pool().starmap` or
`ray.remote`.

Run with the module installed, e.g. `.venv/bin/python examples/selfplay.py`.
"""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Sequence
from concurrent.futures import Executor, ProcessPoolExecutor
from dataclasses import dataclass

import cellvane as cv
from cellvane.selfplay import opening, play_out


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

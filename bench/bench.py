"""Timings of the calls a bot or a server makes most, through the Python
module: a move tried and taken back, a whole random game, the group and
territory questions on a position nobody has asked about yet, the replay
of a long log, and two games played in two threads at once.

Run with the module importable, e.g. `.venv/bin/python bench/bench.py`.
Every figure is the median over repeats, measured with time.perf_counter.
"""

import argparse
import random
import statistics
import threading
import time

import cellvane
from cellvane import Game


def play_randomly(game, rng, stones=None, turns=None):
    """Random play: a uniform point snapped to the nearest placeable spot.
    Stops at `stones` stones in play, after `turns` turns, or when the board
    is full. A self-capture is answered by a pass."""
    size = game.board_size
    played = 0
    while (stones is None or len(game) < stones) and (turns is None or played < turns):
        if game.status.has_ended():
            break
        spot = game.nearest_living_move((rng.uniform(0.0, size), rng.uniform(0.0, size)))
        if spot is None:
            break
        try:
            game.try_move(spot)
        except cellvane.SelfCaptureError:
            game.pass_turn()
        played += 1
    return game


def median_seconds(action, repeats, setup=None):
    samples = []
    for _ in range(repeats):
        state = setup() if setup else None
        start = time.perf_counter()
        action(state)
        samples.append(time.perf_counter() - start)
    return statistics.median(samples)


def try_and_undo(game, spots):
    """try_move at each spot, each accepted move taken back at once."""
    for spot in spots:
        try:
            game.try_move(spot)
        except cellvane.SelfCaptureError:
            continue
        game.undo_move()


def bench_try_undo(size, stones, seed, probes, repeats):
    """try_move followed by undo_move at placeable points of one position."""
    rng = random.Random(seed)
    game = play_randomly(Game(size), rng, stones=stones, turns=stones * 4)
    spots = []
    while len(spots) < probes:
        spot = game.nearest_living_move((rng.uniform(0.0, size), rng.uniform(0.0, size)))
        if spot is None:
            break
        spots.append(spot)

    per_call = median_seconds(lambda _: try_and_undo(game, spots), repeats) / max(len(spots), 1)
    return f"try_move + undo_move, {len(game)} stones, board {size:g}", per_call, f"{len(spots)} points"


def bench_full_game(size, seed, repeats):
    """A random game from the empty board until no point is placeable."""
    lengths = []

    def run(_):
        game = play_randomly(Game(size), random.Random(seed))
        lengths.append(game.turn)

    seconds = median_seconds(run, repeats)
    return f"full random game, board {size:g}", seconds, f"{lengths[-1]} turns"


def bench_queries(size, stones, seed, repeats, batch=50):
    """groups() and territory() on a position whose analysis is not yet
    computed, then on one whose analysis is memoized. Each sample times
    `batch` calls, so the figures are per call.

    A fresh position is a replay of the game's log: play itself leaves the
    analysis of the last trial placement memoized, and copies carry it."""
    game = play_randomly(Game(size), random.Random(seed), stones=stones, turns=stones * 4)
    deltas = game.deltas()

    def per_call(method, fresh):
        def setup():
            return [Game.replay(size, deltas) for _ in range(batch)] if fresh else [game] * batch

        def run(games):
            for g in games:
                method(g)

        return median_seconds(run, repeats, setup=setup) / batch

    fresh_groups = per_call(Game.groups, fresh=True)
    fresh_territory = per_call(Game.territory, fresh=True)
    game.groups()
    warm_groups = per_call(Game.groups, fresh=False)
    warm_territory = per_call(Game.territory, fresh=False)
    label = f"{len(game)} stones, board {size:g}"
    count = f"{len(game.groups())} groups"
    return [
        (f"groups(), fresh position, {label}", fresh_groups, count),
        (f"territory(), fresh position, {label}", fresh_territory, ""),
        (f"groups(), analysis memoized, {label}", warm_groups, count),
        (f"territory(), analysis memoized, {label}", warm_territory, ""),
    ]


def long_log(length, seed):
    """A log of `length` deltas from random play on a board large enough not
    to fill up first."""
    rng = random.Random(seed)
    game = Game(80.0)
    play_randomly(game, rng, turns=length)
    deltas = game.deltas()
    assert len(deltas) == length, len(deltas)
    return game.board_size, deltas


def bench_replay(length, seed, repeats):
    size, deltas = long_log(length, seed)
    seconds = median_seconds(lambda _: Game.replay(size, deltas), repeats)
    return f"replay of a {length}-delta log, board {size:g}", seconds, ""


def bench_two_threads(name, make_work, repeats):
    """Two games worked on in two threads at once, against the same work done
    one game after the other in one thread: the ratio of the wall times
    (0.5 when the two run wholly in parallel, 1.0 when not at all). Each
    repeat times both ways, alternately; the medians are compared."""
    alone, together = [], []
    for _ in range(repeats):
        works = [make_work(), make_work()]
        start = time.perf_counter()
        for work in works:
            work()
        alone.append(time.perf_counter() - start)
        works = [make_work(), make_work()]
        threads = [threading.Thread(target=work) for work in works]
        start = time.perf_counter()
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        together.append(time.perf_counter() - start)
    a, t = statistics.median(alone), statistics.median(together)
    return f"two games in two threads / one after the other, {name}", t / a, f"{a * 1e3:.0f} ms one after the other"


def two_random_games(size, seed, games=20):
    """Work: `games` whole random games from the empty board, one after the
    other."""

    def make():
        def work():
            for i in range(games):
                play_randomly(Game(size), random.Random(seed + i))

        return work

    return make


def two_probed_boards(stones, seed, probes=100):
    """Work: try_move + undo_move at placeable points of a board of `stones`
    random stones (one position, copied for each game)."""
    rng = random.Random(seed)
    size = (stones * 8.0) ** 0.5
    game = play_randomly(Game(size), rng, stones=stones, turns=stones * 4)
    spots = [game.nearest_living_move((rng.uniform(0.0, size), rng.uniform(0.0, size))) for _ in range(probes)]

    def make():
        g = game.__copy__()
        return lambda: try_and_undo(g, spots)

    return make


def human(seconds):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:8.2f} {unit}"
    return f"{seconds / 1e-9:8.0f} ns"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=7, help="repeats per figure (median taken)")
    parser.add_argument("--seed", type=int, default=2024)
    args = parser.parse_args()
    r, seed = args.repeats, args.seed

    rows = [
        bench_try_undo(18.0, 25, seed, probes=40, repeats=r),
        bench_try_undo(18.0, 50, seed, probes=40, repeats=r),
        bench_try_undo(25.5, 100, seed, probes=40, repeats=r),
        bench_full_game(18.0, seed, repeats=max(3, r // 2)),
        *bench_queries(18.0, 50, seed, repeats=r),
        *bench_queries(25.5, 100, seed, repeats=r),
        bench_replay(1000, seed, repeats=r),
    ]
    ratios = [
        bench_two_threads("20 random games on 18 each", two_random_games(18.0, seed), repeats=r),
        bench_two_threads("try_move + undo_move, 1,000 stones", two_probed_boards(1000, seed), repeats=r),
    ]
    width = max(len(name) for name, _, _ in rows + ratios)
    print(f"cellvane {cellvane.version()}, median of {r} repeats")
    print(f"{'what':<{width}}  {'time':>11}  note")
    for name, seconds, note in rows:
        print(f"{name:<{width}}  {human(seconds)}  {note}")
    for name, ratio, note in ratios:
        print(f"{name:<{width}}  {ratio:9.2f} x  {note}")


if __name__ == "__main__":
    main()

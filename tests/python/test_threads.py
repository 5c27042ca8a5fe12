"""Threads, signals and memory: a game used from several threads at once,
engine work that lets other threads run and stops on a signal, and calls that
run out of memory in a process with little address space left."""

import contextlib
import gc
import itertools
import math
import os
import random
import signal
import subprocess
import sys
import textwrap
import threading
import time

import pytest
from conftest import Coordinate, Reader, consistent_copy, random_play

import cellvane as cv
from cellvane import Color, Game, GameDelta, Stone

B = Color.BLACK
# The sanitized module checks the whole board after every change, which makes
# a replay's cost grow with the square of the log and more: its runs play
# smaller piles and skip the large board.
SANITIZED = bool(os.environ.get("CELLVANE_SANITIZED"))
PILE = 100 if SANITIZED else 400


def piled_log(stones, seed=1):
    """Black stones at uniform points of the disc of radius 1 round the
    centre of an 18 board: every dead zone crosses every other, so the
    replay's cost grows with the square of the log."""
    rng = random.Random(seed)
    log = []
    for i in range(stones):
        r, a = math.sqrt(rng.random()), rng.uniform(0.0, 2.0 * math.pi)
        log.append(GameDelta(Stone(i, B, (9.0 + r * math.cos(a), 9.0 + r * math.sin(a)))))
    return log


def grid_log(per_side, seed=1):
    """per_side**2 stones on a jittered grid 3 apart, colours at random, with
    room for a stone in the middle of every square of four: a large board
    in play's density, built without a search for room."""
    rng = random.Random(seed)
    log = []
    for i in range(per_side * per_side):
        x, y = 2.0 + 3.0 * (i % per_side), 2.0 + 3.0 * (i // per_side)
        colour = Color.WHITE if rng.random() < 0.5 else B
        log.append(GameDelta(Stone(i, colour, (x + rng.uniform(-0.05, 0.05), y + rng.uniform(-0.05, 0.05)))))
    return 3.0 * per_side + 1.0, log


def test_threads_share_a_game_one_call_at_a_time():
    # One thread plays and takes back moves while others read the same game
    # and finalisers that read it run inside everyone's calls: no call fails
    # because another thread holds the game, and every read sees a whole
    # position. A finaliser that reads the game inside its own thread's change
    # is refused, as re-entry is.
    g = random_play(Game(18.0), random.Random(3), 30)
    refused = []

    class Litter:
        def __init__(self):
            self.cycle = self

        def __del__(self):
            try:
                g.turn
            except RuntimeError as e:
                refused.append(str(e))

    def read():
        Litter()
        consistent_copy(g)
        g.groups(), len(g), g.stones(), g.territory()

    threshold = gc.get_threshold()
    gc.set_threshold(50)
    readers = [Reader(read) for _ in range(2)]
    try:
        for r in readers:
            r.start()
        rng = random.Random(4)
        for _ in range(150):
            Litter()
            turn = g.turn
            p = g.nearest_living_move((rng.uniform(0, 18), rng.uniform(0, 18)))
            try:
                delta = g.try_move(p)
            except cv.StonePlayError:
                assert g.turn == turn
                continue
            assert g.turn == turn + 1 and g.deltas()[-1] == delta
            if rng.random() < 0.5:
                assert g.undo_move() == delta and g.turn == turn
    finally:
        gc.set_threshold(*threshold)
        for r in readers:
            r.stop()
    assert all(r.reads > 0 for r in readers)
    assert set(refused) <= {"Already mutably borrowed"}
    assert g.validate() is None
    assert Game.replay(18.0, g.deltas()).stones() == g.stones()


def test_threads_waiting_for_each_others_games_are_refused_not_hung():
    # Each thread holds its own game (in the middle of converting a
    # position) and asks for the other's: the second to ask would wait for
    # ever, and is refused; the first waits for the other's move to end.
    games = [Game(18.0), Game(18.0)]
    both_holding = threading.Barrier(2, timeout=30)
    outcomes = {}

    def play(i):
        def ask_the_other():
            both_holding.wait()
            try:
                outcomes[i] = games[1 - i].turn
            except RuntimeError as e:
                outcomes[i] = str(e)

        games[i].try_move((Coordinate(4.0, ask_the_other), 4.0))

    threads = [threading.Thread(target=play, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=60)
    assert not any(t.is_alive() for t in threads)
    assert sorted(map(str, outcomes.values())) == [
        "1",
        "the game is held by a thread that waits for a game this thread holds",
    ]
    assert [g.turn for g in games] == [1, 1]


def ticks_per_second(action, seconds=None):
    """How often a thread that wakes every millisecond gets to run while
    `action()` runs (or while the main thread sleeps `seconds`)."""
    ticks, stop = [], threading.Event()

    def tick():
        while not stop.is_set():
            ticks.append(time.perf_counter())
            time.sleep(0.001)

    ticker = threading.Thread(target=tick)
    ticker.start()
    time.sleep(0.05)
    start = time.perf_counter()
    if action is None:
        time.sleep(seconds)
    else:
        action()
    end = time.perf_counter()
    stop.set()
    ticker.join()
    return sum(start <= t <= end for t in ticks) / (end - start), end - start


def test_engine_work_lets_other_threads_run():
    # A replay holds the interpreter lock only to read its log: a ticking
    # thread keeps most of its pace meanwhile (one replay on its own held the
    # lock for its whole length).
    log = piled_log(PILE)
    during, seconds = ticks_per_second(lambda: Game.replay(18.0, log))
    idle, _ = ticks_per_second(None, seconds)
    assert during > 0.3 * idle, (during, idle, seconds)


class Endless:
    """A sequence with no length whose every item is `item`."""

    def __init__(self, item):
        self.item = item

    def __getitem__(self, i):
        return self.item


class Interrupted(Exception):
    """What the test's signal handler raises, as Ctrl-C's raises
    KeyboardInterrupt."""


@contextlib.contextmanager
def alarm_every(seconds):
    """SIGALRM every `seconds`; its handler raises Interrupted while
    armed[0] is true (once per arming)."""
    armed = [False]

    def handler(signum, frame):
        if armed[0]:
            armed[0] = False
            raise Interrupted

    old = signal.signal(signal.SIGALRM, handler)
    signal.setitimer(signal.ITIMER_REAL, seconds, seconds)
    try:
        yield armed
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, old)


def interrupted(armed, call):
    """Calls call() armed: answers how long after the start it was stopped
    by Interrupted, or None when it finished."""
    start = time.perf_counter()
    try:
        try:
            armed[0] = True
            call()
        finally:
            armed[0] = False
        return None
    except Interrupted:
        return time.perf_counter() - start


@pytest.mark.skipif(not hasattr(signal, "setitimer"), reason="needs interval timers")
def test_a_signal_stops_long_work_and_waits():
    log = piled_log(PILE)
    start = time.perf_counter()
    Game.replay(18.0, log)
    whole = time.perf_counter() - start
    endless = Stone(0, B, (4.0, 4.0))
    with alarm_every(whole / 20) as armed:
        # A replay, and the reading of a log, of a capture list and of a
        # group's stones that never end, stop well before they would end.
        assert interrupted(armed, lambda: Game.replay(18.0, log)) < 0.5 * whole
        for reading in [
            lambda: GameDelta(None, range(10**12)),
            lambda: Game.replay(18.0, Endless(GameDelta())),
            lambda: cv.Group._from_state(B, itertools.repeat(endless), []),
        ]:
            assert interrupted(armed, reading) is not None

    # A wait for a game that another thread holds ends on the signal too.
    held, release = threading.Event(), threading.Event()
    game = Game(18.0)

    def hold():
        game.try_move((Coordinate(4.0, lambda: (held.set(), release.wait(60))), 4.0))

    holder = threading.Thread(target=hold)
    holder.start()
    assert held.wait(60)
    with alarm_every(0.01) as armed:
        assert interrupted(armed, lambda: game.turn) is not None
    release.set()
    holder.join(60)
    assert game.turn == 1


@pytest.mark.skipif(not hasattr(signal, "setitimer"), reason="needs interval timers")
@pytest.mark.skipif(SANITIZED, reason="the board checked after every change makes a large board too slow")
def test_a_signal_stops_moves_and_queries_and_leaves_nothing_behind():
    # Moves and queries on a board large enough to be stopped part way (a
    # move takes a tenth of a second and more): a stopped move leaves the game
    # exactly as it was, unless the signal came as the move ended; a stopped
    # query keeps no memo.
    size, log = grid_log(200)
    g = Game.replay(size, log)
    rng = random.Random(5)
    inside = 0

    def move(p):
        with contextlib.suppress(cv.StonePlayError):
            g.try_move(p)

    def state():
        return g.deltas(), g.revision, g.captures

    def ended(before, p):
        deltas, revision, _ = state()
        if deltas == before[0]:  # refused as a self-capture
            return revision == before[1] + 2
        return deltas[:-1] == before[0] and deltas[-1].new_stone.position == p and revision == before[1] + 3

    with alarm_every(0.004) as armed:
        for _ in range(8):
            p = g.nearest_living_move((rng.uniform(0, size), rng.uniform(0, size)))
            before = state()
            if interrupted(armed, lambda: move(p)) is not None and state() == before:
                inside += 1
            else:
                assert ended(before, p)
            if len(g.deltas()) > len(before[0]):
                g.undo_move()
            interrupted(armed, g.groups)
            interrupted(armed, lambda: g.dead_stones(B))
    assert inside >= 1
    fresh = Game.replay(size, g.deltas())
    assert g.groups() == fresh.groups() and g.dead_stones(B) == fresh.dead_stones(B)
    assert g.validate() is None


@pytest.mark.skipif(SANITIZED, reason="the sanitizer's allocator ignores the address-space limit")
def test_running_out_of_memory_raises_memory_error_and_the_process_goes_on():
    # A child process with little address space to spare. A pickle of a few
    # hundred kilobytes unpickles into thousands of piled stones, whose
    # outlines would need gigabytes; a group's stones that never end; a
    # capture list as long as a range; then a query and a move on a large
    # board that run out part way. Each raises MemoryError, the game the
    # query ran on is as it was, and the move's game is as it was or refuses
    # every later call.
    code = textwrap.dedent(
        """
        import itertools, pickle, resource, sys
        sys.path.insert(0, sys.argv[1])
        import cellvane as cv
        from test_threads import grid_log, piled_log

        def used():
            with open("/proc/self/statm") as f:
                return int(f.read().split()[0]) * resource.getpagesize()

        def limit(spare):
            resource.setrlimit(resource.RLIMIT_AS, (used() + spare, resource.RLIM_INFINITY))

        def outcome(call):
            try:
                call()
                return "done"
            except MemoryError:
                return "MemoryError"

        class Pile:
            # Pickles as a game of piled stones would: its log, replayed.
            def __reduce__(self):
                return (cv.Game.replay, (18.0, piled_log(3200)))

        pile = pickle.dumps(Pile())
        size, big = grid_log(120)
        board = cv.Game.replay(size, big)
        fresh = cv.Game.replay(size, big)
        stone = cv.Stone(0, cv.Color.BLACK, (4.0, 4.0))
        print(len(pile) // 1024, "KB")
        limit(200 * 2**20)
        print(outcome(lambda: pickle.loads(pile)))
        print(outcome(lambda: cv.Group._from_state(cv.Color.BLACK, itertools.repeat(stone), [])))
        print(outcome(lambda: cv.GameDelta(None, range(10**12))))
        limit(2 * 2**20)
        print(outcome(board.groups))
        moved = outcome(lambda: board.try_move(board.nearest_living_move((size / 2, size / 2))))
        print(moved)
        limit(2**40)
        try:
            if moved == "done":
                board.undo_move()
            same = board.groups() == fresh.groups() and board.deltas() == fresh.deltas()
            print("as it was" if same and board.validate() is None else "changed")
        except RuntimeError as e:
            print("unusable" if "can no longer be used" in str(e) else e)
        print(cv.Game.replay(18.0, piled_log(20)).validate())
        """
    )
    here = os.path.dirname(os.path.abspath(__file__))
    out = subprocess.run([sys.executable, "-c", code, here], capture_output=True, text=True, timeout=600)
    assert out.returncode == 0, out.stderr
    lines = out.stdout.split("\n")
    assert int(lines[0].split()[0]) < 1024, lines[0]  # a small pickle
    assert lines[1:5] == ["MemoryError"] * 4, out.stdout
    assert lines[5] in ("MemoryError", "done"), out.stdout
    assert lines[6] in ("as it was", "unusable"), out.stdout
    assert lines[7] == "None", out.stdout


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")
def test_a_game_held_by_another_thread_at_a_fork_is_refused_in_the_child():
    # The thread that held the game is not in the child, and the board may be
    # half changed there: the child is refused rather than left waiting.
    code = textwrap.dedent(
        """
        import os, sys, threading
        sys.path.insert(0, sys.argv[1])
        import cellvane as cv
        from conftest import Coordinate

        g = cv.Game(18.0)
        held, release = threading.Event(), threading.Event()
        holder = threading.Thread(
            target=lambda: g.try_move((Coordinate(4.0, lambda: (held.set(), release.wait(60))), 4.0))
        )
        holder.start()
        held.wait(60)
        pid = os.fork()
        if pid == 0:
            try:
                print("child", g.turn)
            except RuntimeError as e:
                print("child", e)
            other = cv.Game(18.0)
            print("child", other.try_move((4.0, 4.0)).new_stone.id, flush=True)
            os._exit(0)
        os.waitpid(pid, 0)
        release.set()
        holder.join(60)
        print("parent", g.turn)
        """
    )
    here = os.path.dirname(os.path.abspath(__file__))
    out = subprocess.run([sys.executable, "-W", "ignore", "-c", code, here], capture_output=True, text=True, timeout=120)
    assert out.returncode == 0, out.stderr
    assert out.stdout.splitlines() == [
        "child the game was in use by another thread when this process was forked, and cannot be used in this process",
        "child 0",
        "parent 1",
    ]

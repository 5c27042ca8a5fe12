"""The performance table: the turn operations on played and scattered boards,
a whole random game, replay of a long log, memory per stone, the position
questions against scipy + shapely, triangulation, replay of overlapping
clusters, and replay of a log that captures many stones at once and of one
whose stones lie far from the origin, each at two sizes.

Run through `bash bench/run.sh` (which builds the module, the C++ benchmark
and installs bench/requirements.txt), or directly with the module importable:

    .venv/bin/python bench/table.py [--json] [--repeats N] [--cap SECONDS]
                                    [--cpp build/bench/cellvane_bench]

Every row runs in a child process of its own, under a time cap (and the
cluster rows under a memory cap); a row that runs over prints what it
measured before the cap (the cap counts wall-clock time). Figures are
medians over the repeats of the CPU time of the measuring process (user and
system), so that other work on a shared machine counts less than it would in
wall-clock time; engine-alone figures are the C++ benchmark binary's CPU
times on the very same work (the table writes each row's position, probes
or game as a script the binary replays), and the memory figure is what the
C allocator holds for the board.
"""

import argparse
import ctypes
import gc
import json
import math
import os
import random
import resource
import statistics
import subprocess
import sys
import tempfile
import time

# CPU time of this process, user and system.
clock = time.process_time

# --------------------------------------------------------------- positions


def snapped(game, rng):
    """A uniform point of the board snapped to the nearest placeable point."""
    size = game.board_size
    return game.nearest_living_move((rng.uniform(0.0, size), rng.uniform(0.0, size)))


def random_play(game, rng, stones=None):
    """Random play: snapped random points, refused moves skipped, until
    `stones` stones are in play, 50 moves in a row are refused, or nothing is
    placeable. Answers whether the board filled up (as opposed to reaching
    `stones`)."""
    import cellvane

    refused = 0
    while stones is None or len(game) < stones:
        if refused >= 50:
            return True
        spot = snapped(game, rng)
        if spot is None:
            return True
        try:
            game.try_move(spot)
            refused = 0
        except (cellvane.SelfCaptureError, cellvane.NotPlaceableError):
            refused += 1
    return False


AREA_PER_STONE = 8.0


def scattered_log(stones, seed):
    """A log of `stones` stones scattered at random on a board of side
    sqrt(stones * 8): uniform points kept when placeable (at least 1 from
    every edge and 2 from every stone kept so far), black or white by the
    parity of the count kept so far, no captures; about 70% of the density at
    which random placement jams.
    Stones of dead groups are then taken out and the count refilled the same
    way until no group is dead, as on a board that play reached: a move
    captures nothing far away. Answers the board size and the deltas."""
    import cellvane as cv

    size = math.sqrt(stones * AREA_PER_STONE)
    rng = random.Random(seed)
    cells = {}
    kept = []

    def fill():
        while len(kept) < stones:
            x, y = rng.uniform(1.0, size - 1.0), rng.uniform(1.0, size - 1.0)
            cx, cy = int(x / 2.0), int(y / 2.0)
            if any(
                (qx - x) ** 2 + (qy - y) ** 2 < 4.0
                for gx in (cx - 1, cx, cx + 1)
                for gy in (cy - 1, cy, cy + 1)
                for qx, qy in cells.get((gx, gy), ())
            ):
                continue
            cells.setdefault((cx, cy), []).append((x, y))
            kept.append((x, y, cv.Color.BLACK if len(kept) % 2 == 0 else cv.Color.WHITE))

    def log():
        return [cv.GameDelta(cv.Stone(i, c, (x, y)), []) for i, (x, y, c) in enumerate(kept)]

    while True:
        fill()
        game = cv.Game.replay(size, log())
        dead = {s.id for c in (cv.Color.BLACK, cv.Color.WHITE) for s in game.dead_stones(c)}
        if not dead:
            return size, log()
        for i in sorted(dead, reverse=True):
            x, y, _ = kept.pop(i)
            cells[(int(x / 2.0), int(y / 2.0))].remove((x, y))


def cluster_log(stones, seed):
    """`stones` black stones at uniform points of the disc of radius 1 round
    the centre of an 18 board: every dead zone crosses every other."""
    import cellvane as cv

    rng = random.Random(seed)
    deltas = []
    for i in range(stones):
        r, a = math.sqrt(rng.random()), rng.uniform(0.0, 2.0 * math.pi)
        deltas.append(cv.GameDelta(cv.Stone(i, cv.Color.BLACK, (9.0 + r * math.cos(a), 9.0 + r * math.sin(a))), []))
    return 18.0, deltas


def captured_log(stones):
    """A log that captures `stones` stones at once, then places as many
    elsewhere: black stones three apart in rows across the top of a 1,589
    board, one white stone in the far corner that takes them all (leaving a
    forced eye at each), then white stones three apart in rows below them,
    clear of every forced eye. Answers the board size and the deltas."""
    import cellvane as cv

    size = 1589.0
    per_row = int((size - 4.0) // 3.0)
    rows = (stones + per_row - 1) // per_row

    def at(i, top):
        return (2.0 + (i % per_row) * 3.0, top + (i // per_row) * 3.0)

    deltas = [cv.GameDelta(cv.Stone(i, cv.Color.BLACK, at(i, 2.0)), []) for i in range(stones)]
    deltas.append(cv.GameDelta(cv.Stone(stones, cv.Color.WHITE, (size - 2.0, size - 2.0)), list(range(stones))))
    below = 2.0 + rows * 3.0 + 3.0
    deltas += [cv.GameDelta(cv.Stone(stones + 1 + i, cv.Color.WHITE, at(i, below)), []) for i in range(stones)]
    return size, deltas


def far_log(stones):
    """A log of `stones` black stones three apart in rows of 200, all more
    than 3e9 from the origin, on a board of side 4e9. Answers the board size
    and the deltas."""
    import cellvane as cv

    deltas = [
        cv.GameDelta(cv.Stone(i, cv.Color.BLACK, (3e9 + (i % 200) * 3.0, 3e9 + (i // 200) * 3.0)), [])
        for i in range(stones)
    ]
    return 4e9, deltas


def played_game(size, stones, seed):
    import cellvane as cv

    game = cv.Game(size)
    random_play(game, random.Random(seed), stones=stones)
    return game


# ------------------------------------------------------ engine-alone scripts


class RecordingRandom(random.Random):
    """A random source that keeps every uniform number it hands out, so that
    the aims of a random game can be written down."""

    def __init__(self, seed):
        super().__init__(seed)
        self.drawn = []

    def uniform(self, a, b):
        value = super().uniform(a, b)
        self.drawn.append(value)
        return value


def script_text(size, deltas=(), spots=(), game=()):
    """A row's work in the script form bench/engine_bench.cpp reads: the
    board size, the position's log, then the probes of a timed cycle or the
    turns of a timed game (a point to aim at, or None for a pass)."""
    import cellvane as cv

    h = float.hex
    lines = [f"size {h(size)}"]
    for delta in deltas:
        stone = delta.new_stone
        if stone is None:
            head = "pass"
        else:
            x, y = stone.position
            head = f"{h(x)} {h(y)} {stone.id} {0 if stone.color == cv.Color.BLACK else 1}"
        lines.append(" ".join(["delta", head] + [str(i) for i in delta.captured_stone_ids]))
    lines += [f"probe {h(x)} {h(y)}" for x, y in spots]
    lines += ["pass" if aim is None else f"aim {h(aim[0])} {h(aim[1])}" for aim in game]
    return "\n".join(lines) + "\n"


def played_script(size, stones, seed):
    game = played_game(size, stones, seed)
    return script_text(game.board_size, game.deltas(), probes(game, 40, seed + 1))


def game_script(seed):
    import cellvane as cv

    rng = RecordingRandom(seed)
    random_play(cv.Game(18.0), rng)
    aims = list(zip(rng.drawn[0::2], rng.drawn[1::2]))
    return script_text(18.0, game=aims + [None, None])


def scaled_script(stones, seed):
    import cellvane as cv

    size, deltas = scattered_log(stones, seed)
    return script_text(size, deltas, probes(cv.Game.replay(size, deltas), 40, seed + 1))


# ----------------------------------------------------------------- helpers


def median_of(samples):
    return statistics.median(samples)


def probes(game, count, seed):
    rng = random.Random(seed)
    out = []
    for _ in range(count * 10):
        if len(out) == count:
            break
        spot = snapped(game, rng)
        if spot is not None:
            out.append(spot)
    return out


def time_try_undo(game, spots, repeats, report=None):
    """Seconds per try_move (and undo_move when it was committed), median of
    `repeats` passes over the spots. Answers also the share accepted. After
    each pass, report(median so far, share, passes) if given, so that a row
    stopped by the cap still shows what it measured."""
    import cellvane

    samples = []
    accepted = 0
    for _ in range(repeats):
        if report and samples:
            report(median_of(samples), accepted / len(spots), len(samples))
        accepted = 0
        start = clock()
        for spot in spots:
            try:
                game.try_move(spot)
            except (cellvane.SelfCaptureError, cellvane.NotPlaceableError):
                continue
            accepted += 1
            game.undo_move()
        samples.append((clock() - start) / len(spots))
    return median_of(samples), accepted / len(spots)


def malloc_in_use():
    """Bytes the C allocator has handed out and not taken back (glibc)."""

    class Mallinfo2(ctypes.Structure):
        _fields_ = [
            (name, ctypes.c_size_t)
            for name in ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks", "keepcost")
        ]

    libc = ctypes.CDLL(None)
    libc.mallinfo2.restype = Mallinfo2
    info = libc.mallinfo2()
    return info.uordblks + info.hblkhd


def status_kb(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field):
                return int(line.split()[1])
    return 0


def emit(row):
    """A child's partial or final result, one JSON line; the parent keeps the
    last line it read."""
    print(json.dumps(row), flush=True)


# ------------------------------------------------------------------- rows


def row_played(args, size, stones):
    game = played_game(size, stones, args.seed)
    spots = probes(game, 40, args.seed + 1)
    per_call, share = time_try_undo(game, spots, args.repeats)
    emit({"value": per_call * 1e6, "unit": "us", "note": f"{len(game)} stones, {len(spots)} points, {share:.0%} accepted"})


def row_game(args):
    import cellvane as cv

    samples = []
    turns = stones = 0
    for _ in range(max(3, args.repeats)):
        start = clock()
        game = cv.Game(18.0)
        random_play(game, random.Random(args.seed))
        game.pass_turn()
        game.pass_turn()
        samples.append(clock() - start)
        turns, stones = game.turn, len(game)
    emit({"value": median_of(samples) * 1e3, "unit": "ms", "note": f"{turns} turns, {stones} stones at the end"})


def row_scaled(args, stones):
    import cellvane as cv

    size, deltas = scattered_log(stones, args.seed)
    game = cv.Game.replay(size, deltas)
    spots = probes(game, 40, args.seed + 1)

    def report(per_call, share, passes):
        note = f"board {size:.1f}, {len(spots)} points, {share:.0%} accepted, median of {passes}"
        emit({"value": per_call * 1e6, "unit": "us", "note": note})

    per_call, share = time_try_undo(game, spots, args.repeats, report)
    emit({"value": per_call * 1e6, "unit": "us", "note": f"board {size:.1f}, {len(spots)} points, {share:.0%} accepted"})


def replay_times(args, size, deltas, note):
    """Seconds per Game.replay of the log, median of the repeats so far after
    each, with `note` in front of the count."""
    import cellvane as cv

    samples = []
    for done in range(max(3, args.repeats)):
        start = clock()
        cv.Game.replay(size, deltas)
        samples.append(clock() - start)
        emit({"value": median_of(samples), "unit": "s", "note": f"{note}, median of {done + 1}"})


def row_replay(args):
    size, deltas = scattered_log(10000, args.seed)
    replay_times(args, size, deltas, f"board {size:.1f}")


def row_log_replay(args, log, stones):
    size, deltas = log(stones)
    replay_times(args, size, deltas, f"{len(deltas)} turns")


def row_memory(args):
    import cellvane as cv

    size, deltas = scattered_log(10000, args.seed)
    gc.collect()
    before = malloc_in_use()
    game = cv.Game.replay(size, deltas)
    gc.collect()
    used = malloc_in_use() - before
    emit({"value": used / len(game) / 1024.0, "unit": "KB", "note": f"{used / 2**20:.1f} MB for {len(game)} stones"})


def reference_territory(size, centres, colours):
    """The same questions answered with scipy and shapely: the Voronoi diagram
    of the stones and four far frame points, cells clipped to the board,
    same-coloured neighbours whose shared edge reaches the board joined into
    groups, each group's cells united, areas summed by colour."""
    import numpy as np
    import shapely
    from scipy.spatial import Voronoi

    n = len(centres)
    b = size
    frame = [(-7 * b, 0.5 * b), (8 * b, 0.5 * b), (0.5 * b, -7 * b), (0.5 * b, 8 * b)]
    vor = Voronoi(np.array(centres + frame))
    board = shapely.box(0.0, 0.0, b, b)
    cells = shapely.intersection(
        [shapely.Polygon(vor.vertices[vor.regions[vor.point_region[i]]]) for i in range(n)], board
    )
    parent = list(range(n))

    def root(i):
        while parent[i] != i:
            parent[i] = parent[parent[i]]
            i = parent[i]
        return i

    pairs = [
        (p, q, r)
        for (p, q), r in zip(vor.ridge_points, vor.ridge_vertices)
        if p < n and q < n and colours[p] == colours[q] and -1 not in r
    ]
    if pairs:
        edges = shapely.linestrings([vor.vertices[r] for _, _, r in pairs])
        touching = shapely.length(shapely.intersection(edges, board)) > 0
        for (p, q, _), joined in zip(pairs, touching):
            if joined:
                parent[root(p)] = root(q)
    members = {}
    for i in range(n):
        members.setdefault(root(i), []).append(i)
    shares = [0.0, 0.0]
    for group in members.values():
        shares[colours[group[0]]] += shapely.union_all(cells[group]).area
    return shares


def row_versus(args, which):
    import cellvane as cv

    if which == 100:
        game = played_game(25.5, 100, args.seed)
        size, deltas = game.board_size, game.deltas()
    else:
        size, deltas = scattered_log(1000, args.seed)
    board = cv.Game.replay(size, deltas)
    stones = board.stones()
    centres = [s.position for s in stones]
    colours = [0 if s.color == cv.Color.BLACK else 1 for s in stones]
    ours, theirs = [], []
    agree = 0.0
    for _ in range(max(5, args.repeats)):
        fresh = cv.Game.replay(size, deltas)  # no analysis memoized yet
        start = clock()
        fresh.groups()
        black, white = fresh.territory()
        ours.append(clock() - start)
        start = clock()
        ref = reference_territory(size, centres, colours)
        theirs.append(clock() - start)
        agree = max(agree, abs(ref[0] - black), abs(ref[1] - white))
    ratio = median_of(theirs) / median_of(ours)
    emit(
        {
            "value": ratio,
            "unit": "x",
            "note": f"{len(stones)} stones: {median_of(ours) * 1e6:.0f} us against {median_of(theirs) * 1e3:.2f} ms;"
            f" areas differ by {agree:.1e}",
        }
    )


def row_cluster(args, stones):
    import cellvane as cv

    size, deltas = cluster_log(stones, args.seed)
    gc.collect()
    before = status_kb("VmRSS:")
    start = clock()
    cv.Game.replay(size, deltas)
    seconds = clock() - start
    peak = (status_kb("VmHWM:") - before) / 1024.0
    emit({"value": seconds, "unit": "s", "peak_mb": peak, "note": f"peak {peak:.0f} MB above the start"})


# Each row: key, label, target, child runner, and the engine-alone figure's
# source: a C++ benchmark name, a maker of the row's script (called with the
# seed), or None.
ROWS = [
    ("try_undo_55_18", "try_move+undo_move, 55 stones on 18 (random play)", "45 us",
     lambda a: row_played(a, 18.0, 55), lambda seed: played_script(18.0, 55, seed)),
    ("try_undo_100_25.5", "try_move+undo_move, 100 stones on 25.5 (random play)", "60 us",
     lambda a: row_played(a, 25.5, 100), lambda seed: played_script(25.5, 100, seed)),
    ("random_game_18", "full random game on 18", "8 ms", row_game, game_script),
    ("scaled_300", "try_move+undo_move, 300 scattered stones", "",
     lambda a: row_scaled(a, 300), lambda seed: scaled_script(300, seed)),
    ("scaled_1000", "try_move+undo_move, 1,000 scattered stones", "",
     lambda a: row_scaled(a, 1000), lambda seed: scaled_script(1000, seed)),
    ("scaled_3000", "try_move+undo_move, 3,000 scattered stones", "",
     lambda a: row_scaled(a, 3000), lambda seed: scaled_script(3000, seed)),
    ("scaled_10000", "try_move+undo_move, 10,000 scattered stones", "",
     lambda a: row_scaled(a, 10000), lambda seed: scaled_script(10000, seed)),
    ("growth", "growth from 1,000 to 10,000 stones", "under x12", None, None),
    ("replay_10000", "Game.replay of a 10,000-stone log", "150 ms", row_replay, None),
    ("memory_10000", "memory per stone, 10,000-stone board", "1.5 KB", row_memory, None),
    ("replay_captured_10000", "Game.replay: 10,000 stones captured at once, 10,000 placed elsewhere", "",
     lambda a: row_log_replay(a, captured_log, 10000), lambda seed: script_text(*captured_log(10000))),
    ("replay_captured_40000", "Game.replay: 40,000 stones captured at once, 40,000 placed elsewhere", "",
     lambda a: row_log_replay(a, captured_log, 40000), lambda seed: script_text(*captured_log(40000))),
    ("growth_captured", "growth from 10,000 to 40,000 captured stones", "about x4", None, None),
    ("replay_far_10000", "Game.replay of 10,000 stones more than 1e9 from the origin", "",
     lambda a: row_log_replay(a, far_log, 10000), lambda seed: script_text(*far_log(10000))),
    ("replay_far_40000", "Game.replay of 40,000 stones more than 1e9 from the origin", "",
     lambda a: row_log_replay(a, far_log, 40000), lambda seed: script_text(*far_log(40000))),
    ("growth_far", "growth from 10,000 to 40,000 far stones", "about x4", None, None),
    ("versus_100", "cold groups()+territory() vs scipy+shapely, 100 stones", "300x",
     lambda a: row_versus(a, 100), None),
    ("versus_1000", "cold groups()+territory() vs scipy+shapely, 1,000 stones", "250x",
     lambda a: row_versus(a, 1000), None),
    ("triangulate_1000", "triangulation, 1,000 uniform sites, per site", "no slower", None, "BM_Triangulate/1000"),
    ("triangulate_100000", "triangulation, 100,000 uniform sites, per site", "no slower", None, "BM_Triangulate/100000"),
    ("cluster_100", "replay of 100 black stones within radius 1 of a point", "",
     lambda a: row_cluster(a, 100), None),
    ("cluster_200", "replay of 200 black stones within radius 1 of a point", "",
     lambda a: row_cluster(a, 200), None),
    ("cluster_400", "replay of 400 black stones within radius 1 of a point", "",
     lambda a: row_cluster(a, 400), None),
]

# Growth rows: the ratio of the second row's figures to the first's, and the
# note when the second row ran over the cap.
GROWTH = {
    "growth": ("scaled_1000", "scaled_10000", "10,000 row capped"),
    "growth_captured": ("replay_captured_10000", "replay_captured_40000", "40,000 row capped"),
    "growth_far": ("replay_far_10000", "replay_far_40000", "40,000 row capped"),
}

CLUSTER_MEMORY_CAP = 8 << 30


def run_child(key, args):
    """Runs one row in a child process under the time cap; answers the last
    JSON line it printed (with `capped` set when it ran over) or an error."""
    command = [sys.executable, os.path.abspath(__file__), "--child", key, "--repeats", str(args.repeats), "--seed", str(args.seed)]

    def limits():
        if key.startswith("cluster"):
            resource.setrlimit(resource.RLIMIT_AS, (CLUSTER_MEMORY_CAP, CLUSTER_MEMORY_CAP))

    proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, preexec_fn=limits)
    try:
        out, err = proc.communicate(timeout=args.cap)
        capped = False
    except subprocess.TimeoutExpired:
        proc.kill()
        out, err = proc.communicate()
        capped = True
    lines = [line for line in out.splitlines() if line.startswith("{")]
    result = json.loads(lines[-1]) if lines else {}
    if capped:
        result["capped"] = True
        result["note"] = (result.get("note", "nothing measured") + f"; stopped at the {args.cap:g} s cap").lstrip("; ")
    elif proc.returncode != 0:
        tail = err.strip().splitlines()[-1:] or [f"exit {proc.returncode}"]
        result = {"error": tail[0][:120]}
    return result


def run_cpp(binary, names, repeats, cap, scripts):
    """Medians of the engine-alone benchmarks, in seconds, by name; the
    binary reads the rows' scripts from the folder `scripts`."""
    if not binary or not os.path.exists(binary):
        return {}
    pattern = "^(" + "|".join(names) + ")$"
    command = [
        binary,
        f"--benchmark_filter={pattern}",
        f"--benchmark_repetitions={repeats}",
        "--benchmark_report_aggregates_only=true",
        "--benchmark_format=json",
    ]
    try:
        done = subprocess.run(
            command, capture_output=True, text=True, timeout=cap * len(names), env=dict(os.environ, CELLVANE_BENCH_SCRIPTS=scripts)
        )
    except subprocess.TimeoutExpired:
        return {}
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    out = {}
    for bench in json.loads(done.stdout or '{"benchmarks": []}')["benchmarks"]:
        if bench.get("aggregate_name") == "median":
            out[bench["run_name"]] = bench["cpu_time"] * scale[bench["time_unit"]]
    return out


def shown(value, unit):
    if value is None:
        return "-"
    if unit == "x":
        return f"{value:.0f}x"
    seconds = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}.get(unit)
    if seconds is not None:
        return human_seconds(value * seconds)
    return f"{value:.2f} {unit}"


def human_seconds(seconds):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:.3g} {unit}"
    return f"{seconds * 1e9:.3g} ns"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--json", action="store_true", help="print the rows as JSON")
    parser.add_argument("--repeats", type=int, default=5, help="repeats per figure (median taken)")
    parser.add_argument("--seed", type=int, default=2024)
    parser.add_argument("--cap", type=float, default=300.0, help="seconds allowed for one row")
    parser.add_argument("--cpp", default="build/bench/cellvane_bench", help="the C++ benchmark binary")
    parser.add_argument("--only", default="", help="comma-separated row keys (all when empty)")
    parser.add_argument("--show", metavar="FILE", help="print the table of a saved --json output and stop")
    parser.add_argument("--child", help=argparse.SUPPRESS)
    args = parser.parse_args()

    if args.show:
        with open(args.show) as f:
            print_table(json.load(f))
        return

    if args.child:
        dict((key, run) for key, _, _, run, _ in ROWS)[args.child](args)
        return

    import cellvane

    wanted = set(filter(None, args.only.split(",")))
    rows = [r for r in ROWS if not wanted or r[0] in wanted or r[0] in GROWTH]
    cpp_names = {}
    with tempfile.TemporaryDirectory() as scripts:
        for key, *_, source in rows:
            if callable(source):
                with open(os.path.join(scripts, key + ".txt"), "w") as f:
                    f.write(source(args.seed))
                cpp_names[key] = "BM_Script/" + key
            elif source:
                cpp_names[key] = source
        engine = run_cpp(args.cpp, list(cpp_names.values()), args.repeats, args.cap, scripts)

    results = {}
    for key, label, target, run, _ in rows:
        cpp_name = cpp_names.get(key)
        row = run_child(key, args) if run else {}
        row.update({"key": key, "label": label, "target": target})
        if cpp_name:
            row["engine_seconds"] = engine.get(cpp_name)
        if key.startswith("triangulate"):
            sites = int(cpp_name.rsplit("/", 1)[1])
            if row["engine_seconds"] is not None:
                row.update({"value": row["engine_seconds"] / sites * 1e9, "unit": "ns", "note": "engine alone"})
        results[key] = row

    for key, (low_key, high_key, capped_note) in GROWTH.items():
        for part in ("value", "engine_seconds"):
            low, high = results.get(low_key, {}), results.get(high_key, {})
            if key in results and low.get(part) and high.get(part):
                results[key][part] = high[part] / low[part]
                results[key]["unit"] = "x"
                if high.get("capped"):
                    results[key]["note"] = capped_note

    document = {"version": cellvane.version(), "repeats": args.repeats, "cap": args.cap, "rows": list(results.values())}
    if args.json:
        print(json.dumps(document, indent=1))
    else:
        print_table(document)


def print_table(document):
    print(f"cellvane {document['version']}: medians of {document['repeats']} repeats, cap {document['cap']:g} s per row")
    table = []
    for row in document["rows"]:
        engine_figure = row.get("engine_seconds")
        if row["key"] in GROWTH:
            engine_text = f"x{engine_figure:.1f}" if engine_figure else "-"
        elif row["key"].startswith("triangulate"):
            engine_text = "-"
        else:
            engine_text = human_seconds(engine_figure) if engine_figure else "-"
        value = "error: " + row["error"] if "error" in row else shown(row.get("value"), row.get("unit"))
        if row["key"] in GROWTH and row.get("value"):
            value = f"x{row['value']:.1f}"
        if row.get("capped") and row.get("value") is None:
            value = f"> {document['cap']:g} s"
        table.append((row["label"], value, engine_text, row["target"], row.get("note", "")))
    head = ("measure", "module", "engine alone", "target", "note")
    widths = [max(len(str(r[i])) for r in table + [head]) for i in range(4)]
    print("  ".join(h.ljust(w) for h, w in zip(head[:4], widths)) + "  " + head[4])
    for r in table:
        print("  ".join(str(c).ljust(w) for c, w in zip(r[:4], widths)) + "  " + r[4])


if __name__ == "__main__":
    main()

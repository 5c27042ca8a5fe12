"""A state machine over the whole public surface of a game.

Hypothesis drives moves at snapped and at raw points (most raw ones are not
placeable), moves exactly 2.0 from a stone and on forced eyes, on boards
small enough that snapping lands on the edge lines; passes; single and
repeated undos; replays of the game's own log; copies; cut questions; and
every query. After each step the board validates, and the snapshot of
everything a host can observe obeys the rules of change:

- a call that fails leaves the snapshot as it was;
- undo gives back the snapshot of the state before the undone turn, with
  `revision` 2 above its value before that turn's final commit;
- a replay of `deltas()` has the same snapshot;
- a copy taken earlier keeps its snapshot whatever the original does.

All the while a second thread reads the same game, as a server's monitor
might: every read sees one whole position, and none of them changes what
the machine observes. Every call does its engine work with the interpreter
lock released, so the two threads' calls meet on the game's own lock.

The snapshot holds the cut answers of a fresh search of the position,
asked of a replay, whose memo is empty. The game's own answers may
come from its cut memo, which keeps an answer until a stone is placed,
captured, taken back or restored within 4.02 of the question's midpoint,
even where a change further away would now change the search; the machine
keeps a model of that memo and checks every answer of the game against it.

CELLVANE_STATEFUL_STEPS sets how many steps to run at least (3,000 by
default, over about a hundred runs from fresh seeds); a soak runs 200,000
the same way.
"""

import copy
import math
import os
import random

from conftest import Reader, consistent_copy, exact, sorted_outline
from hypothesis import HealthCheck, settings
from hypothesis import strategies as st
from hypothesis.stateful import RuleBasedStateMachine, initialize, invariant, rule, run_state_machine_as_test

import cellvane as cv
from cellvane import BoardEdge, Color, Game

STEPS = int(os.environ.get("CELLVANE_STATEFUL_STEPS", "3000"))
STEPS_PER_RUN = 50

SIZES = [4.0, 5.0, 6.0, 6.5, 7.0, 8.0, 9.5, 18.0]
# Offsets of length exactly 2.0 along the axes, and of 2.0 up to rounding.
BESIDE = [(2.0, 0.0), (-2.0, 0.0), (0.0, 2.0), (0.0, -2.0), (1.2, 1.6), (-1.6, 1.2), (1.6, -1.2), (-1.2, -1.6)]
EDGES = [BoardEdge.LEFT, BoardEdge.RIGHT, BoardEdge.TOP, BoardEdge.BOTTOM]

steps_run = 0
reads_meanwhile = 0


def probe_points(size):
    """Fixed points at which nearest_living_move and the groups are asked:
    a grid with the edge lines and the half points, and a few off the board."""
    ticks = sorted({0.0, 0.5, 1.0, size / 3, size / 2, size - 1.0, size - 0.5, size})
    return [(x, y) for x in ticks for y in ticks] + [(-1.0, size / 2), (size + 2.0, -3.0)]


def outcome(call, *args):
    """The answer of a call, or its exception as class, text and attributes."""
    try:
        return exact(call(*args))
    except cv.CellvaneError as e:
        return (type(e).__name__, str(e), exact(getattr(e, "stones", None)))


def fresh_cut_answers(g, ids):
    """Every cut question about the stones in play, answered by a search of
    the position with no memo: pairs (a, b) with a <= b, and (stone, edge)."""
    fresh = Game.replay(g.board_size, g.deltas())
    pairs = {(a, b): outcome(fresh.pair_cuttable, a, b) for a in ids for b in ids if a <= b}
    edges = {(a, e): outcome(fresh.boundary_cuttable, a, EDGES[e]) for a in ids for e in range(4)}
    return pairs, edges


def snapshot(g, probes):
    """Everything a host can observe about a game, except `revision` and the
    cut memo."""
    stones = g.stones()
    black, white = g.territory()
    groups = g.groups()
    snap = {
        "repr": repr(g),
        "board_size": exact(g.board_size),
        "turn": (g.turn, g.next_stone_id, int(g.pending_color), int(g.status), g.status.has_ended()),
        "counts": (len(g), g.stone_count, g.captures),
        "stones": stones,
        "by_id": [g.stone(i) for i in range(g.turn + 1)] + [g.stone(2**32 - 1)],
        "last": g.last_placed_stone(),
        "deltas": g.deltas(),
        "groups": [
            (
                int(group.color),
                group.stone_ids,
                group.color_seed,
                exact(group.rings),
                exact(group.area),
                group.is_empty(),
                [group.contains_point(p) for p in probes],
            )
            for group in groups
        ],
        "territory": exact((black, white)),
        "dead": (g.dead_stones(Color.BLACK), g.dead_stones(Color.WHITE)),
        "nearest": [exact(g.nearest_living_move(p)) for p in probes],
        "svg": sorted_outline(g.dump_svg(), distinct=True),
    }
    snap["pair_cuts"], snap["edge_cuts"] = fresh_cut_answers(g, [s.id for s in stones])
    return snap


def assert_same(actual, expected, what):
    if actual != expected:
        details = []
        for key in sorted(k for k in expected if actual.get(k) != expected[k]):
            a, e = actual.get(k := key), expected[k]
            if isinstance(a, (list, tuple)) and isinstance(e, (list, tuple)) and len(a) == len(e):
                at = [i for i in range(len(e)) if a[i] != e[i]]
                details.append(f"{key} at {at[:5]}: {a[at[0]]!r} instead of {e[at[0]]!r}")
            else:
                details.append(f"{key}: {a!r} instead of {e!r}")
        raise AssertionError(f"{what}: " + "; ".join(details))


coordinate = st.one_of(
    st.integers(-2, 40).map(lambda k: ("half", k)),
    st.floats(-0.05, 1.05).map(lambda u: ("unit", u)),
)
points = st.tuples(coordinate, coordinate)


class GameMachine(RuleBasedStateMachine):
    @initialize(size=st.sampled_from(SIZES))
    def new_game(self, size):
        self.size = size
        self.game = Game(size)
        self.probes = probe_points(size)
        self.snap = snapshot(self.game, self.probes)
        # Per committed turn: the snapshot before it, and the revision just
        # before its final commit.
        self.earlier = []
        self.copies = []
        # The revision each change should leave: +3 for a move (trial commit,
        # its undo, final commit), +2 for a refused self-capture, +1 for a
        # pass or an undo, nothing for a query or a cut question.
        self.revision = 0
        # The cut memo: question -> (answer, midpoint of its two points).
        self.memo = {}
        self.reader = Reader(self.read_meanwhile)
        self.reader.start()

    def read_meanwhile(self):
        # Whatever game the machine plays now (a kept replay replaces it).
        g = self.game
        consistent_copy(g)
        g.groups(), g.territory(), g.stones(), g.nearest_living_move(self.probes[0]), g.dump_svg()

    def teardown(self):
        global reads_meanwhile
        self.reader.stop()
        reads_meanwhile += self.reader.reads

    # ------------------------------------------------------------ helpers

    def point(self, drawn):
        def coordinate(c):
            kind, v = c
            if kind == "half":  # the half points, edge lines included
                return (v % (2 * int(self.size) + 3) - 1) / 2
            return v * self.size

        return (coordinate(drawn[0]), coordinate(drawn[1]))

    def unchanged(self, what):
        assert_same(snapshot(self.game, self.probes), self.snap, what)

    def attempt(self, p, snapped=False):
        g = self.game
        before = g.revision
        mover = g.pending_color
        try:
            delta = g.try_move(p)
        except cv.NotPlaceableError as e:
            assert not snapped, f"a snapped point {p} is not placeable"
            assert exact(e.position) == exact(p)
            assert g.revision == before
            self.unchanged(f"refused move at {p}")
        except cv.SelfCaptureError as e:
            assert e.color == mover
            self.revision += 2
            self.forget_near(p)  # the trial placement and its undo
            self.unchanged(f"self-capture at {p}")
        except cv.GameOverError:
            assert g.status.has_ended() and g.revision == before
            self.unchanged(f"move at {p} after the end")
        else:
            assert g.revision == before + 3
            stone = delta.new_stone
            assert (stone.id, stone.color, exact(stone.position)) == (self.snap["turn"][0], mover, exact(p))
            assert delta.captured_stone_ids == sorted(delta.captured_stone_ids)
            assert g.deltas()[-1] == delta
            placed = {s.id: s.position for s in self.snap["stones"]}
            self.forget_near(p, *(placed[i] for i in delta.captured_stone_ids))
            self.committed(before + 2)

    def forget_near(self, *changed):
        """What the cut memo forgets when stones are placed or removed at
        the `changed` points."""
        for p in changed:
            for key, (_, mid) in list(self.memo.items()):
                dx, dy = mid[0] - p[0], mid[1] - p[1]
                if math.sqrt(dx * dx + dy * dy) <= 4.02:
                    del self.memo[key]

    def ask(self, key, question, *args):
        """Asks the game a cut question and checks the answer: the memo's, or
        else the fresh search's. Answers that are verdicts are memoized."""
        answer = outcome(question, *args)
        stones = {s.id: s for s in self.snap["stones"]}
        if key in self.memo:
            expected = self.memo[key][0]
        elif key[0] == "pair":
            expected = self.snap["pair_cuts"].get(key[1:])
        else:
            expected = self.snap["edge_cuts"].get(key[1:])
        if expected is None:  # a stone not in play
            assert answer[0] == "CutError", (key, answer)
        elif key[0] == "pair" and args[0] > args[1] and isinstance(answer, tuple):
            assert (answer[0], sorted(answer[2])) == (expected[0], sorted(expected[2])), (key, answer, expected)
        else:
            assert answer == expected, (key, answer, expected)
        if answer in (cv.CutKind.CONNECTED, cv.CutKind.CUTTABLE):
            if key[0] == "pair":
                (ax, ay), (bx, by) = stones[key[1]].position, stones[key[2]].position
            else:
                ax, ay = stones[key[1]].position
                side = self.size if EDGES[key[2]] in (BoardEdge.RIGHT, BoardEdge.BOTTOM) else 0.0
                bx, by = (side, ay) if EDGES[key[2]] in (BoardEdge.LEFT, BoardEdge.RIGHT) else (ax, side)
            self.memo[key] = (answer, ((ax + bx) / 2, (ay + by) / 2))
        return answer

    def committed(self, revision_before_commit):
        self.earlier.append((self.snap, revision_before_commit))
        self.snap = snapshot(self.game, self.probes)
        self.revision = revision_before_commit + 1

    # -------------------------------------------------------------- moves

    @rule(p=points)
    def move_snapped(self, p):
        self.snapped(self.point(p))

    @rule(seed=st.integers(0, 2**32 - 1), n=st.integers(1, 8))
    def moves_snapped_from_a_seed(self, seed, n):
        # Several moves in one step: positions fill up within a short run.
        rng = random.Random(seed)
        for _ in range(n):
            self.snapped((rng.uniform(-1.0, self.size + 1.0), rng.uniform(-1.0, self.size + 1.0)))

    def no_boundary_left(self):
        # With no boundary piece and no forced eye left, a probe answers
        # nothing, or itself where it lies on an isolated point of the alive
        # zone (where circles and an edge line only touch, at depth zero).
        for probe, answer in zip(self.probes, self.snap["nearest"]):
            assert answer is None or answer == exact(probe), (probe, answer)

    def snapped(self, p):
        q = self.game.nearest_living_move(p)
        if q is None:  # the board is full
            self.no_boundary_left()
            self.attempt(p)
        else:
            self.attempt(q, snapped=True)

    @rule(p=points)
    def move_raw(self, p):
        self.attempt(self.point(p))

    @rule(i=st.integers(0, 200), offset=st.sampled_from(BESIDE))
    def move_beside_a_stone(self, i, offset):
        stones = self.snap["stones"]
        x, y = stones[i % len(stones)].position if stones else (self.size / 2, self.size / 2)
        self.attempt((x + offset[0], y + offset[1]))

    @rule(i=st.integers(0, 200))
    def move_on_a_forced_eye(self, i):
        placed = {d.new_stone.id: d.new_stone.position for d in self.snap["deltas"] if d.new_stone}
        eyes = [placed[c] for d in self.snap["deltas"] for c in d.captured_stone_ids]
        if eyes:
            self.attempt(eyes[i % len(eyes)])

    @rule()
    def pass_turn(self):
        g = self.game
        before = g.revision
        try:
            g.pass_turn()
        except cv.GameOverError:
            assert g.revision == before
            self.unchanged("pass after the end")
        else:
            assert g.revision == before + 1 and g.deltas()[-1].is_pass
            self.committed(before)

    @rule(n=st.sampled_from([1, 1, 2, 5]))
    def undo(self, n):
        g = self.game
        for _ in range(n):
            before = g.revision
            undone = g.undo_move()
            if not self.earlier:
                assert undone is None and g.revision == before
                self.unchanged("undo of nothing")
                continue
            assert undone == self.snap["deltas"][-1]
            if undone.new_stone:
                placed = {s.id: s.position for s in self.earlier[-1][0]["stones"]}
                self.forget_near(undone.new_stone.position, *(placed[i] for i in undone.captured_stone_ids))
            untouched_since_commit = before == self.earlier[-1][1] + 1
            self.snap, revision_before_commit = self.earlier.pop()
            self.revision = before + 1
            if untouched_since_commit:  # undo right after the commit
                assert g.revision == revision_before_commit + 2
            self.unchanged(f"undo of {undone!r}")

    # ---------------------------------------------------- whole games

    @rule(keep=st.booleans())
    def replay_own_log(self, keep):
        log = self.game.deltas()
        again = Game.replay(self.size, log)
        assert again.revision == len(log)
        assert_same(snapshot(again, self.probes), self.snap, "replay of the game's own log")
        if keep:  # play on with the replayed game; its commits were one each
            self.game = again
            self.earlier = [(snap, i) for i, (snap, _) in enumerate(self.earlier)]
            self.revision = len(log)
            self.memo = {}

    @rule(deep=st.booleans())
    def take_copy(self, deep):
        c = copy.deepcopy(self.game) if deep else copy.copy(self.game)
        assert type(c) is Game and c.revision == self.game.revision
        self.copies = self.copies[-2:] + [(c, c.revision, self.snap)]

    @rule()
    def check_copies(self):
        for c, revision, snap in self.copies:
            assert c.revision == revision
            assert_same(snapshot(c, self.probes), snap, "an earlier copy")
            c.validate()

    # ------------------------------------------------------------ queries

    @rule(a=st.integers(0, 60), b=st.integers(0, 60))
    def pair_cut(self, a, b):
        ids = [s.id for s in self.snap["stones"]]
        if ids and a % 3:  # mostly stones in play, sometimes any id
            a, b = ids[a % len(ids)], ids[b % len(ids)]
        self.ask(("pair", min(a, b), max(a, b)), self.game.pair_cuttable, a, b)
        self.unchanged(f"pair cut question {a}, {b}")

    @rule(a=st.integers(0, 60), edge=st.integers(0, 3))
    def edge_cut(self, a, edge):
        ids = [s.id for s in self.snap["stones"]]
        if ids and a % 3:
            a = ids[a % len(ids)]
        self.ask(("edge", a, edge), self.game.boundary_cuttable, a, EDGES[edge])
        self.unchanged(f"edge cut question {a}, {EDGES[edge]!r}")

    @rule()
    def every_cut_question(self):
        ids = [s.id for s in self.snap["stones"]]
        for a in ids:
            for b in ids:
                self.ask(("pair", min(a, b), max(a, b)), self.game.pair_cuttable, a, b)
            for edge in range(4):
                self.ask(("edge", a, edge), self.game.boundary_cuttable, a, EDGES[edge])
        self.unchanged("every cut question")

    @rule(p=points)
    def query(self, p):
        p = self.point(p)
        q = self.game.nearest_living_move(p)
        if q is None:
            self.no_boundary_left()
        else:
            # Every placeable position keeps a stone radius off the edges.
            assert all(1.0 - cv.EPSILON <= v <= self.size - 1.0 + cv.EPSILON for v in q), (p, q)
        self.unchanged(f"queries at {p}")

    @invariant()
    def board_is_valid(self):
        global steps_run
        steps_run += 1
        assert self.game.validate() is None
        assert self.game.revision == self.revision


def test_state_machine():
    start = steps_run
    while steps_run - start < STEPS:
        run_state_machine_as_test(
            GameMachine,
            settings=settings(
                max_examples=max(1, (STEPS - (steps_run - start)) // (STEPS_PER_RUN // 2)),
                stateful_step_count=STEPS_PER_RUN,
                deadline=None,
                suppress_health_check=list(HealthCheck),
                database=None,
            ),
        )
    assert steps_run - start >= STEPS
    assert reads_meanwhile > 0

"""Cut questions through the game, the invariant check after every kind of
change, and the SVG picture of real positions."""

import math
import random
import shutil
import subprocess
import xml.etree.ElementTree as ET

import pytest
from conftest import random_play

import cellvane as cv
from cellvane import BoardEdge, Color, CutKind, Game, GameDelta, Stone

B, W = Color.BLACK, Color.WHITE
SVG = "{http://www.w3.org/2000/svg}"
EDGES = [BoardEdge.LEFT, BoardEdge.RIGHT, BoardEdge.TOP, BoardEdge.BOTTOM]


def replayed(size, stones):
    return Game.replay(size, [GameDelta(Stone(i, c, p)) for i, (c, p) in enumerate(stones)])


def fresh_pair_answer(game, a, b):
    """The answer of a board with the same stones and an empty cut memo."""
    return Game.replay(game.board_size, game.deltas()).pair_cuttable(a, b)


def test_pair_limits_and_shortcut():
    g = replayed(19.0, [(B, (8.0, 9.0)), (W, (3.0, 3.0)), (B, (11.0, 9.0))])
    assert g.pair_cuttable(0, 2) == CutKind.CUTTABLE
    assert g.pair_cuttable(2, 0) == CutKind.CUTTABLE
    assert g.validate() is None and g.stone_count == 3

    assert replayed(19.0, [(B, (8.0, 9.0)), (B, (10.8, 9.0))]).pair_cuttable(0, 1) == CutKind.CONNECTED

    at_limit = replayed(19.0, [(B, (4.0, 9.0)), (B, (4.0 + cv.MAX_PAIR_CUT_DISTANCE, 9.0))])
    assert at_limit.pair_cuttable(0, 1) != CutKind.TOO_FAR
    assert at_limit.validate() is None
    beyond = math.nextafter(4.0 + cv.MAX_PAIR_CUT_DISTANCE, math.inf)
    assert replayed(19.0, [(B, (4.0, 9.0)), (B, (beyond, 9.0))]).pair_cuttable(0, 1) == CutKind.TOO_FAR


def test_boundary_limits():
    g = replayed(19.0, [(B, (1.5, 9.0)), (W, (2.8, 4.0)), (B, (9.0, 2.5))])
    assert g.boundary_cuttable(0, BoardEdge.LEFT) == CutKind.CONNECTED
    assert g.boundary_cuttable(1, BoardEdge.LEFT) == CutKind.TOO_FAR
    assert g.boundary_cuttable(2, BoardEdge.TOP) == CutKind.CUTTABLE
    assert g.boundary_cuttable(0, BoardEdge.RIGHT) == CutKind.TOO_FAR
    assert g.validate() is None


# Black 0 and 1 are cuttable. A white stone 4.08 from their midpoint changes
# the answer a fresh search gives, yet lies beyond the 4.02 within which a
# change forgets a stored answer.
PAIR = [
    (B, (5.2675414068756705, 5.526432223549135)),
    (B, (5.076914584998593, 8.903122809871258)),
    (W, (2.668424446149497, 1.0118429819086385)),
    (W, (2.6179755655951866, 6.3570489177753995)),
]
FAR_WHITE = (1.8310045364511125, 9.56214943949748)


def test_stored_answers_survive_changes_further_than_the_forgetting_radius():
    g = replayed(12.0, PAIR)
    assert g.pair_cuttable(0, 1) == CutKind.CUTTABLE
    g.pass_turn()
    g.try_move(FAR_WHITE)
    midpoint = tuple((p + q) / 2 for p, q in zip(PAIR[0][1], PAIR[1][1]))
    assert 4.02 < math.dist(FAR_WHITE, midpoint) < 4.1
    assert fresh_pair_answer(g, 0, 1) == CutKind.CONNECTED
    assert g.pair_cuttable(0, 1) == CutKind.CUTTABLE  # the stored answer

    # Undoing that stone forgets nothing either (it is as far away).
    g.undo_move()
    g.try_move(FAR_WHITE)
    assert g.pair_cuttable(1, 0) == CutKind.CUTTABLE

    # A black stone within 4.02 of the midpoint forgets the answer: the next
    # question is searched afresh.
    if g.pending_color == W:
        g.pass_turn()
    near = g.nearest_living_move((midpoint[0] + 3.9, midpoint[1]))
    assert math.dist(near, midpoint) <= 4.02
    g.try_move(near)
    assert g.pair_cuttable(0, 1) == fresh_pair_answer(g, 0, 1) == CutKind.CONNECTED
    assert g.validate() is None


def random_game(seed, size=13.0, turns=60):
    rng = random.Random(seed)
    return random_play(Game(size), rng, turns, pass_when_stuck=False, pass_on_self_capture=False), rng


@pytest.mark.parametrize("seed", [1, 2, 3])
def test_every_kind_of_change_keeps_the_board_valid(seed):
    g, rng = random_game(seed, turns=10)
    for _ in range(120):
        action = rng.choice(["move", "move", "move", "pass", "undo", "cut", "edge", "replay", "copy"])
        if action == "move" and not g.status.has_ended():
            spot = g.nearest_living_move((rng.uniform(0, 13), rng.uniform(0, 13)))
            if spot is not None:
                try:
                    g.try_move(spot)
                except cv.SelfCaptureError:
                    pass
        elif action == "pass" and not g.status.has_ended():
            g.pass_turn()
        elif action == "undo":
            g.undo_move()
        elif action in ("cut", "edge") and g.stone_count:
            ids = [s.id for s in g.stones()]
            a = rng.choice(ids)
            try:
                if action == "cut":
                    g.pair_cuttable(a, rng.choice(ids))
                else:
                    g.boundary_cuttable(a, rng.choice(EDGES))
            except cv.CutError:
                pass
        elif action == "replay":
            g = Game.replay(g.board_size, g.deltas())
        elif action == "copy":
            g = g.__copy__()
        assert g.validate() is None


def test_one_black_stone_picture():
    g = Game(18)
    g.try_move((4.0, 4.0))
    svg = g.dump_svg()
    root = ET.fromstring(svg)
    assert root.tag == SVG + "svg" and root.get("viewBox") == "0 0 18 18"
    children = [c.tag.removeprefix(SVG) for c in root]
    assert children == ["defs", "path", "rect", "circle", "text"]
    assert root[1].get("fill") == "#003257" and root[1].get("fill-rule") == "evenodd"
    assert root[3].get("fill") == "#2e2e35" and root[3].get("cx") == "4" and root[3].get("cy") == "4"
    assert root[4].text == "1" and root[4].get("fill") == "#868688"


@pytest.mark.parametrize("seed", [4, 5, 6, 7])
def test_pictures_of_random_positions_parse_and_render(seed, tmp_path):
    g, _ = random_game(seed, size=18.0, turns=80)
    svg = g.dump_svg()
    root = ET.fromstring(svg)
    drawn = [c for c in root if c.tag == SVG + "circle"]
    labels = [c for c in root if c.tag == SVG + "text"]
    assert len(drawn) == len(labels) == g.stone_count
    fills = {s.get("fill") for s in drawn}
    assert fills <= {"#2e2e35", "#ddddd5"}
    white_labels = {t.text for t in labels if t.get("fill") == "#696966"}
    assert all(label.isalpha() and label.isupper() for label in white_labels)

    converter = shutil.which("rsvg-convert")
    if converter is None:
        pytest.skip("rsvg-convert is not installed")
    path = tmp_path / "position.svg"
    path.write_text(svg, encoding="utf-8")
    done = subprocess.run([converter, "-o", str(tmp_path / "position.png"), str(path)], capture_output=True)
    assert done.returncode == 0, done.stderr
    assert (tmp_path / "position.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"

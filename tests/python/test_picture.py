"""The picture for people, `Game.svg`: its hatch against the placeable
positions, rasterised; its ids on a page shared with other pictures; its
options."""

import inspect
import math
import random
import re
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
import zlib

import pytest
from conftest import random_play

import cellvane as cv
from cellvane import Game

SVG = "{http://www.w3.org/2000/svg}"


def played(seed, size=18.0, turns=120):
    return random_play(Game(size), random.Random(seed), turns, undo_share=0.05)


# ----------------------------------------------------------------- the hatch


def png_pixels(data):
    """The rows of an 8-bit, non-interlaced RGB or RGBA PNG (what rsvg-convert
    writes), as lists of pixels."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, chunks = 8, []
    while at < len(data):
        (length,) = struct.unpack(">I", data[at : at + 4])
        kind, body = data[at + 4 : at + 8], data[at + 8 : at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0
            n = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            chunks.append(body)
        at += 12 + length
    raw = zlib.decompress(b"".join(chunks))
    stride, rows, previous = width * n, [], bytearray(width * n)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1 : (y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - n] if i >= n else 0
            b = previous[i]
            c = previous[i - n] if i >= n else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[i : i + n]) for i in range(0, stride, n)])
        previous = line
    return rows


def rasterise(svg, tmp_path):
    converter = shutil.which("rsvg-convert")
    if converter is None:
        pytest.skip("rsvg-convert is not installed")
    source = tmp_path / "picture.svg"
    source.write_text(svg, encoding="utf-8")
    done = subprocess.run([converter, str(source)], capture_output=True, check=True)
    return png_pixels(done.stdout)


def pile():
    """A played position with a second stone on each of five stones' centres,
    as a replayed log may pile them and play never does."""
    game = played(8, turns=60)
    extra = [cv.Stone(game.turn + k, stone.color, stone.position) for k, stone in enumerate(game.stones()[:5])]
    return Game.replay(game.board_size, game.deltas() + [cv.GameDelta(stone) for stone in extra])


POSITIONS = {
    "empty": lambda: Game(18.0),
    "midgame 18": lambda: played(8, turns=60),
    "open 12.5": lambda: played(11, size=12.5, turns=200),
    "sparse 9": lambda: played(10, size=9.0, turns=300),
    "piled": pile,
}


@pytest.mark.parametrize("name", POSITIONS)
def test_the_hatch_covers_exactly_the_points_no_stone_can_cover(name, tmp_path):
    """With the hatch on and off, a pixel changes exactly when its centre is
    farther than one stone radius from every placeable position, that is from
    `nearest_living_move` of it. Left out: a band of 1.5 pixels round that
    distance of 1 (antialiasing), the board's edge line, and the stones' discs,
    which are drawn over the hatch (no stone could ever cover them either)."""
    game = POSITIONS[name]()
    if name != "empty":
        assert game.captures != (0, 0), "the position should hold forced eyes"
    # Without the territories the hatch lies on one light colour, far from
    # its own grey.
    size = 400
    on = rasterise(game.svg(size, territory=False), tmp_path)
    off = rasterise(game.svg(size, territory=False, hatch=False), tmp_path)
    x0, y0, w, _ = map(float, ET.fromstring(game.svg()).get("viewBox").split())
    unit = w / size
    s = game.board_size
    centres = [stone.position for stone in game.stones()]
    seen = {True: 0, False: 0}
    for j in range(0, size, 2):
        for i in range(0, size, 2):
            p = (x0 + (i + 0.5) * unit, y0 + (j + 0.5) * unit)
            if not (3 * unit < p[0] < s - 3 * unit and 3 * unit < p[1] < s - 3 * unit):
                continue
            if any(math.dist(p, c) < 1.0 + 1.5 * unit for c in centres):
                continue
            reach = math.dist(p, game.nearest_living_move(p))
            if abs(reach - 1.0) < 1.5 * unit:
                continue
            changed = max(abs(u - v) for u, v in zip(on[j][i], off[j][i]))
            assert (changed > 8) == (reach > 1.0), (name, p, reach, changed)
            seen[reach > 1.0] += 1
    # On an empty board only the four corners beyond the quarter circles are
    # hatched, too small to sample here.
    assert seen[False] > 500 and (seen[True] > 50 or name == "empty"), seen


# -------------------------------------------------------------------- the ids

IDS = re.compile(r' id="([^"]*)"')
REFERENCES = re.compile(r'(?:url\(#|href="#)([^")]*)')


def test_pictures_on_one_page_never_share_an_id():
    """Pictures of one position, of several, with each option, and from
    another process: no id is used twice, and every reference names an id of
    its own picture."""
    games = [Game(18.0), played(5), played(6, size=9.0)]
    pictures = [g.svg() for g in games for _ in range(3)]
    pictures += [games[1]._repr_svg_(), games[1].svg(300, coordinates=False, territory=False, labels=False)]
    code = "import random, cellvane as cv; g = cv.Game(18.0); print(g.svg(), end='')"
    pictures += [subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout]
    seen = set()
    for svg in pictures:
        ids = IDS.findall(svg)
        assert len(ids) >= 2 and len(set(ids)) == len(ids)
        assert set(REFERENCES.findall(svg)) == set(ids)
        assert seen.isdisjoint(ids)
        seen.update(ids)
    # Without the hatch there is nothing to refer to.
    assert IDS.findall(games[1].svg(hatch=False)) == []


# ---------------------------------------------------------------- the options


def without_ids(svg):
    return re.sub(r"cv[0-9a-f]+-", "cv-", svg)


def test_the_picture_options():
    game = played(5)
    assert str(inspect.signature(Game.svg)) == (
        "(self, /, size=480, *, hatch=True, territory=True, labels=True, coordinates=True, highlight=())"
    )
    s = game.board_size
    stones = game.stones()
    last = game.last_placed_stone()
    drawn_groups = [g for g in game.groups() if g.stones]

    root = ET.fromstring(game.svg(300))
    assert (root.get("width"), root.get("height")) == ("300", "300")
    x0, y0, w, h = map(float, root.get("viewBox").split())
    assert x0 == y0 < 0 and w == h == s - 2 * x0
    assert root.find(SVG + "title").text.startswith(f"After {game.turn} turns: ")
    # The stones, each labelled, the last one marked; the board's edge.
    discs = [c for c in root.iter(SVG + "circle") if c.get("r") == "0.95"]
    assert sorted((float(c.get("cx")), float(c.get("cy"))) for c in discs) == sorted(st.position for st in stones)
    marks = [c for c in root.iter(SVG + "circle") if c.get("stroke") == "#e0302a"]
    assert [(float(c.get("cx")), float(c.get("cy"))) for c in marks] == [last.position]
    assert any(r.get("fill") == "none" and r.get("width") == str(int(s)) for r in root.iter(SVG + "rect"))
    texts = [t.text for t in root.iter(SVG + "text")]
    assert len(texts) == len(stones) + 4 * 10  # labels, and coordinates 0, 2, ..., 18 on each edge
    assert texts.count("18") == 4 and "A" in texts and "1" in texts
    group_paths = [p for p in root.iter(SVG + "path") if p.get("fill-rule") == "evenodd" and p.get("fill") != "black"]
    assert len(group_paths) == len(drawn_groups)

    # Each layer left out.
    bare = ET.fromstring(game.svg(hatch=False, territory=False, labels=False, coordinates=False))
    x0, _, w, _ = map(float, bare.get("viewBox").split())
    assert -0.5 < x0 < 0 and w < s + 1
    assert bare.find(SVG + "defs") is None and bare.find(SVG + "text") is None
    assert not any(p.get("fill-rule") == "evenodd" for p in bare.iter(SVG + "path"))
    assert len([c for c in bare.iter(SVG + "circle") if c.get("r") == "0.95"]) == len(stones)

    # Highlighted stones: any iterable of ids; ids not in play are skipped.
    chosen = {stones[0].id, stones[-1].id, 10**6}
    rings = ET.fromstring(game.svg(highlight=chosen)).iter(SVG + "circle")
    ringed = sorted((float(c.get("cx")), float(c.get("cy"))) for c in rings if c.get("stroke") == "#1f77d0")
    assert ringed == sorted([stones[0].position, stones[-1].position])
    assert without_ids(game.svg(highlight=[stones[0].id] * 2)) == without_ids(game.svg(highlight=(stones[0].id,)))

    # No mark after a pass; the notebook picture is svg() with its defaults.
    game.pass_turn()
    assert "#e0302a" not in game.svg()
    assert without_ids(game._repr_svg_()) == without_ids(game.svg())
    mover = "Black" if game.pending_color == cv.Color.BLACK else "White"
    assert f": {mover} to play. Captures: Black {game.captures[0]}, White {game.captures[1]}." in game.svg()
    game.pass_turn()
    assert f"After {game.turn} turns: the game has ended." in game.svg()

    for size in (0, -3, math.inf, math.nan):
        with pytest.raises(ValueError, match="size must be a positive number of pixels"):
            game.svg(size)
    with pytest.raises(TypeError, match="argument 'highlight'"):
        game.svg(highlight=["a"])
    with pytest.raises(TypeError, match="argument 'highlight'"):
        game.svg(highlight=3)
    with pytest.raises(TypeError):
        game.svg(480, True)  # the options are keywords
    with pytest.raises(OverflowError):
        game.svg(highlight=[-1])

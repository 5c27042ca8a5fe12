"""Hashes the engine's answers over many seeded random games.

Usage: python bench/answers_hash.py [GAMES]   (default 2000), with cellvane importable
Prints one line: the hex digest. Any change in any answer changes it.
Covers: try_move outcomes and error texts (snapped and unsnapped points, points
off the board), passes, undos, nearest_living_move, groups with every ring
point, areas, territory, dead stones, pair and boundary cut answers, the SVG
dump, the delta log, and replay of that log.

A change of speed or structure must leave the digest as it was: run this
before and after, against a build of each.
"""
import hashlib
import random
import struct
import sys

import cellvane as cv

SIZES = [4.0, 5.5, 7.0, 9.0, 12.0, 14.5, 18.0, 21.0, 25.5]


def put(h, *items):
    for item in items:
        if isinstance(item, float):
            h.update(b"f" + struct.pack("<d", item))
        elif item is None:
            h.update(b"N")
        else:
            h.update(b"s" + repr(item).encode() + b"\0")


def point(h, p):
    if p is None:
        put(h, None)
    else:
        put(h, float(p[0]), float(p[1]))


def delta(h, d):
    if d is None:
        put(h, None)
        return
    s = d.new_stone
    if s is None:
        put(h, "pass")
    else:
        put(h, s.id, s.color.label)
        point(h, s.position)
    put(h, list(d.captured_stone_ids))


def analyse(h, game, rng):
    for g in game.groups():
        put(h, g.color.label, list(g.stone_ids), g.color_seed, g.area, g.is_empty())
        for ring in g.rings:
            for p in ring:
                point(h, p)
    put(h, *game.territory())
    for c in (cv.Color.BLACK, cv.Color.WHITE):
        put(h, [s.id for s in game.dead_stones(c)])
    stones = game.stones()
    if len(stones) >= 2:
        for _ in range(3):
            a, b = rng.sample(stones, 2)
            try:
                put(h, game.pair_cuttable(a.id, b.id).label)
            except cv.CellvaneError as e:
                put(h, type(e).__name__, str(e))
    if stones:
        edges = [cv.BoardEdge.TOP, cv.BoardEdge.BOTTOM, cv.BoardEdge.LEFT, cv.BoardEdge.RIGHT]
        for _ in range(2):
            s = rng.choice(stones)
            try:
                put(h, game.boundary_cuttable(s.id, rng.choice(edges)).label)
            except cv.CellvaneError as e:
                put(h, type(e).__name__, str(e))


def play(h, seed):
    rng = random.Random(seed)
    size = rng.choice(SIZES)
    game = cv.Game(size)
    turns = rng.randint(5, int(size * 3) + 10)
    for step in range(turns):
        r = rng.random()
        if game.status.has_ended():
            if r < 0.5:
                delta(h, game.undo_move())
                continue
            break
        if r < 0.05:
            game.pass_turn()
            put(h, "passed", game.status.has_ended())
        elif r < 0.12:
            delta(h, game.undo_move())
        else:
            q = (rng.uniform(-1.0, size + 1.0), rng.uniform(-1.0, size + 1.0))
            snapped = game.nearest_living_move(q)
            point(h, snapped)
            target = snapped if (snapped is not None and rng.random() < 0.8) else q
            try:
                delta(h, game.try_move(target))
            except cv.CellvaneError as e:
                put(h, type(e).__name__, str(e))
        put(h, game.turn, game.captures, len(game), game.revision)
        if step % 7 == 3:
            analyse(h, game, rng)
    analyse(h, game, rng)
    put(h, game.dump_svg())
    log = game.deltas()
    for d in log:
        delta(h, d)
    again = cv.Game.replay(size, log)
    put(h, again.dump_svg() == game.dump_svg(), again.turn, again.captures)


def main():
    games = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
    h = hashlib.sha256()
    for seed in range(games):
        play(h, seed)
    print(h.hexdigest())


if __name__ == "__main__":
    main()

"""Plays a short game with cellvane and shows what the engine answers.

A corner capture first, then seeded random play snapped to placeable points
until the board is nearly full, two passes, and an undo of the last pass. The
position is checked, replayed from its log, sent through pickle, and drawn as
SVG (and as PNG when rsvg-convert is installed) in examples/out/, along with
the position after 40 turns (midgame.svg, the picture in README.md).
"""

import pathlib
import pickle
import random
import shutil
import subprocess
import sys

import cellvane as cv


def main() -> int:
    out = pathlib.Path(__file__).resolve().parent / "out"
    out.mkdir(exist_ok=True)
    print("cellvane", cv.version())

    game = cv.Game(board_size=18)
    print(game)

    # Black walls in White's corner stone: once its cell is cut down to the
    # square [0, 2] x [0, 2], no playable point is left near it.
    for point in [(3.0, 1.0), (1.0, 1.0)]:
        print("  ", game.try_move(point))
    delta = game.try_move((1.0, 3.0))
    print("  ", delta)
    print("captures (black, white):", game.captures)
    print("the captured centre is a forced eye:", game.nearest_living_move((1.0, 1.0)))

    try:
        game.try_move((0.5, 9.0))
    except cv.NotPlaceableError as error:
        print("refused:", error)

    # Random play, each point snapped to the nearest placeable one.
    rng = random.Random(7)
    refused = 0
    while refused < 50:
        spot = game.nearest_living_move((rng.uniform(0, 18), rng.uniform(0, 18)))
        if spot is None:
            break
        try:
            game.try_move(spot)
            refused = 0
        except cv.SelfCaptureError:
            refused += 1
        if game.turn == 40 and refused == 0:
            # The picture a notebook shows: svg() with its defaults.
            (out / "midgame.svg").write_text(game._repr_svg_(), encoding="utf-8")
            print("wrote", out / "midgame.svg")
    game.pass_turn()
    game.pass_turn()
    print("after random play:", game, game.status)
    print("undo the last pass:", game.undo_move(), game.status)

    black, white = game.territory()
    print(f"territory: black {black:.3f}, white {white:.3f} (board {game.board_size ** 2:.0f})")
    for group in game.groups()[:3]:
        print("  ", group)
    print("groups:", len(game.groups()), " captures:", game.captures)

    stones = game.stones()
    a, b = stones[0], stones[-1]
    near = [s for s in stones if s.color == a.color and s.id != a.id]
    if near:
        other = min(near, key=lambda s: (s.position[0] - a.position[0]) ** 2 + (s.position[1] - a.position[1]) ** 2)
        print(f"pair_cuttable({a.id}, {other.id}):", game.pair_cuttable(a.id, other.id))
    print(f"boundary_cuttable({b.id}, LEFT):", game.boundary_cuttable(b.id, cv.BoardEdge.LEFT))

    game.validate()
    again = cv.Game.replay(game.board_size, game.deltas())
    print("replay reproduces the position:", again.stones() == game.stones() and again.groups() == game.groups())
    data = pickle.dumps(game)
    back = pickle.loads(data)
    print(f"pickled as its log in {len(data)} bytes; unpickled:", back, back.groups() == game.groups())

    svg = out / "demo.svg"
    svg.write_text(game.svg(720), encoding="utf-8")
    print("wrote", svg)
    converter = shutil.which("rsvg-convert")
    if converter:
        png = out / "demo.png"
        subprocess.run([converter, "-o", str(png), str(svg)], check=True)
        print("wrote", png)
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""Writes the fuzzer's seed corpus (tests/fuzz/corpus) in the byte encoding
that fuzz_engine.cpp decodes. Run with the module installed:
    .venv/bin/python tests/fuzz/make_seeds.py
The seeds are committed; this only documents and remakes them."""

import pathlib
import random
import struct

import cellvane as cv

NAN, INF, HUGE, ZERO, SIZE, ONE, TINY, RAW, HALF = 0, 1, 2, 3, 4, 5, 6, 7, 8
OP_SNAPPED, OP_RAW, OP_PASS, OP_UNDO, OP_PAIR, OP_EDGE, OP_QUERY, OP_COPY, OP_REPLAY = 0, 2, 3, 4, 5, 6, 7, 8, 9


def size(index):
    """The board size at this index of the fuzzer's table (0: 18, 1: 6,
    3: 2, 7: 0, 11: NaN, 14: 1e120, 15: 1e-300)."""
    return bytes([index])


def raw(v):
    return bytes([RAW]) + struct.pack("<d", v)


def half(v):
    return bytes([HALF, int(v * 2)])


def special(kind, high=False):
    return bytes([kind + (128 if high else 0)])


def any_id(i):
    return bytes([240]) + struct.pack("<I", i)


def stone(white, x, y, captures=()):
    """A stone whose id is its delta's index in the log."""
    return bytes([0x11 if white else 0x01]) + x + y + bytes([len(captures)]) + b"".join(captures)


def pass_delta():
    return bytes([0, 0])


def log_of(game):
    """A game's deltas, positions as raw doubles, captures as raw ids."""
    out = []
    assert len(game.deltas()) <= 24, "the fuzzer reads at most 24 logged deltas"
    for i, d in enumerate(game.deltas()):
        if d.new_stone is None:
            out.append(pass_delta())
            continue
        s = d.new_stone
        assert s.id == i
        x, y = s.position
        out.append(stone(s.color == cv.Color.WHITE, raw(x), raw(y), [any_id(c) for c in d.captured_stone_ids]))
    return bytes([len(out)]) + b"".join(out)


def random_game(board, seed, turns):
    g = cv.Game(board)
    rng = random.Random(seed)
    for _ in range(turns):
        q = g.nearest_living_move((rng.uniform(0, board), rng.uniform(0, board)))
        if q is None:
            break
        try:
            g.try_move(q)
        except cv.CellvaneError:
            pass
    return g


def steps(*ops):
    return bytes([len(ops)]) + b"".join(ops)


def main():
    seeds = {}
    # An ordinary game on 18, played by snapped moves at half points.
    seeds["ordinary"] = size(0) + bytes([0]) + steps(
        *[bytes([OP_SNAPPED]) + half(x) + half(y) for x, y in [(4, 4), (14, 14), (4, 14), (14, 4), (9, 9), (6, 9)]],
        bytes([OP_PAIR, 0, 2]),
        bytes([OP_EDGE, 0, 2]),
        bytes([OP_QUERY]) + half(9) + half(9),
        bytes([OP_UNDO, 1]),
        bytes([OP_COPY]),
        bytes([OP_REPLAY]),
    )
    # A crowded 6 board with captures in its log, then play on it.
    game = random_game(6.0, 7, 24)
    assert sum(game.captures) > 0
    seeds["captures"] = size(1) + log_of(game) + steps(
        bytes([OP_SNAPPED]) + half(3) + half(3),
        bytes([OP_SNAPPED]) + half(1) + half(5),
        bytes([OP_UNDO, 2]),
        bytes([OP_PAIR, 0, 1]),
        bytes([OP_QUERY]) + half(2) + half(2),
        bytes([OP_REPLAY]),
    )
    # A hostile log: non-finite and huge positions, repeated and unknown ids.
    seeds["hostile_log"] = size(0) + bytes([6]) + b"".join(
        [
            stone(False, special(NAN), half(4)),
            stone(True, special(INF), special(INF, True)),
            stone(False, special(HUGE), special(ZERO, True)),
            stone(True, half(4), half(4)),
            stone(False, half(6), half(4), [bytes([0]), bytes([0]), any_id(3), any_id(99)]),
            bytes([0, 2, 3, 3]),  # a pass that captures
        ]
    ) + steps(bytes([OP_RAW]) + special(NAN) + special(TINY), bytes([OP_PASS]), bytes([OP_PASS]), bytes([OP_PASS]))
    # Hostile sizes: NaN, 1e120, zero and a tiny one, each with a few moves.
    for name, index in [("size_nan", 11), ("size_huge", 14), ("size_zero", 7), ("size_tiny", 15), ("size_two", 3)]:
        seeds[name] = size(index) + bytes([1]) + stone(False, special(ONE), special(SIZE)) + steps(
            bytes([OP_SNAPPED]) + special(ONE, True) + special(ONE),
            bytes([OP_EDGE, 0, 1]),
            bytes([OP_QUERY]) + special(SIZE) + special(ONE),
            bytes([OP_UNDO, 0]),
        )
    corpus = pathlib.Path(__file__).parent / "corpus"
    corpus.mkdir(exist_ok=True)
    for name, data in seeds.items():
        (corpus / name).write_bytes(data)


if __name__ == "__main__":
    main()

"""What a Python user relies on beyond the rules: copies and pickles of every
value, games sent to other processes and back, the notebook picture, weak
references, and the tour in README.md."""

import copy
import doctest
import gc
import multiprocessing
import pathlib
import pickle
import random
import weakref
import xml.etree.ElementTree as ET

import pytest
from conftest import CORNER, PAIR, play, random_play

from cellvane import BoardEdge, Color, CutError, CutKind, Game, GameDelta, GameStatus, OffBoardError

ROOT = pathlib.Path(__file__).resolve().parents[2]
ENUMS = [Color, BoardEdge, CutKind, GameStatus]
PROTOCOLS = range(pickle.HIGHEST_PROTOCOL + 1)


def played(seed, size=14.0, turns=120):
    """A random game with an undo now and then."""
    return random_play(Game(size), random.Random(seed), turns, undo_share=0.05)


def round_trips(value):
    yield copy.copy(value)
    yield copy.deepcopy(value)
    for protocol in PROTOCOLS:
        yield pickle.loads(pickle.dumps(value, protocol))


class TaggedDelta(GameDelta):
    """A subclass with an instance dictionary, as a host might annotate a log."""


# ------------------------------------------------------------------ values


@pytest.mark.parametrize("seed", [1, 2, 3])
def test_values_copy_and_pickle_to_equal_values(seed):
    game = played(seed)
    game.pass_turn()
    assert game.captures != (0, 0), "the position should hold captures"
    deltas = game.deltas()
    values = [*game.stones(), *deltas, *game.groups(), *game.dead_stones(Color.BLACK)]
    assert any(d.is_pass for d in deltas) and any(d.captured_stone_ids for d in deltas)
    for value in values:
        for back in round_trips(value):
            assert type(back) is type(value)
            assert back == value and not (back != value)
    assert copy.deepcopy(deltas) == deltas
    assert pickle.loads(pickle.dumps(game.groups())) == game.groups()

    # Enumeration members come back as the member, also from fresh instances.
    for enum in ENUMS:
        members = [value for name, value in vars(enum).items() if name.isupper()]
        assert len(members) >= 2
        for member in members:
            for back in round_trips(member):
                assert back is member
    for fresh in (game.pending_color, game.status, game.stones()[0].color):
        assert all(back is getattr(type(fresh), repr(fresh).split(".")[1]) for back in round_trips(fresh))

    # A subclass keeps its class and its attributes.
    tagged = TaggedDelta(deltas[0].new_stone, [])
    tagged.note = "opening"
    for back in round_trips(tagged):
        assert type(back) is TaggedDelta and back.note == "opening" and back == tagged


# ------------------------------------------------------------------- games


def snapshot(game):
    return (
        game.board_size,
        game.turn,
        game.status,
        game.captures,
        game.stones(),
        game.deltas(),
        game.groups(),
        game.territory(),
        game.dump_svg(),
    )


@pytest.mark.parametrize("seed", [4, 5])
def test_a_game_pickles_as_its_log(seed):
    game = played(seed)
    first = game.stones()[0].id
    answer = game.boundary_cuttable(first, BoardEdge.TOP)  # fills the cut memo
    assert any(d.captured_stone_ids for d in game.deltas()), "the position should hold forced eyes"
    for protocol in PROTOCOLS:
        back = pickle.loads(pickle.dumps(game, protocol))
        assert type(back) is Game and snapshot(back) == snapshot(game)
        # Not carried: the revision counts the log's turns only.
        assert back.revision == len(game.deltas()) < game.revision
        assert back.validate() is None
        assert back.boundary_cuttable(first, BoardEdge.TOP) == answer
        # The forced eyes came along: placeability agrees everywhere.
        rng = random.Random(seed)
        for _ in range(50):
            point = (rng.uniform(0.0, game.board_size), rng.uniform(0.0, game.board_size))
            assert back.nearest_living_move(point) == game.nearest_living_move(point)

    # An ended game stays ended.
    while not game.status.has_ended():
        game.pass_turn()
    assert pickle.loads(pickle.dumps(game)).status == GameStatus.ENDED

    # A subclass comes back as a plain Game, as its copies do.
    class Tagged(Game):
        pass

    tagged = Tagged(18.0)
    tagged.try_move((4.0, 4.0))
    back = pickle.loads(pickle.dumps(tagged))
    assert type(back) is Game and back.stones() == tagged.stones()


def test_pickles_written_by_version_1_0_1_load():
    # Written by the 1.0.1 build that was a single-file module, one pickle per
    # protocol of: play(PAIR + [None]) as "game", its stones, deltas and
    # groups, play(CORNER + [None, None]) as "ended", every enumeration member,
    # and an OffBoardError and a CutError raised by the engine.
    blobs = pickle.loads((ROOT / "tests/python/data/pickles-1.0.1.pickle").read_bytes())
    assert sorted(blobs) == list(range(6))
    game, ended = play(PAIR + [None]), play(CORNER + [None, None])
    for protocol, blob in blobs.items():
        payload = pickle.loads(blob)
        back = payload["game"]
        assert type(back) is Game and snapshot(back) == snapshot(game), protocol
        assert back.captures == (2, 0) and back.status == GameStatus.NEXT_PASS_ENDS
        assert payload["ended"].deltas() == ended.deltas() and payload["ended"].status == GameStatus.ENDED
        assert payload["stones"] == game.stones() and payload["deltas"] == game.deltas()
        assert payload["groups"] == game.groups()
        expected = [Color.BLACK, Color.WHITE, BoardEdge.LEFT, BoardEdge.RIGHT, BoardEdge.TOP, BoardEdge.BOTTOM,
                    CutKind.CONNECTED, CutKind.CUTTABLE, CutKind.TOO_FAR,
                    GameStatus.PLAYING, GameStatus.NEXT_PASS_ENDS, GameStatus.ENDED]
        assert all(a is b for a, b in zip(payload["members"], expected, strict=True))
        off, cut = payload["errors"]
        assert type(off) is OffBoardError and str(off) == "stone 3's centre (-1.5, 2) is not on the board"
        assert (off.stone, off.position) == (3, (-1.5, 2.0))
        assert type(cut) is CutError and cut.stones == [1]


def play_on(job):
    """Runs in a worker process: plays on from the game it was sent."""
    game, seed = job
    return random_play(game, random.Random(seed), 40, undo_share=0.05)


def test_games_travel_through_multiprocessing():
    games = [played(seed, turns=30) for seed in (6, 7, 8)]
    jobs = [(game, seed) for seed, game in enumerate(games)]
    # spawn: the worker is a fresh interpreter, so everything crosses as pickles.
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        results = pool.map(play_on, jobs)
    for (game, seed), result in zip(jobs, results):
        expected = play_on((copy.copy(game), seed))
        assert snapshot(result) == snapshot(expected)
        assert result.deltas()[: len(game.deltas())] == game.deltas()
        assert result.turn > game.turn


# ------------------------------------------------------------- notebooks


@pytest.mark.parametrize("seed", [None, 9])
def test_repr_svg_is_the_picture_at_480_pixels(seed):
    game = Game(18.0) if seed is None else played(seed, size=18.0)
    picture = ET.fromstring(game.dump_svg())
    screen = ET.fromstring(game._repr_svg_())
    assert (picture.get("width"), picture.get("height")) == ("18", "18")
    assert (screen.get("width"), screen.get("height")) == ("480", "480")
    assert screen.get("viewBox") == picture.get("viewBox") == "0 0 18 18"
    for root in (picture, screen):
        del root.attrib["width"], root.attrib["height"]
    assert ET.tostring(screen) == ET.tostring(picture)
    assert game._repr_svg_().count("\n") == game.dump_svg().count("\n")


# ---------------------------------------------------------- weak references


def test_games_accept_weak_references():
    class Tagged(Game):
        pass

    for make in (Game, Tagged):
        game = make(18.0)
        game.try_move((4.0, 4.0))
        ref = weakref.ref(game)
        cache = weakref.WeakValueDictionary({"g": game})
        proxy = weakref.proxy(game)
        assert ref() is game and cache["g"] is game and proxy.turn == 1
        del game
        gc.collect()
        assert ref() is None and "g" not in cache
        with pytest.raises(ReferenceError):
            proxy.turn


# ----------------------------------------------------------- documentation


def test_the_readme_tour_runs_as_written():
    result = doctest.testfile(str(ROOT / "README.md"), module_relative=False, optionflags=doctest.ELLIPSIS)
    assert result.attempted > 40 and result.failed == 0

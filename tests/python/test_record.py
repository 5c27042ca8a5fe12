"""Game records: the round trip through JSON text, the checked replay, and
what a malformed or forged record raises."""

import copy
import json
import math
import random
import re
from collections import Counter

import pytest
from conftest import PAIR, exact, play, random_play
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import cellvane as cv
from cellvane import Game

# JSON data as a host might file with a game.
json_data = st.recursive(
    st.none() | st.booleans() | st.integers() | st.floats(allow_nan=False, allow_infinity=False) | st.text(),
    lambda inner: st.lists(inner, max_size=3) | st.dictionaries(st.text(), inner, max_size=3),
    max_leaves=8,
)


def observed(game):
    """What a game shows, floats by their bits."""
    return (
        exact(game.board_size),
        [(d.new_stone and (d.new_stone.id, d.new_stone.color, exact(d.new_stone.position)), d.captured_stone_ids)
         for d in game.deltas()],
        game.turn,
        game.status,
        game.captures,
        game.stones(),
    )


def test_every_played_game_round_trips_through_json_and_passes_the_check():
    seen = Counter()

    @settings(max_examples=60, deadline=None, suppress_health_check=[HealthCheck.too_slow])
    @given(
        seed=st.integers(0, 2**32 - 1),
        size=st.sampled_from([5.5, 9.0, 14.0, 18.0]),
        turns=st.integers(0, 150),
        undo_share=st.sampled_from([0.0, 0.1]),
        end=st.booleans(),
        metadata=st.none() | st.dictionaries(st.text(), json_data, max_size=4),
    )
    def check(seed, size, turns, undo_share, end, metadata):
        game = random_play(Game(size), random.Random(seed), turns, undo_share=undo_share)
        while end and not game.status.has_ended():
            game.pass_turn()
        record = game.to_record()
        assert record["metadata"] == {}
        if metadata is not None:
            record["metadata"] = metadata
        text = json.dumps(record, allow_nan=False)
        for verify in (False, True):
            back = Game.from_record(json.loads(text), verify)
            assert type(back) is Game and observed(back) == observed(game)
            assert json.dumps(back.to_record(), allow_nan=False) == text
            assert back.validate() is None
        deltas = game.deltas()
        seen["captures"] += any(d.captured_stone_ids for d in deltas)
        seen["passes"] += any(d.is_pass for d in deltas)
        seen["ended"] += game.status.has_ended()
        seen["undos"] += game.revision > 3 * len(deltas)

    check()
    assert min(seen[k] for k in ("captures", "passes", "ended", "undos")) >= 5, seen


def test_records_keep_their_metadata_and_their_class():
    record = play(PAIR + [None]).to_record()
    record["metadata"] = {"players": ["Ann", "Bo"], "komi": 6.5, "result": None, "rated": True}
    given = copy.deepcopy(record)

    class Tagged(Game):
        def __init__(self, note):  # another constructor: from_record does not call it
            raise AssertionError

    for verify in (False, True):
        game = Tagged.from_record(given, verify=verify)
        assert type(game) is Tagged and game.deltas() == play(PAIR + [None]).deltas()
        game.try_move((1.0, 1.0))
        game.undo_move()
        game.pass_turn()
        written = game.to_record()
        assert written["metadata"] == record["metadata"] and len(written["turns"]) == 13
        # The game keeps its own copy: changing either record changes nothing else.
        written["metadata"]["players"].append("Cy")
        given["metadata"]["komi"] = 0.5
        assert game.to_record()["metadata"] == record["metadata"]
        given = copy.deepcopy(record)
    # Metadata belongs to the game object from_record answered, not to copies.
    assert copy.copy(game).to_record()["metadata"] == {}
    del record["metadata"]  # optional when read
    assert Game.from_record(record).to_record()["metadata"] == {}


def test_board_sizes_json_cannot_hold_are_refused():
    for size in (math.nan, math.inf, -math.inf):
        with pytest.raises(ValueError, match="board_size is .*which a record cannot hold: JSON has no NaN or infinity"):
            Game(size).to_record()
    game = Game(-0.0)
    game.pass_turn()
    back = Game.from_record(json.loads(json.dumps(game.to_record())))
    assert exact(back.board_size) == exact(-0.0) and back.turn == 1


# ------------------------------------------------------------ bad records


def base_record():
    """Turn 10 captures [1, 3]; turn 11 is a pass."""
    return play(PAIR + [None]).to_record()


def at(path, value):
    """A change that sets the field at `path` ("turns.3.stone.x") to `value`,
    or deletes it when `value` is DELETE."""

    def change(record):
        *parents, last = [int(p) if p.isdigit() else p for p in path.split(".")]
        node = record
        for key in parents:
            node = node[key]
        if value is DELETE:
            del node[last]
        else:
            node[last] = value

    return change


DELETE = object()


def swap_first_turns(record):
    record["turns"][0], record["turns"][1] = record["turns"][1], record["turns"][0]


def pile_turn_2_on_turn_0(record):
    record["turns"][2]["stone"].update(x=6.0, y=9.0)


def two_more_passes(record):
    record["turns"] += [{"stone": None, "captured": []}] * 2


# Records play would never write: (change, what the check says, what a replay
# without the check does: None when it replays, else the exception it raises).
FORGED = [
    (at("turns.10.captured", [1]), "turn 10: stone 10 captures [1] in the record where play captures [1, 3]", None),
    (at("turns.6.captured", [5]), "turn 6: stone 6 captures [5] in the record where play captures []", None),
    (swap_first_turns, "turn 0: places stone 1 where play places stone 0", None),
    # The replay takes it, then finds id 5 already in play at turn 5.
    (at("turns.2.stone.id", 5), "turn 2: places stone 5 where play places stone 2", cv.StoneExistsError),
    (pile_turn_2_on_turn_0, "turn 2: play refuses stone 2: no stone may be placed at (6, 9)", None),
    (at("turns.1.stone.color", "black"), "turn 1: places a black stone where play places a white one", None),
    (at("turns.11.captured", [0]), "turn 11: a pass that captures [0]; a pass captures nothing",
     cv.PassCapturesError),
    (two_more_passes, "turn 13: comes after the game ended on two passes in a row", cv.GameOverError),
    (at("turns.4.captured", [9]), "turn 4: stone 4 captures [9] in the record where play captures []",
     cv.NoSuchStoneError),
]

NOT_READ = "this build reads 'cellvane-game' records of version 1"
# Malformed records: (change, message), refused with ValueError with or without the check.
MALFORMED = [
    (at("format", DELETE), f"not a cellvane game record (no format): {NOT_READ}"),
    (at("format", "chess-pgn"), f"not a cellvane game record (format 'chess-pgn'): {NOT_READ}"),
    (at("version", 2), "'cellvane-game' record of version 2: this build reads version 1"),
    (at("version", "1"), "'cellvane-game' record of version '1': this build reads version 1"),
    (at("version", True), "'cellvane-game' record of version True: this build reads version 1"),
    (at("version", DELETE), "'cellvane-game' record of no version: this build reads version 1"),
    (at("komi", 6.5), "record: unknown field 'komi'"),
    (at("board_size", DELETE), "board_size: missing"),
    (at("board_size", "18"), "board_size: expected a number, found a string"),
    (at("board_size", True), "board_size: expected a number, found the boolean true"),
    (at("board_size", math.nan), "board_size: nan is not a finite number"),
    (at("board_size", 10**400), f"board_size: 1{'0' * 35}... has no exact float"),
    (at("board_size", 2**53 + 1), "board_size: 9007199254740993 has no exact float"),
    (at("turns", {}), "turns: expected an array, found an object"),
    (at("turns.3", 5), "turns[3]: expected an object, found the number 5"),
    (at("turns.3.captured", DELETE), "turns[3].captured: missing"),
    (at("turns.3.time", 1.5), "turns[3]: unknown field 'time'"),
    (at("turns.3.stone.x", "8.0"), "turns[3].stone.x: expected a number, found a string"),
    (at("turns.3.stone.y", math.inf), "turns[3].stone.y: inf is not a finite number"),
    (at("turns.3.stone.id", DELETE), "turns[3].stone.id: missing"),
    (at("turns.3.stone.id", -1), "turns[3].stone.id: id -1 is not between 0 and 4294967295"),
    (at("turns.3.stone.id", 2**32), "turns[3].stone.id: id 4294967296 is not between 0 and 4294967295"),
    (at("turns.3.stone.id", True), "turns[3].stone.id: expected an integer id, found the boolean true"),
    (at("turns.3.stone.id", 3.0), "turns[3].stone.id: expected an integer id, found the number 3.0"),
    (at("turns.3.stone.color", "red"), "turns[3].stone.color: expected \"black\" or \"white\", found 'red'"),
    (at("turns.3.stone.color", 1), "turns[3].stone.color: expected \"black\" or \"white\", found the number 1"),
    (at("turns.3.stone", [8.0, 9.0]), "turns[3].stone: expected an object, found an array"),
    (at("turns.10.captured", "13"), "turns[10].captured: expected an array, found a string"),
    (at("turns.10.captured.1", -3), "turns[10].captured[1]: id -3 is not between 0 and 4294967295"),
    (at("metadata", []), "metadata: expected an object, found an array"),
    (at("metadata", {"when": {1, 2}}), "metadata.when: a set is not JSON data"),
    (at("metadata", {"a b": [0, math.nan]}), "metadata['a b'][1]: nan is not a finite number"),
    (at("metadata", {1: "x"}), "metadata: key 1 is not a string"),
]


@pytest.mark.parametrize("change, message, unchecked", FORGED)
def test_the_check_refuses_what_play_would_not_write(change, message, unchecked):
    record = base_record()
    change(record)
    with pytest.raises(ValueError, match=f"^{re.escape(message)}$") as refused:
        Game.from_record(record, verify=True)
    assert not isinstance(refused.value, cv.CellvaneError)
    if unchecked is None:
        # Replayed as Game.replay replays a log: taken as the record gives it.
        game = Game.from_record(record)
        assert game.to_record() == record
    else:
        with pytest.raises(unchecked):
            Game.from_record(record)


@pytest.mark.parametrize("change, message", MALFORMED)
def test_malformed_records_name_the_field(change, message):
    record = base_record()
    change(record)
    for verify in (False, True):
        with pytest.raises(ValueError, match=f"^{re.escape(message)}$"):
            Game.from_record(record, verify)


def test_a_record_that_is_not_a_mapping_is_a_type_error():
    for bad in ([], "{}", None, 5):
        with pytest.raises(TypeError, match="^a record is a mapping, as Game.to_record writes it, not "):
            Game.from_record(bad)
    with pytest.raises(TypeError):
        Game.from_record()

"""Game records: a game as plain data that JSON carries, and back.

`Game.to_record` and `Game.from_record` (methods of the compiled class) call
`to_record`, `read_record` and `keep_metadata` here. A record of version 1:

    {"format": "cellvane-game", "version": 1, "board_size": 18.0,
     "turns": [{"stone": {"id": 0, "color": "black", "x": 3.0, "y": 1.0}, "captured": []},
               {"stone": None, "captured": []}],
     "metadata": {}}

Every field is required except `metadata`, and no other field is read: a
later version that adds one carries a higher version number, which this
reader refuses by naming the versions it reads. Numbers are finite (JSON has
no NaN or infinity); ids are integers from 0 to 2**32 - 1.
"""

from __future__ import annotations

import math
import weakref
from collections.abc import Mapping, Sequence
from typing import Any, TypeAlias, Union

from cellvane import Color, Game, GameDelta, Stone, StonePlayError

FORMAT = "cellvane-game"
VERSION = 1
# The versions this build reads.
READS = (1,)
MAX_ID = 2**32 - 1

COLORS = {color.label: color for color in (Color.BLACK, Color.WHITE)}

# JSON data as Python holds it.
Json: TypeAlias = Union[None, bool, int, float, str, list["Json"], dict[str, "Json"]]


# ---------------------------------------------------------------- metadata

# The metadata of the games from_record built, by the game's id, with a weak
# reference that drops the entry when the game goes. Games carry no host data
# of their own; copies and pickles of a game do not carry it either.
_kept: dict[int, tuple[weakref.ref[Game], dict[str, Json]]] = {}


def keep_metadata(game: Game, metadata: dict[str, Json]) -> None:
    """Files `metadata` (already checked and copied) for `game`."""
    if not metadata:
        return
    key = id(game)

    def forget(ref: weakref.ref[Game]) -> None:
        if _kept.get(key, (None,))[0] is ref:
            del _kept[key]

    _kept[key] = (weakref.ref(game, forget), metadata)


def metadata_of(game: Game) -> dict[str, Json]:
    entry = _kept.get(id(game))
    if entry is None or entry[0]() is not game:
        return {}
    return entry[1]


# ------------------------------------------------------------------ writing


def to_record(game: Game) -> dict[str, Any]:
    """The record of `game`; see the module's docstring."""
    board_size = game.board_size
    turns: list[Json] = []
    for index, delta in enumerate(game.deltas()):
        stone = delta.new_stone
        placed: Json = None
        if stone is not None:
            x, y = stone.position
            placed = {
                "id": stone.id,
                "color": stone.color.label,
                "x": _writable(x, f"turns[{index}].stone.x"),
                "y": _writable(y, f"turns[{index}].stone.y"),
            }
        captured: list[Json] = [*delta.captured_stone_ids]
        turns.append({"stone": placed, "captured": captured})
    return {
        "format": FORMAT,
        "version": VERSION,
        "board_size": _writable(board_size, "board_size"),
        "turns": turns,
        "metadata": _json_copy(metadata_of(game), "metadata"),
    }


def _writable(number: float, path: str) -> float:
    if not math.isfinite(number):
        raise ValueError(f"{path} is {number!r}, which a record cannot hold: JSON has no NaN or infinity")
    return number


# ------------------------------------------------------------------ reading


def read_record(record: object, verify: bool) -> tuple[float, list[GameDelta], dict[str, Json]]:
    """The board size, the turns as deltas and a copy of the metadata of a
    record, every field checked; with `verify`, every turn checked against
    play. Raises ValueError naming what is wrong (TypeError when `record` is
    not a mapping)."""
    if not isinstance(record, Mapping):
        raise TypeError(f"a record is a mapping, as Game.to_record writes it, not {_kind(record)}")
    reads = " or ".join(str(v) for v in READS)
    found = record.get("format")
    if found != FORMAT:
        what = "no format" if "format" not in record else f"format {_shown(found)}"
        raise ValueError(f"not a cellvane game record ({what}): this build reads {FORMAT!r} records of version {reads}")
    version = record.get("version")
    if type(version) is not int or version not in READS:
        what = "no version" if "version" not in record else f"version {_shown(version)}"
        raise ValueError(f"{FORMAT!r} record of {what}: this build reads version {reads}")
    fields = _fields(record, "", ("format", "version", "board_size", "turns"), ("metadata",))

    board_size = _number(fields["board_size"], "board_size")
    turns = _array(fields["turns"], "turns")
    deltas = [_delta(turn, f"turns[{index}]") for index, turn in enumerate(turns)]
    metadata = fields.get("metadata", {})
    if not isinstance(metadata, Mapping):
        raise ValueError(f"metadata: expected an object, found {_kind(metadata)}")
    kept = _json_copy(metadata, "metadata")
    assert isinstance(kept, dict)
    if verify:
        _check_by_play(board_size, deltas)
    return board_size, deltas, kept


def _delta(turn: object, path: str) -> GameDelta:
    fields = _fields(turn, path, ("stone", "captured"))
    placed = fields["stone"]
    stone = None
    if placed is not None:
        at = f"{path}.stone"
        s = _fields(placed, at, ("id", "color", "x", "y"))
        position = (_number(s["x"], f"{at}.x"), _number(s["y"], f"{at}.y"))
        stone = Stone(_id(s["id"], f"{at}.id"), _color(s["color"], f"{at}.color"), position)
    captured = _array(fields["captured"], f"{path}.captured")
    ids = [_id(value, f"{path}.captured[{i}]") for i, value in enumerate(captured)]
    return GameDelta(stone, ids)


def _check_by_play(board_size: float, deltas: list[GameDelta]) -> None:
    """Plays the turns on a board of its own and raises ValueError at the first
    one that differs from what play makes."""
    game = Game(board_size)
    for index, delta in enumerate(deltas):
        turn = f"turn {index}"
        stone = delta.new_stone
        captured = delta.captured_stone_ids
        if game.status.has_ended():
            raise ValueError(f"{turn}: comes after the game ended on two passes in a row")
        if stone is None:
            if captured:
                raise ValueError(f"{turn}: a pass that captures {captured}; a pass captures nothing")
            game.pass_turn()
            continue
        if stone.id != game.turn:
            raise ValueError(f"{turn}: places stone {stone.id} where play places stone {game.turn}")
        if stone.color != game.pending_color:
            raise ValueError(
                f"{turn}: places a {stone.color.label} stone where play places a {game.pending_color.label} one"
            )
        try:
            played = game.try_move(stone.position)
        except StonePlayError as refused:
            raise ValueError(f"{turn}: play refuses stone {stone.id}: {refused}") from refused
        if played.captured_stone_ids != captured:
            raise ValueError(
                f"{turn}: stone {stone.id} captures {captured} in the record where play captures "
                f"{played.captured_stone_ids}"
            )


# -------------------------------------------------------------- the fields


def _name(path: str) -> str:
    return path or "record"


def _shown(value: object) -> str:
    """The repr of a value read from a record, cut short for a message."""
    text = repr(value)
    return text if len(text) <= 40 else f"{text[:36]}..."


def _kind(value: object) -> str:
    """What a value is, in JSON's terms where it has one."""
    if value is None:
        return "null"
    if isinstance(value, bool):
        return f"the boolean {'true' if value else 'false'}"
    if isinstance(value, (int, float)):
        return f"the number {_shown(value)}"
    if isinstance(value, str):
        return "a string"
    if isinstance(value, Mapping):
        return "an object"
    if isinstance(value, (list, tuple)):
        return "an array"
    return f"a {type(value).__name__}"


def _fields(
    value: object, path: str, required: tuple[str, ...], optional: tuple[str, ...] = ()
) -> Mapping[str, object]:
    """An object with every required field and no field but these."""
    if not isinstance(value, Mapping):
        raise ValueError(f"{_name(path)}: expected an object, found {_kind(value)}")
    prefix = f"{path}." if path else ""
    for name in required:
        if name not in value:
            raise ValueError(f"{prefix}{name}: missing")
    for name in value:
        if name not in required and name not in optional:
            raise ValueError(f"{_name(path)}: unknown field {_shown(name)}")
    return value


def _array(value: object, path: str) -> Sequence[object]:
    if not isinstance(value, (list, tuple)):
        raise ValueError(f"{path}: expected an array, found {_kind(value)}")
    return value


def _number(value: object, path: str) -> float:
    """A finite float; an integer is taken when a float holds it exactly."""
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise ValueError(f"{path}: expected a number, found {_kind(value)}")
    if isinstance(value, int):
        try:
            number = float(value)
        except OverflowError:
            number = math.inf
        if number != value:
            raise ValueError(f"{path}: {_shown(value)} has no exact float")
    else:
        number = float(value)
    if not math.isfinite(number):
        raise ValueError(f"{path}: {number!r} is not a finite number")
    return number


def _id(value: object, path: str) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise ValueError(f"{path}: expected an integer id, found {_kind(value)}")
    if not 0 <= value <= MAX_ID:
        raise ValueError(f"{path}: id {_shown(value)} is not between 0 and {MAX_ID}")
    return int(value)


def _color(value: object, path: str) -> Color:
    if not isinstance(value, str) or value not in COLORS:
        shown = _shown(value) if isinstance(value, str) else _kind(value)
        raise ValueError(f'{path}: expected "black" or "white", found {shown}')
    return COLORS[value]


def _json_copy(value: object, path: str) -> Json:
    """A copy of JSON data made of dicts and lists, checked to be JSON data."""
    if value is None or isinstance(value, bool):
        return value
    if isinstance(value, str):
        return str(value)
    if isinstance(value, int):
        return int(value)
    if isinstance(value, float):
        if not math.isfinite(value):
            raise ValueError(f"{path}: {value!r} is not a finite number")
        return float(value)
    if isinstance(value, Mapping):
        copy: dict[str, Json] = {}
        for key, item in value.items():
            if not isinstance(key, str):
                raise ValueError(f"{path}: key {_shown(key)} is not a string")
            copy[key] = _json_copy(item, f"{path}.{key}" if key.isidentifier() else f"{path}[{_shown(key)}]")
        return copy
    if isinstance(value, (list, tuple)):
        return [_json_copy(item, f"{path}[{i}]") for i, item in enumerate(value)]
    raise ValueError(f"{path}: {_kind(value)} is not JSON data")

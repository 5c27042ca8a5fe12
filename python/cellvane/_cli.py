"""The command line, `python -m cellvane`: replay and check game records, draw
a position, and play random games in worker processes.

Every failure the user can cause (a missing or malformed file, a record that
does not replay, a bad option) is reported as one line on stderr with a
non-zero exit status, never as a traceback.
"""

from __future__ import annotations

import argparse
import importlib
import json
import os
import signal
import sys
from collections.abc import Callable, Sequence
from concurrent.futures import ProcessPoolExecutor, as_completed
from pathlib import Path
from typing import Any, NamedTuple, NoReturn

import cellvane as cv
from cellvane.selfplay import opening, play_out

PROG = "python -m cellvane"

# Board sizes selfplay accepts: those on which play is supported (README,
# "Board sizes that play correctly").
MIN_BOARD_SIZE, MAX_BOARD_SIZE = 4.0, 1e8


class CommandError(Exception):
    """A failure reported as one line, after the program's name."""


class Parser(argparse.ArgumentParser):
    """argparse, with usage errors reported on one line."""

    def error(self, message: str) -> NoReturn:
        self.exit(2, f"{self.prog}: error: {message} (see {self.prog} --help)\n")


def main(argv: Sequence[str] | None = None) -> int:
    args = parser().parse_args(argv)
    command: Callable[[argparse.Namespace], int] = args.command
    try:
        return command(args)
    except CommandError as error:
        print(f"{PROG}: error: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print(f"{PROG}: interrupted", file=sys.stderr)
        return 130


def parser() -> Parser:
    top = Parser(prog=PROG, description="Replay, check, draw and play games of cellvane.")
    top.add_argument("--version", action="version", version=f"cellvane {cv.version()}")
    commands = top.add_subparsers(title="commands", metavar="COMMAND", required=True)

    def command(run: Callable[[argparse.Namespace], int], summary: str, description: str) -> argparse.ArgumentParser:
        sub = commands.add_parser(run.__name__.removesuffix("_command"), help=summary, description=description)
        sub.set_defaults(command=run)
        return sub

    replay = command(
        replay_command,
        "load a game record and print a summary",
        "Loads a game record and prints its board size, turns, captures, status and territory.",
    )
    replay.add_argument("file", metavar="FILE", help="a game record (JSON, as Game.to_record writes it)")
    replay.add_argument("--verify", action="store_true", help="check every turn against play (for untrusted records)")

    show = command(
        show_command,
        "draw the position of a game record",
        "Draws the position after a given number of turns of a game record.",
    )
    show.add_argument("file", metavar="FILE", help="a game record")
    show.add_argument("-o", "--output", metavar="OUT", required=True, help=f"the picture ({', '.join(PICTURES)})")
    show.add_argument("--turn", metavar="N", type=int, help="the position after the first N turns (default: all)")

    selfplay = command(
        selfplay_command,
        "play random games and write their records",
        "Plays random games (random points snapped to placeable ones, after a stone near each corner) in "
        "worker processes and writes one record per game, named by its number. Game i plays with seed K + i: "
        "the same seed writes the same files, whatever the number of workers.",
    )
    selfplay.add_argument("--games", metavar="N", type=count(0), default=16, help="how many games (default 16)")
    selfplay.add_argument(
        "--workers", metavar="W", type=count(1), default=os.cpu_count() or 1, help="worker processes (default: cores)"
    )
    selfplay.add_argument(
        "--board-size",
        metavar="S",
        type=board_size,
        default=18.0,
        help=f"side of the board, {MIN_BOARD_SIZE:.0f} to {MAX_BOARD_SIZE:.0f} (default 18)",
    )
    selfplay.add_argument("--seed", metavar="K", type=int, default=1, help="seed of the first game (default 1)")
    selfplay.add_argument("-o", "--output", metavar="DIR", required=True, help="folder for the records")
    return top


def count(least: int) -> Callable[[str], int]:
    def parse(text: str) -> int:
        value = int(text)
        if value < least:
            raise argparse.ArgumentTypeError(f"{value} is less than {least}")
        return value

    parse.__name__ = "count"
    return parse


def board_size(text: str) -> float:
    value = float(text)
    if not MIN_BOARD_SIZE <= value <= MAX_BOARD_SIZE:
        raise argparse.ArgumentTypeError(f"{text} is not between {MIN_BOARD_SIZE:.0f} and {MAX_BOARD_SIZE:.0f}")
    return value


# ------------------------------------------------------------------ records


def load(path: str, verify: bool) -> cv.Game:
    """The game of the record in the file `path`."""
    try:
        text = Path(path).read_text(encoding="utf-8")
    except (OSError, UnicodeDecodeError) as error:
        raise CommandError(f"{path}: {describe(error)}") from error
    try:
        record = json.loads(text)
    except (ValueError, RecursionError) as error:
        raise CommandError(f"{path}: not JSON: {describe(error)}") from error
    try:
        return cv.Game.from_record(record, verify)
    except (ValueError, TypeError, RecursionError, cv.CellvaneError) as error:
        raise CommandError(f"{path}: {describe(error)}") from error


def describe(error: BaseException) -> str:
    """An exception's message on one line."""
    if isinstance(error, OSError) and error.strerror:
        return error.strerror
    return " ".join(str(error).split()) or type(error).__name__


STATUS = ["playing", "next pass ends", "ended"]  # by GameStatus value


def replay_command(args: argparse.Namespace) -> int:
    game = load(args.file, args.verify)
    deltas = game.deltas()
    passes = sum(1 for delta in deltas if delta.is_pass)
    black, white = game.territory()
    lines = [
        f"board size  {game.board_size!r}",
        f"turns       {len(deltas)} ({passes} {'pass' if passes == 1 else 'passes'})",
        f"captures    black {game.captures[0]}, white {game.captures[1]}",
        f"status      {STATUS[int(game.status)]}",
        f"territory   black {black:.2f}, white {white:.2f}",
    ]
    if args.verify:
        lines.append("verified    every turn is the one play makes")
    print("\n".join(lines))
    return 0


# The pictures `show` writes, by the suffix of the file: the text of the
# picture of a game.
PICTURES: dict[str, Callable[[cv.Game], str]] = {
    ".svg": cv.Game.dump_svg,
}


def show_command(args: argparse.Namespace) -> int:
    output = Path(args.output)
    draw = PICTURES.get(output.suffix.lower())
    if draw is None:
        suffix = output.suffix or "no suffix"
        raise CommandError(f"{output}: the picture is written as {' or '.join(PICTURES)}, not {suffix}")
    game = load(args.file, verify=False)
    deltas = game.deltas()
    turns = len(deltas) if args.turn is None else args.turn
    if not 0 <= turns <= len(deltas):
        raise CommandError(f"--turn {turns}: the record has {len(deltas)} turns, so N is 0 to {len(deltas)}")
    if turns < len(deltas):
        game = cv.Game.replay(game.board_size, deltas[:turns])
    try:
        output.write_text(draw(game), encoding="utf-8")
    except OSError as error:
        raise CommandError(f"{output}: {describe(error)}") from error
    print(f"wrote {output}: the position after {turns} of {len(deltas)} turns")
    return 0


# ---------------------------------------------------------------- self-play


class Played(NamedTuple):
    """One self-played game: its record as the text of its file, and its score."""

    text: str
    turns: int
    black: float
    white: float


def play_one(size: float, seed: int) -> Played:
    """Runs in a worker: one game from the opening, with `seed`."""
    game = play_out(opening(size), seed)
    record = game.to_record()
    record["metadata"] = {"seed": seed}
    black, white = game.territory()
    return Played(record_text(record), game.turn, black, white)


def record_text(record: dict[str, Any]) -> str:
    """The text of a record file: JSON with a field, or a turn, per line."""
    fields = []
    for key, value in record.items():
        text = json.dumps(value, allow_nan=False)
        if key == "turns" and value:
            turns = ",\n".join(f"    {json.dumps(turn, allow_nan=False)}" for turn in value)
            text = f"[\n{turns}\n  ]"
        fields.append(f"  {json.dumps(key)}: {text}")
    return "{\n" + ",\n".join(fields) + "\n}\n"


def ignore_interrupts() -> None:
    """Workers leave Ctrl-C to the parent, which stops handing out games."""
    signal.signal(signal.SIGINT, signal.SIG_IGN)


class Progress:
    """A tqdm progress bar when tqdm is installed, else a line per game."""

    def __init__(self, total: int) -> None:
        self.total = total
        self.done = 0
        try:
            tqdm = importlib.import_module("tqdm").tqdm
        except ImportError:
            self.bar = None
        else:
            self.bar = tqdm(total=total, unit="game", file=sys.stderr)

    def step(self, name: str, played: Played) -> None:
        self.done += 1
        if self.bar is not None:
            self.bar.update(1)
        else:
            print(
                f"[{self.done}/{self.total}] {name}: {played.turns} turns, "
                f"black {played.black:.2f}, white {played.white:.2f}",
                file=sys.stderr,
                flush=True,
            )

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()


def selfplay_command(args: argparse.Namespace) -> int:
    games: int = args.games
    folder = Path(args.output)
    try:
        folder.mkdir(parents=True, exist_ok=True)
    except OSError as error:
        raise CommandError(f"{folder}: {describe(error)}") from error
    width = len(str(max(games - 1, 0)))
    names = [f"game-{i:0{width}d}.json" for i in range(games)]
    scores: dict[int, Played] = {}  # by game number, summed in that order
    progress = Progress(games)
    pool = ProcessPoolExecutor(max_workers=args.workers, initializer=ignore_interrupts)
    try:
        jobs = {pool.submit(play_one, args.board_size, args.seed + i): i for i in range(games)}
        for job in as_completed(jobs):
            played = job.result()
            number = jobs[job]
            name = names[number]
            try:
                (folder / name).write_text(played.text, encoding="utf-8")
            except OSError as error:
                raise CommandError(f"{folder / name}: {describe(error)}") from error
            scores[number] = played
            progress.step(name, played)
    finally:
        pool.shutdown(wait=True, cancel_futures=True)
        progress.close()
    print(summary([scores[i] for i in range(games)], folder))
    return 0


def summary(scores: Sequence[Played], folder: Path) -> str:
    """The scores of the games: wins by territory and the mean territories."""
    n = len(scores)
    black = sum(1 for s in scores if s.black > s.white)
    white = sum(1 for s in scores if s.white > s.black)
    mean_black = sum(s.black for s in scores) / n if n else 0.0
    mean_white = sum(s.white for s in scores) / n if n else 0.0
    return (
        f"{n} {'game' if n == 1 else 'games'} written to {folder}: Black won {black}, White won {white}, "
        f"{n - black - white} drawn; mean territory Black {mean_black:.2f}, White {mean_white:.2f}"
    )

"""The command line, run as users run it: `python -m cellvane` in a process of
its own, whose files the test process reads back."""

import importlib.util
import json
import re
import subprocess
import sys

from conftest import PAIR, play

from cellvane import Game
from cellvane.selfplay import opening, play_out

# The command line with tqdm made unimportable: the plain progress lines.
WITHOUT_TQDM = "import sys; sys.modules['tqdm'] = None; from cellvane._cli import main; sys.exit(main(sys.argv[1:]))"


def cellvane(*args, tqdm=True):
    command = [sys.executable, "-m", "cellvane"] if tqdm else [sys.executable, "-c", WITHOUT_TQDM]
    return subprocess.run([*command, *map(str, args)], capture_output=True, text=True, timeout=600)


def test_selfplay_writes_the_same_records_whatever_the_number_of_workers(tmp_path):
    runs = {}
    for workers, tqdm in ((2, True), (1, False)):
        folder = tmp_path / f"w{workers}"
        args = ["--games", 5, "--workers", workers, "--board-size", 12, "--seed", 7, "-o", folder]
        done = cellvane("selfplay", *args, tqdm=tqdm)
        assert done.returncode == 0, done.stderr
        files = {path.name: path.read_text() for path in sorted(folder.iterdir())}
        runs[workers] = (files, done.stdout.replace(str(folder), "DIR"), done.stderr)
    assert runs[1][:2] == runs[2][:2]
    files, summary, _ = runs[1]
    assert list(files) == [f"game-{i}.json" for i in range(5)]
    lines = runs[1][2].splitlines()
    line = r"\[\d/5\] game-\d\.json: \d+ turns, black \S+, white \S+"
    assert len(lines) == 5 and all(re.fullmatch(line, s) for s in lines)
    if importlib.util.find_spec("tqdm"):
        assert "5/5" in runs[2][2] and "[5/5] game" not in runs[2][2]

    # Each file is the record of the game the self-play functions play with
    # its seed, and passes the check in this process.
    black_wins = white_wins = 0
    for i, text in enumerate(files.values()):
        game = Game.from_record(json.loads(text), verify=True)
        expected = play_out(opening(12.0), 7 + i)
        assert game.deltas() == expected.deltas() and game.status == expected.status
        assert game.to_record()["metadata"] == {"seed": 7 + i}
        black, white = game.territory()
        black_wins += black > white
        white_wins += white > black
    assert summary.startswith(f"5 games written to DIR: Black won {black_wins}, White won {white_wins}, ")


def test_replay_prints_a_summary_and_show_writes_the_picture(tmp_path):
    game = play(PAIR + [None])
    path = tmp_path / "pair.json"
    path.write_text(json.dumps(game.to_record()))
    black, white = game.territory()
    expected = [
        "board size  18.0",
        "turns       12 (1 pass)",
        "captures    black 2, white 0",
        "status      next pass ends",
        f"territory   black {black:.2f}, white {white:.2f}",
    ]
    for verify in ([], ["--verify"]):
        done = cellvane("replay", path, *verify)
        assert (done.returncode, done.stderr) == (0, "")
        assert done.stdout.splitlines() == expected + ["verified    every turn is the one play makes"] * len(verify)

    for turn, args in ((12, []), (3, ["--turn", 3]), (0, ["--turn", 0])):
        out = tmp_path / f"after-{turn}.svg"
        done = cellvane("show", path, "-o", out, *args)
        assert done.returncode == 0, done.stderr
        assert out.read_text() == Game.replay(18.0, game.deltas()[:turn]).dump_svg()
        assert done.stdout == f"wrote {out}: the position after {turn} of 12 turns\n"


def test_failures_are_one_line_on_stderr(tmp_path):
    good = play(PAIR).to_record()
    forged = json.loads(json.dumps(good))
    forged["turns"][2]["stone"]["id"] = 5
    files = {
        "good.json": json.dumps(good),
        "forged.json": json.dumps(forged),
        "v2.json": json.dumps({**good, "version": 2}),
        "broken.json": '{"format": ',
        "list.json": "[]",
        "latin1.json": b"\xff".decode("latin-1"),
    }
    for name, text in files.items():
        (tmp_path / name).write_text(text, encoding="latin-1" if name == "latin1.json" else "utf-8")
    cases = [
        (["replay", "missing.json"], 1, "missing.json: No such file or directory"),
        (["replay", "broken.json"], 1, "broken.json: not JSON: Expecting value: line 1 column 12 (char 11)"),
        (["replay", "latin1.json"], 1, "latin1.json: 'utf-8' codec can't decode byte 0xff in position 0"),
        (["replay", "list.json"], 1, "list.json: a record is a mapping, as Game.to_record writes it, not an array"),
        (["replay", "v2.json"], 1, "v2.json: 'cellvane-game' record of version 2: this build reads version 1"),
        (["replay", "forged.json", "--verify"], 1, "forged.json: turn 2: places stone 5 where play places stone 2"),
        (["replay", "forged.json"], 1, "forged.json: stone 5 is already on the board"),
        (["show", "good.json", "-o", "out.svg", "--turn", 12], 1, "--turn 12: the record has 11 turns, so N is 0 to 11"),
        (["show", "good.json", "-o", "out.png"], 1, "out.png: the picture is written as .svg, not .png"),
        (["selfplay", "--board-size", "nan", "-o", "games"], 2,
         "selfplay: error: argument --board-size: nan is not between 4 and 100000000"),
        (["selfplay", "--workers", "0", "-o", "games"], 2, "selfplay: error: argument --workers: 0 is less than 1"),
        ([], 2, "error: the following arguments are required: COMMAND"),
    ]
    for args, status, message in cases:
        command = [sys.executable, "-m", "cellvane", *map(str, args)]
        done = subprocess.run(command, capture_output=True, text=True, cwd=tmp_path, timeout=600)
        assert done.returncode == status, (args, done.stderr)
        assert done.stdout == "" and done.stderr.count("\n") == 1, (args, done.stderr)
        assert done.stderr.startswith("python -m cellvane") and message in done.stderr, (args, done.stderr)
    assert not (tmp_path / "out.svg").exists() and not (tmp_path / "games").exists()


def test_help_and_version():
    done = cellvane("--help")
    assert done.returncode == 0 and all(command in done.stdout for command in ("replay", "show", "selfplay"))
    assert cellvane("--version").stdout == "cellvane 1.0.1\n"
    for command in ("replay", "show", "selfplay"):
        assert cellvane(command, "--help").returncode == 0

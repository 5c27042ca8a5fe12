"""The viewer page of a game, as `python -m cellvane show FILE -o OUT.html`
writes it: one self-contained HTML file that holds the picture of every turn
and steps through them with buttons, a slider and the keyboard.

The page loads nothing: its policy forbids every request, its script and
style are inline, and the turns travel inside it as gzip-compressed JSON,
which the browser unpacks with its own DecompressionStream. Consecutive
pictures differ in a few lines, and each distinct line is stored once.
"""

from __future__ import annotations

import base64
import copy
import gzip
import html
import json
from typing import Any

import cellvane as cv


def page(game: cv.Game, *, title: str, turn: int | None = None) -> str:
    """The viewer page of `game`, opening at the position after `turn` turns
    (by default after all of them). `title` names the game on the page."""
    turns = turn_list(game)
    last = len(turns) - 1
    opening = last if turn is None else turn
    if not 0 <= opening <= last:
        raise ValueError(f"turn {opening} is not between 0 and {last}")
    # Most lines of a picture (a stone, its label, a group's territory, a
    # loop of the hatch's outline) are those of the turn before: each
    # distinct line is stored once, and a turn's picture as the numbers of
    # its lines.
    lines: dict[str, int] = {}
    for t in turns:
        t["svg"] = [lines.setdefault(line, len(lines)) for line in t["svg"].split("\n")]
    content = {"lines": list(lines), "turns": turns}
    data = json.dumps(content, separators=(",", ":"), ensure_ascii=False).encode("utf-8")
    packed = base64.b64encode(gzip.compress(data, mtime=0)).decode("ascii")
    return (
        PAGE.replace("@TITLE@", html.escape(title))
        .replace("@SIZE@", html.escape(repr(game.board_size)))
        .replace("@OPEN@", str(opening))
        .replace("@LAST@", str(last))
        .replace("@TURNS@", packed)
    )


def turn_list(game: cv.Game) -> list[dict[str, Any]]:
    """What the page shows at each turn, from the empty board (turn 0) to the
    game's position. Worked out backwards, undoing one turn at a time on a
    copy of the game, which gives each position back exactly as it was."""
    deltas = game.deltas()
    board = copy.copy(game)
    turns: list[dict[str, Any]] = []
    for t in range(len(deltas), -1, -1):
        black, white = board.territory()
        turns.append(
            {
                "svg": board.svg(),
                "move": move_text(deltas[t - 1], t - 1) if t else "none yet: the empty board",
                "captured": captured_text(deltas[t - 1].captured_stone_ids) if t else "none",
                "toPlay": "nobody: the game has ended" if board.status.has_ended() else color_name(board.pending_color),
                "captures": [board.captures[0], board.captures[1]],
                "territory": [f"{black:.2f}", f"{white:.2f}"],
            }
        )
        board.undo_move()
    turns.reverse()
    return turns


def color_name(color: cv.Color) -> str:
    return "Black" if color == cv.Color.BLACK else "White"


def move_text(delta: cv.GameDelta, index: int) -> str:
    """"Black stone 12 at (4.00, 7.25)", or "White passed" (by the turn's parity)."""
    stone = delta.new_stone
    if stone is None:
        return f"{color_name(cv.Color.BLACK if index % 2 == 0 else cv.Color.WHITE)} passed"
    x, y = stone.position
    return f"{color_name(stone.color)} stone {stone.id} at ({x:.2f}, {y:.2f})"


def captured_text(ids: list[int]) -> str:
    if not ids:
        return "none"
    return f"{len(ids)} {'stone' if len(ids) == 1 else 'stones'}: {', '.join(map(str, ids))}"


PAGE = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>@TITLE@ - cellvane</title>
<style>
body { margin: 0; font: 15px/1.45 system-ui, sans-serif; color: #222; background: #faf7ef; }
main { display: flex; flex-wrap: wrap; gap: 24px; padding: 20px; align-items: flex-start; }
#board { width: min(86vh, 92vw); aspect-ratio: 1; }
#board svg { width: 100%; height: 100%; display: block; }
aside { flex: 1 1 280px; max-width: 420px; }
h1 { font-size: 20px; margin: 0 0 4px; }
.game { color: #666; margin: 0 0 14px; overflow-wrap: anywhere; }
dl { display: grid; grid-template-columns: max-content 1fr; gap: 4px 14px; margin: 0 0 16px; }
dt { color: #666; }
dd { margin: 0; font-variant-numeric: tabular-nums; }
.controls { display: flex; gap: 6px; margin-bottom: 10px; }
button { font: inherit; padding: 4px 12px; border: 1px solid #999; border-radius: 4px; background: #fff; cursor: pointer; }
button:disabled { color: #aaa; border-color: #ddd; cursor: default; }
input[type=range] { width: 100%; }
.hint { color: #666; font-size: 13px; }
kbd { border: 1px solid #bbb; border-radius: 3px; padding: 0 4px; background: #fff; font-size: 12px; }
</style>
</head>
<body data-open="@OPEN@">
<main>
<div id="board" role="img" aria-label="The position"></div>
<aside>
<h1>Turn <span id="turn">@OPEN@</span> of @LAST@</h1>
<p class="game">@TITLE@, board @SIZE@</p>
<dl>
<dt>Move</dt><dd id="move"></dd>
<dt>Its captures</dt><dd id="captured"></dd>
<dt>To play</dt><dd id="to-play"></dd>
<dt>Captures so far</dt><dd>Black <span id="captures-black"></span>, White <span id="captures-white"></span></dd>
<dt>Territory</dt><dd>Black <span id="territory-black"></span>, White <span id="territory-white"></span></dd>
</dl>
<div class="controls">
<button id="first" title="The empty board (Home)">&laquo; First</button>
<button id="previous" title="The turn before (Left arrow)">&lsaquo; Back</button>
<button id="next" title="The turn after (Right arrow)">Next &rsaquo;</button>
<button id="last" title="The last turn (End)">Last &raquo;</button>
</div>
<input id="slider" type="range" min="0" max="@LAST@" value="@OPEN@" aria-label="Turn">
<p class="hint"><kbd>&larr;</kbd> <kbd>&rarr;</kbd> step through the turns, <kbd>Home</kbd> and <kbd>End</kbd> go to the first and the last.</p>
<p id="status" class="hint"><noscript>This page needs JavaScript to show the game.</noscript></p>
</aside>
</main>
<script id="turns" type="application/octet-stream">@TURNS@</script>
<script>
"use strict";
const $ = (id) => document.getElementById(id);

async function readTurns() {
  const bytes = Uint8Array.from(atob($("turns").textContent), (c) => c.charCodeAt(0));
  const text = new Blob([bytes]).stream().pipeThrough(new DecompressionStream("gzip"));
  return JSON.parse(await new Response(text).text());
}

function start(content) {
  const turns = content.turns;
  const last = turns.length - 1;
  const slider = $("slider");
  let at = 0;
  function show(t) {
    at = Math.max(0, Math.min(last, t));
    const turn = turns[at];
    $("board").innerHTML = turn.svg.map((line) => content.lines[line]).join("\\n");
    $("turn").textContent = at;
    $("move").textContent = turn.move;
    $("captured").textContent = turn.captured;
    $("to-play").textContent = turn.toPlay;
    $("captures-black").textContent = turn.captures[0];
    $("captures-white").textContent = turn.captures[1];
    $("territory-black").textContent = turn.territory[0];
    $("territory-white").textContent = turn.territory[1];
    slider.value = at;
    $("first").disabled = $("previous").disabled = at === 0;
    $("next").disabled = $("last").disabled = at === last;
  }
  $("first").addEventListener("click", () => show(0));
  $("previous").addEventListener("click", () => show(at - 1));
  $("next").addEventListener("click", () => show(at + 1));
  $("last").addEventListener("click", () => show(last));
  slider.addEventListener("input", () => show(Number(slider.value)));
  document.addEventListener("keydown", (event) => {
    if (event.altKey || event.ctrlKey || event.metaKey) return;
    const to = { ArrowLeft: at - 1, ArrowRight: at + 1, Home: 0, End: last }[event.key];
    if (to === undefined) return;
    event.preventDefault();
    show(to);
  });
  show(Number(document.body.dataset.open));
  document.body.dataset.ready = "yes";
}

readTurns().then(start, (error) => {
  $("status").textContent = "This page could not read its game: " + error;
});
</script>
</body>
</html>
"""

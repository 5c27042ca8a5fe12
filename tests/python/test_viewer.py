"""The viewer page that `python -m cellvane show FILE -o OUT.html` writes, in
headless Chromium (Debian's chromium and chromium-driver, driven by
selenium): it opens at the last turn, keys, buttons and the slider step
through the game, every turn shows the game's own figures and picture, and
the page loads nothing."""

import json
import os
import random
import shutil
import subprocess
import sys

import pytest
from conftest import random_play

from cellvane import Color, Game

webdriver = pytest.importorskip("selenium.webdriver")
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402

CHROMIUM = shutil.which("chromium")
DRIVER = shutil.which("chromedriver")
pytestmark = pytest.mark.skipif(not (CHROMIUM and DRIVER), reason="chromium and chromium-driver are not installed")

# Everything the page shows of the turn on screen, read in one call.
SHOWN = """
const text = (id) => document.getElementById(id).textContent;
const board = document.getElementById("board");
return {
  turn: Number(text("turn")), move: text("move"), captured: text("captured"), toPlay: text("to-play"),
  captures: [text("captures-black"), text("captures-white")],
  territory: [text("territory-black"), text("territory-white")],
  stones: board.querySelectorAll("circle[r='0.95']").length,
  title: board.querySelector("title").textContent,
  ends: ["first", "previous", "next", "last"].map((id) => document.getElementById(id).disabled),
};
"""


@pytest.fixture(scope="module")
def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1100,760"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    # The sanitized test run preloads its runtime into Python; not into the browser.
    env = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}
    driver = webdriver.Chrome(service=Service(DRIVER, env=env), options=options)
    yield driver
    driver.quit()


def expected(game, t):
    """What the page should show after the first t turns of `game`."""
    deltas = game.deltas()
    at = Game.replay(game.board_size, deltas[:t])
    black, white = at.territory()
    if t == 0:
        move, captured = "none yet: the empty board", "none"
    else:
        delta = deltas[t - 1]
        stone = delta.new_stone
        if stone is None:
            move = f"{'Black' if (t - 1) % 2 == 0 else 'White'} passed"
        else:
            colour = "Black" if stone.color == Color.BLACK else "White"
            move = f"{colour} stone {stone.id} at ({stone.position[0]:.2f}, {stone.position[1]:.2f})"
        ids = delta.captured_stone_ids
        captured = f"{len(ids)} {'stone' if len(ids) == 1 else 'stones'}: {', '.join(map(str, ids))}" if ids else "none"
    ended = at.status.has_ended()
    last = len(deltas)
    return {
        "turn": t,
        "move": move,
        "captured": captured,
        "toPlay": "nobody: the game has ended" if ended else ("Black" if at.pending_color == Color.BLACK else "White"),
        "captures": [str(at.captures[0]), str(at.captures[1])],
        "territory": [f"{black:.2f}", f"{white:.2f}"],
        "stones": at.stone_count,
        "title": at.svg().splitlines()[1].removeprefix("<title>").removesuffix("</title>"),
        "ends": [t == 0, t == 0, t == last, t == last],
    }


def open_page(browser, path):
    browser.get(path.as_uri())
    browser.execute_async_script(
        "const done = arguments[0];"
        "(function wait() { document.body.dataset.ready ? done() : setTimeout(wait, 10); })();"
    )


def shown(browser):
    return browser.execute_script(SHOWN)


def test_the_viewer_page_steps_through_the_game(browser, tmp_path):
    game = random_play(Game(18.0), random.Random(5), 70)
    game.pass_turn()
    game.pass_turn()
    n = game.turn
    assert game.captures[0] and game.captures[1], "the game should capture on both sides"
    record = tmp_path / "game.json"
    record.write_text(json.dumps(game.to_record()), encoding="utf-8")
    page = tmp_path / "game.html"
    show = [sys.executable, "-m", "cellvane", "show", str(record), "-o", str(page)]
    done = subprocess.run(show, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert done.stdout == f"wrote {page}: a page of all {n} turns, opening after {n}\n"

    open_page(browser, page)
    assert shown(browser) == expected(game, n)
    body = browser.find_element(By.TAG_NAME, "body")
    for key, t in [(Keys.HOME, 0), (Keys.ARROW_LEFT, 0), (Keys.ARROW_RIGHT, 1), (Keys.ARROW_RIGHT, 2)]:
        body.send_keys(key)
        assert shown(browser) == expected(game, t)
    for key, t in [(Keys.END, n), (Keys.ARROW_RIGHT, n), (Keys.ARROW_LEFT, n - 1)]:
        body.send_keys(key)
        assert shown(browser) == expected(game, t)
    for button, t in [("first", 0), ("next", 1), ("next", 2), ("next", 3), ("previous", 2), ("last", n)]:
        browser.find_element(By.ID, button).click()
        assert shown(browser) == expected(game, t)

    # The slider, clicked at its middle, and a turn picked with the keyboard
    # once it has the focus.
    slider = browser.find_element(By.ID, "slider")
    ActionChains(browser).move_to_element(slider).click().perform()
    t = shown(browser)["turn"]
    assert abs(t - n / 2) <= 2
    assert shown(browser) == expected(game, t)
    slider.send_keys(Keys.ARROW_LEFT)
    assert shown(browser) == expected(game, t - 1)

    # Nothing came from anywhere else, and nothing went wrong.
    assert browser.execute_script("return performance.getEntriesByType('resource').length") == 0
    assert [entry for entry in browser.get_log("browser") if entry["level"] == "SEVERE"] == []
    screenshot = browser.get_screenshot_as_png()
    assert screenshot[:8] == b"\x89PNG\r\n\x1a\n" and len(screenshot) > 20_000

    # --turn picks the turn the page opens at.
    done = subprocess.run(show + ["--turn", "5"], capture_output=True, text=True)
    assert done.stdout == f"wrote {page}: a page of all {n} turns, opening after 5\n"
    open_page(browser, page)
    assert shown(browser) == expected(game, 5)

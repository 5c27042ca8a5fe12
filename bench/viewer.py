"""What the viewer page costs, for self-played games (as `python -m cellvane
selfplay` plays them, seed 1) on boards of a few sizes, up to several hundred
turns long: the size of the page `python -m cellvane show FILE -o OUT.html`
writes, the time to write it, the time headless Chromium takes to load it and
show its opening turn (the median of several loads), and the time a step
back to the turn before takes (its picture laid out; the mean of a hundred
steps).

    .venv/bin/python bench/viewer.py [--sizes 18 30 40 60] [--loads 5] [--screenshot PNG]

With --screenshot, it also saves a screenshot of the first game's page
opened at two thirds of its turns (docs/viewer.png in the README).

Needs the test dependencies (selenium) and Debian's chromium and
chromium-driver, which `bash scripts/deps.sh` installs.
"""

import argparse
import json
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

from cellvane.selfplay import opening, play_out


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1100,760"):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def load_time(driver, url):
    """Milliseconds from the start of the navigation to the opening turn on
    screen."""
    driver.get("about:blank")
    driver.get(url)
    deadline = time.monotonic() + 60
    while not driver.execute_script("return document.body.dataset.ready"):
        if time.monotonic() > deadline:
            raise RuntimeError(f"the page did not show its game: {driver.get_log('browser')}")
        time.sleep(0.005)
    return driver.execute_script(
        "return new Promise((done) => requestAnimationFrame(() => done(performance.now())))"
    )


# Milliseconds one step back takes, the new picture laid out, over the last
# hundred turns (or all of them).
STEP = """
const board = document.getElementById("board");
const steps = Math.min(100, Number(document.getElementById("turn").textContent));
const start = performance.now();
for (let i = 0; i < steps; i++) {
  document.dispatchEvent(new KeyboardEvent("keydown", { key: "ArrowLeft" }));
  board.getBoundingClientRect();
  board.querySelector("svg").getBBox();
}
return (performance.now() - start) / steps;
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=float, nargs="+", default=[18.0, 30.0, 40.0, 60.0])
    parser.add_argument("--loads", type=int, default=5)
    parser.add_argument("--screenshot", metavar="PNG", type=pathlib.Path)
    args = parser.parse_args()
    driver = browser()
    print("| board | turns | page | written in | loaded and shown in | a step back |")
    print("|---|---|---|---|---|---|")
    try:
        with tempfile.TemporaryDirectory() as folder:
            for size in args.sizes:
                game = play_out(opening(size), 1)
                record = pathlib.Path(folder, "game.json")
                record.write_text(json.dumps(game.to_record()), encoding="utf-8")
                page = pathlib.Path(folder, "game.html")
                start = time.perf_counter()
                command = [sys.executable, "-m", "cellvane", "show", str(record), "-o", str(page)]
                subprocess.run(command, check=True, capture_output=True)
                written = time.perf_counter() - start
                loads = [load_time(driver, page.as_uri()) for _ in range(args.loads)]
                step = driver.execute_script(STEP)
                print(
                    f"| {size:g} | {game.turn} | {page.stat().st_size / 1024:.0f} KB | {written:.2f} s "
                    f"| {statistics.median(loads):.0f} ms | {step:.1f} ms |"
                )
                if args.screenshot and size == args.sizes[0]:
                    subprocess.run(command + ["--turn", str(game.turn * 2 // 3)], check=True, capture_output=True)
                    load_time(driver, page.as_uri())
                    driver.save_screenshot(str(args.screenshot))
    finally:
        driver.quit()


if __name__ == "__main__":
    main()

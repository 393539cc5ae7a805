#!/usr/bin/env python3
"""scripts/screenshots makes the README's pictures in a temporary directory: each of the three
desktop ones is the graphics window alone in the programs' exact colours; Zentavor's still shows
the three planets, its animation moves and stays small; Trabolix's shows the spheres, the aim
circle and one hit sphere, and is byte for byte the README's own (its clock frozen, the picture
is always the same: a change to the drawing shows up here, and `make screenshots OUT=docs/img`
refreshes it). With the browser pages built, the fourth, web.png, is Trabolix's page with its
canvas and terminal."""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "support"))
from e2e import check, finish  # noqa: E402

SCRIPT = os.path.join(HERE, "..", "scripts", "screenshots")
README_IMG = os.path.join(HERE, "..", "docs", "img")
BLACK, CYAN, BROWN, LIGHT_BLUE = 0x000000, 0x008080, 0xB06000, 0x0000FF
MAGENTA, LIGHT_GREEN = 0x800080, 0x00FF00
PLANETS = {CYAN: "cyan", BROWN: "brown", LIGHT_BLUE: "light blue"}


def picture(path):
    """The size of a still picture and how many pixels of each 0xRRGGBB colour it has."""
    ppm = subprocess.run(["convert", path, "+set", "comment", "-depth", "8", "ppm:-"],
                         capture_output=True, check=True, timeout=60).stdout
    _, width, height, _, rgb = ppm.split(maxsplit=4)
    counts = {}
    for k in range(0, len(rgb) - 2, 3):
        c = (rgb[k] << 16) | (rgb[k + 1] << 8) | rgb[k + 2]
        counts[c] = counts.get(c, 0) + 1
    return (int(width), int(height)), counts


def animation(path):
    """Each frame of an animation, whole (laid over the ones before it), as (size, delay in
    hundredths of a second, a digest of its pixels, its set of colours)."""
    def coalesced(*args):
        return subprocess.run(["convert", path, "-coalesce", *args], capture_output=True,
                              text=True, check=True, timeout=120).stdout

    rows = [line.split() for line in coalesced("-format", "%W %H %T %#\n", "info:").splitlines()]
    colours = []
    for line in coalesced("-unique-colors", "-depth", "8", "txt:-").splitlines():
        if line.startswith("#"):
            colours.append(set())
        elif colours:
            colours[-1].add(int(line.split()[2].lstrip("#"), 16))
    check(len(colours) == len(rows), f"{os.path.basename(path)}: every frame's colours read")
    return [((int(r[0]), int(r[1])), int(r[2]), r[3], c) for r, c in zip(rows, colours)]


def check_zentavor(out):
    size, still = picture(os.path.join(out, "zentavor.png"))
    check(size == (1000, 750), f"zentavor.png is the 1000 x 750 window ({size})")
    check(set(still) == {BLACK, *PLANETS}, f"zentavor.png: black and the planets' colours only "
          f"({sorted(hex(c) for c in still)})")
    for c, name in PLANETS.items():
        check(still.get(c, 0) > 100, f"zentavor.png shows the {name} planet")

    gif = os.path.join(out, "zentavor.gif")
    check(os.path.getsize(gif) < 1_500_000, f"zentavor.gif is small ({os.path.getsize(gif)})")
    frames = animation(gif)
    check(len(frames) == 30, f"zentavor.gif has its 30 frames ({len(frames)})")
    check(all(f[0] == (1000, 750) for f in frames), "zentavor.gif is the 1000 x 750 window")
    duration = sum(f[1] for f in frames)
    check(200 <= duration <= 1000, f"zentavor.gif lasts a few seconds ({duration} cs)")
    check(all(f[3] <= {BLACK, *PLANETS} for f in frames), "zentavor.gif: the planets' colours")
    check(frames and frames[0][3] == {BLACK, *PLANETS}, "zentavor.gif starts with the planets")
    check(len({f[2] for f in frames}) > len(frames) // 2, "zentavor.gif moves")


def check_trabolix(out):
    size, shot = picture(os.path.join(out, "trabolix.png"))
    # The window's drawing area, or its client area inside the border and caption.
    check(size in ((1000, 800), (998, 779)), f"trabolix.png is the window ({size})")
    check(set(shot) == {BLACK, MAGENTA, LIGHT_GREEN}, f"trabolix.png: black, magenta and light "
          f"green only ({sorted(hex(c) for c in shot)})")
    # The aim circle alone is under a hundred light green pixels; a hit sphere adds hundreds.
    check(shot.get(MAGENTA, 0) > 300, f"trabolix.png shows spheres ({shot.get(MAGENTA)})")
    check(shot.get(LIGHT_GREEN, 0) > 300, f"trabolix.png shows a hit sphere and the aim circle "
          f"({shot.get(LIGHT_GREEN)})")
    with open(os.path.join(out, "trabolix.png"), "rb") as made, \
            open(os.path.join(README_IMG, "trabolix.png"), "rb") as tracked:
        check(made.read() == tracked.read(), "trabolix.png is the same bytes as docs/img's")


def check_page(out):
    """web.png, made when build/web holds the pages: Trabolix's page, its canvas in the game's
    colours with one sphere hit, beside the terminal."""
    size, shot = picture(os.path.join(out, "web.png"))
    check(size[0] > 1000 + 400 and size[1] > 779, f"web.png holds the canvas and the terminal "
          f"({size})")
    check(shot.get(MAGENTA, 0) > 300 and shot.get(LIGHT_GREEN, 0) > 300, "web.png: the spheres "
          f"and the hit sphere ({shot.get(MAGENTA)} and {shot.get(LIGHT_GREEN)} pixels)")


def main():
    for tool in ("Xvfb", "xwd", "xdotool", "convert", "identify", "faketime"):
        if shutil.which(tool) is None:
            print(f"SKIP: {tool} is not installed (scripts/setup installs it)")
            sys.exit(77)
    with tempfile.TemporaryDirectory() as out:
        p = subprocess.run([SCRIPT, "--out", out], capture_output=True, text=True, timeout=280)
        sys.stdout.write(p.stdout + p.stderr)
        check(p.returncode == 0, f"scripts/screenshots succeeds (exit {p.returncode})")
        names = sorted(os.listdir(out))
        wanted = ["trabolix.png", "zentavor.gif", "zentavor.png"]
        if os.path.exists(os.path.join(HERE, "..", "build", "web", "trabolix.html")):
            wanted.append("web.png")
        check(names == sorted(wanted), f"the pictures {names}")
        if p.returncode == 0 and names == sorted(wanted):
            check_zentavor(out)
            check_trabolix(out)
            if "web.png" in names:
                check_page(out)
    finish()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""The manual pages render without a single warning, and say what a user needs: the options, the
keys of the README's tables, the exit codes, errinfo.$$$, the breaks, the environment, the case
where graphics does not work, and the sizes that make Trabolix playable."""
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from e2e import check, finish  # noqa: E402

SOURCE = os.environ.get("ZT_SOURCE_DIR",
                        os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
PAGES = {name: os.path.join(SOURCE, "docs", "man", name + ".6") for name in ("zentavor",
                                                                             "trabolix")}

COMMON = ["NAME", "SYNOPSIS", "DESCRIPTION", "KEYS", "EXIT STATUS", "ENVIRONMENT", "FILES",
          "DISPLAY", "SDL_VIDEODRIVER", "XWayland", "errinfo.$$$", "Ctrl+C", "Ctrl+\\",
          "Sorry, graphics doesn't work", "#RTS: unhandled exception #21: USER BREAK",
          "--scale N", "--help", "--version", "TERM", "exit status 2"]
OWN = {
    "zentavor": ["Press R to finish te program", "1000 by 750", "drift out of the window"],
    "trabolix": ["Unused key pressed => EXIT", "You are the best and you know it!",
                 "1000 by 800", "radius of 50 units", "One step moves 100 units",
                 "within 150 units of its centre on each of the three axes",
                 "keys typed into it are not read"],
}


def render(page):
    """The page as plain text; a warning from groff fails the check."""
    p = subprocess.run(["groff", "-ww", "-man", "-Tutf8", page], capture_output=True, timeout=30)
    check(p.returncode == 0 and p.stderr == b"",
          f"{os.path.basename(page)} renders without warnings (exit {p.returncode}, "
          f"{p.stderr.decode(errors='replace')!r})")
    if shutil.which("man"):
        p = subprocess.run(["man", "--warnings=all", "-l", page], capture_output=True, timeout=30,
                           env=dict(os.environ, MANWIDTH="80", MANPAGER="cat", PAGER="cat"))
        check(p.returncode == 0 and p.stderr == b"",
              f"man -l {os.path.basename(page)} shows it without warnings "
              f"({p.stderr.decode(errors='replace')!r})")
    # Once more without hyphenation, on long lines, without bold or underline, for the text.
    p = subprocess.run(["groff", "-man", "-Tutf8", "-P-cbou", "-rHY=0", "-rLL=1000n", page],
                       capture_output=True, timeout=30)
    return p.stdout.decode().replace("\u2212", "-")


def readme_trabolix_keys():
    """The keys in the first column of the README's key table (the one headed Key, Effect): the
    back-quoted ones and the named ones (space, Up, Page Up...)."""
    with open(os.path.join(SOURCE, "README.md")) as f:
        lines = [line.strip() for line in f]
    start = next(k for k, line in enumerate(lines) if re.match(r"\| *Key *\| *Effect *\|", line))
    keys = []
    for row in lines[start + 2:]:
        if not row.startswith("|"):
            break
        first = row.split("|")[1].strip()
        if first == "any other key":
            continue
        keys += re.findall(r"`([^`]+)`", first)
        named = re.sub(r"`[^`]+`", ",", first).replace(" or ", ",").split(",")
        keys += [w.strip() for w in named if w.strip()]
    return keys


def main():
    texts = {name: render(page) for name, page in PAGES.items()}
    for name, text in texts.items():
        flat = " ".join(text.split())
        for item in COMMON + OWN[name]:
            check(item in flat, f"{name}(6) mentions {item!r}")
        check(all(re.search(rf"^ *{code}\b", text, re.M) for code in (0, 2, 9)),
              f"{name}(6) lists exit codes 0, 2 and 9")
    section = re.search(r"^KEYS\n(.*?)^\S", texts["trabolix"], re.M | re.S)
    keys_text = " ".join(section.group(1).split()) if section else ""
    keys = readme_trabolix_keys()
    check(len(keys) > 15, f"the README's key table was found ({keys})")
    for key in keys:
        check(re.search(rf"(?<!\w){re.escape(key)}(?!\w)", keys_text),
              f"trabolix(6) names the key {key!r} of the README's table under KEYS")
    finish()


if __name__ == "__main__":
    main()

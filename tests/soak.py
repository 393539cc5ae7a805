#!/usr/bin/env python3
"""A program played for a while under its own Xvfb: random keys arrive from the terminal side (a
pseudo-terminal) and from the window side (xdotool into the focused window), then the exit key
ends it. It must end with exit code 0 and its normal last line, leave the terminal's settings as
they were, write nothing on standard error (no X error, no loss), and keep its resident memory
flat after the first seconds.

  soak.py PROGRAM SECONDS [SEED]   PROGRAM is Zentavor or Trabolix (paths from $ZENTAVOR,
                                   $TRABOLIX); SEED, or $SOAK_SEED, replays a run's keys

The seed is printed first; without one a new seed is drawn.
"""
import os
import random
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from e2e import check, finish  # noqa: E402
from xsession import NORMAL_END, PROGRAMS, Session, Xvfb, text, user_env  # noqa: E402

# Under the address sanitizer freed memory waits in a quarantine instead of being reused, so the
# resident size grows with every allocation the window system makes; without the quarantine the
# flat-memory check measures what it should (leaks are reported at exit by the sanitizer anyway).
os.environ["ASAN_OPTIONS"] = ":".join(
    o for o in (os.environ.get("ASAN_OPTIONS", ""), "quarantine_size_mb=0") if o)

# Terminal keys. Zentavor: anything but its exit key r, leaving out the terminal's own signal and
# flow-control characters (Ctrl+C, Ctrl+\, Ctrl+Z, Ctrl+S, Ctrl+Q, Ctrl+O, Ctrl+V). Trabolix ends
# on any key without meaning, so it gets only its meaningful keys; after a shot every sphere is
# made not hit again (n), so random play cannot win and end the game early.
CURSOR = [b"\x1b[A", b"\x1b[B", b"\x1b[C", b"\x1b[D", b"\x1b[H", b"\x1b[F", b"\x1b[5~", b"\x1b[6~",
          b"\x1bOA", b"\x1bOB"]
ZENTAVOR_TERMINAL = ([bytes([c]) for c in range(0x20, 0x7F) if c != ord("r")] +
                     [bytes([c]) for c in range(1, 0x20)
                      if c not in (0x03, 0x1C, 0x1A, 0x13, 0x11, 0x0F, 0x16)] +
                     CURSOR + [b"\x1bOP", b"\x1b[15~", b"\x1b[1;5A", b"\x1bx", b"\x1b"])
TRABOLIX_TERMINAL = [bytes([c]) for c in b"12346789+-*/n"] + [b" n"] + CURSOR[:8]

# Window keys (xdotool names). Zentavor forwards them to its console input: anything but r.
# Trabolix's window forwards nothing, so even its quitting keys must do nothing there.
LETTERS = [c for c in "abcdefghijklmnopqstuvwxyz"]
ZENTAVOR_WINDOW = (LETTERS + [f"shift+{c}" for c in LETTERS + ["r"]] + [f"alt+{c}" for c in "abxyz"] +
                   list("0123456789") + [f"F{n}" for n in range(1, 13)] +
                   ["Up", "Down", "Left", "Right", "Home", "End", "Prior", "Next", "Insert",
                    "Delete", "space", "Tab", "BackSpace", "Escape", "Return", "KP_Add",
                    "KP_Subtract", "KP_Multiply", "KP_Divide", "KP_8", "KP_2", "KP_Enter",
                    "alt+F4", "ctrl+x", "ctrl+shift+Up", "Shift_L", "Control_L", "Alt_L"])
TRABOLIX_WINDOW = ZENTAVOR_WINDOW + ["r", "q", "x", "ctrl+c"]


def thread_sanitized(prog):
    """True for a build with the thread sanitizer (whose shadow memory grows as it goes)."""
    with open(prog, "rb") as f:
        return b"__tsan_init" in f.read()


def soak(program, seconds, seed):
    print(f"{program}: seed {seed} (replay the same keys: SOAK_SEED={seed})", flush=True)
    rng = random.Random(seed)
    terminal = ZENTAVOR_TERMINAL if program == "Zentavor" else TRABOLIX_TERMINAL
    window_keys = ZENTAVOR_WINDOW if program == "Zentavor" else TRABOLIX_WINDOW
    # Zentavor takes every waiting key before a frame; Trabolix runs a pass of the game for each
    # key, which a loaded machine (or a sanitizer build) makes slow: fewer keys, so they do not
    # pile up for minutes ahead of the exit key.
    burst, gap = (4, (0.005, 0.05)) if program == "Zentavor" else (1, (0.05, 0.2))
    with Xvfb() as xvfb:
        s = Session(PROGRAMS[program], user_env(DISPLAY=xvfb.display))
        window = xvfb.graph_window()
        check(window is not None, f"{program}: the window opens")
        if window is None:
            s.finish(5)
            return
        xvfb.x("xdotool", "windowfocus", "--sync", window)
        start = time.time()
        cpu0 = s.cpu_seconds()
        rss = []  # (seconds since start, kB)
        sent_terminal = sent_window = 0
        next_sample = 0.0
        while time.time() - start < seconds and s.proc.poll() is None:
            now = time.time() - start
            if now >= next_sample:
                rss.append((now, s.rss_kb()))
                next_sample += 1.0
            if rng.random() < 0.8:
                for _ in range(rng.randint(1, burst)):
                    s.type(rng.choice(terminal))
                    sent_terminal += 1
            else:
                keys = [rng.choice(window_keys) for _ in range(rng.randint(1, 5))]
                xvfb.x("xdotool", "key", "--delay", "5", *keys)
                sent_window += len(keys)
            s.pause(rng.uniform(*gap))
        ran = time.time() - start
        early = s.proc.poll() is not None
        cpu = (s.cpu_seconds() - cpu0) / ran if not early else 0
        if program == "Zentavor":
            # A lone Escape, or the start of a sequence, less than the decoder's time-out before
            # the exit key would make it part of a key (Escape r is Alt+R). A tilde ends every
            # sequence the decoder reads (ESC ~ is Alt+~) and is ignored itself, so r comes
            # alone.
            s.type(b"~")
        # Keys typed before the exit key are taken first; the guard only stops a hang.
        code, same = s.end(program, timeout=240) if not early else s.finish(5)

    check(not early, f"{program}: still running after {ran:.1f} s (output {text(s.out)!r})")
    check(code == 0, f"{program}: exit code 0 (got {code})")
    check(s.out == NORMAL_END[program], f"{program}: normal last line ({text(s.out)!r})")
    check(s.err == b"", f"{program}: nothing on standard error ({s.err[-600:]!r})")
    check(same, f"{program}: terminal settings restored")
    settled = [kb for t, kb in rss if t >= 5]
    growth = (max(settled) - settled[0]) if settled else 0
    if not thread_sanitized(PROGRAMS[program]):
        check(growth <= 2048, f"{program}: resident memory flat after 5 s (grew {growth} kB: {rss})")
    first = rss[0][1] if rss else 0
    print(f"{program}: {ran:.1f} s, {sent_terminal} terminal keys, {sent_window} window keys, "
          f"processor {cpu:.2f} of a core, resident memory {first} kB at start, "
          f"{settled[0] if settled else 0} kB at 5 s, {max(settled) if settled else 0} kB highest "
          f"after, growth {growth} kB", flush=True)


def main():
    program, seconds = sys.argv[1], float(sys.argv[2])
    given = sys.argv[3] if len(sys.argv) > 3 else os.environ.get("SOAK_SEED", "")
    soak(program, seconds, int(given) if given else random.SystemRandom().randrange(1, 2**32))
    finish()


if __name__ == "__main__":
    main()

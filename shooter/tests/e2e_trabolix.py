#!/usr/bin/env python3
"""Trabolix end to end: keys piped in under the offscreen driver. Unused keys end the game; with
the clock frozen by faketime the seed, and so the placement, is known, and scripted games win
with 8, with typed H and with the cursor key Up as the forward move; without a display the game
says graphics does not work; under Xvfb the spheres and the aim circle show in their colours and
hit spheres turn light green."""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests",
                                "support"))
from e2e import base_env, check, colour_counts, finish, start_xvfb  # noqa: E402
from e2e import wait_for_screen as wait_for  # noqa: E402

PROG = os.environ["TRABOLIX"]
FROZEN = "2026-01-01 12:00:07.53"
def frozen_env(env):
    """Runs under faketime with the wall clock frozen at FROZEN; the monotonic clock runs on, so
    timed waits behave. The address sanitizer accepts the preloaded library. The thread
    sanitizer cannot see the waits that the preloaded library forwards to the C library itself
    and would report races that are not there, so it reports nothing in these runs; the long
    game in test_long_game_unfrozen runs the same drawing without faketime, fully checked."""
    env = dict(env)
    env.update(FAKETIME=FROZEN, FAKETIME_DONT_FAKE_MONOTONIC="1", TZ="UTC",
               ASAN_OPTIONS="verify_asan_link_order=0:" + env.get("ASAN_OPTIONS", ""),
               TSAN_OPTIONS="report_bugs=0:" + env.get("TSAN_OPTIONS", ""))
    return env


def faketime_cmd(cmd):
    return ["faketime", "-f", FROZEN] + cmd


def run(env, keys, cwd, cmd=None, timeout=120):
    p = subprocess.run(cmd or [PROG], input=keys, capture_output=True, env=env, cwd=cwd,
                       timeout=timeout)
    return p.returncode, p.stdout, p.stderr


# --- the placement the program must make from a known seed ---------------------------------

M32 = 0xFFFFFFFF


class Generator:
    """The library generator: 55 words filled by the seeding recurrence, lags 55 and 24."""

    def __init__(self, seed):
        state = seed
        self.table = []
        for _ in range(55):
            state = (state * 3141592621 + 17) & M32
            self.table.append(state >> 16)
        self.j, self.k = 54, 23

    def random(self, rng):
        if self.j != 0:
            self.j -= 1
            self.k = self.k - 1 if self.k != 0 else 54
        else:
            self.k -= 1
            self.j = 54
        self.table[self.j] = (self.table[self.j] + self.table[self.k]) & M32
        v = self.table[self.j]
        return v % rng if rng else v

    def card(self, lo, hi):
        return lo + self.random(hi - lo + 1)


def placement(seed):
    g = Generator(seed)
    spheres = []
    for _ in range(6):
        centre = []
        for _axis in range(3):
            inner = g.card(990, 1000)
            centre.append(g.card(0, inner))
        spheres.append(tuple(centre))
    return spheres


def frozen_seed():
    """Seconds times hundredths of the frozen clock, read through faketime itself."""
    out = subprocess.run(faketime_cmd(["date", "+%S %N"]), capture_output=True, text=True,
                         env=frozen_env(base_env()), timeout=30).stdout.split()
    return int(out[0]) * (int(out[1]) // 10_000_000)


# --- scripted moves at angle 0: 8 / 2 move along y, 7 / 1 along x, + / - along z ----------

def path(frm, to, forward):
    keys = b""
    for axis, (more, less) in enumerate([(b"7", b"1"), (forward, b"2"), (b"+", b"-")]):
        steps = (to[axis] - frm[axis]) // 100
        keys += (more if steps > 0 else less) * abs(steps)
    return keys


def grid(c):
    return tuple(int(round(v / 100.0)) * 100 for v in c)


START = (0, -1000, 400)


def winning_keys(spheres, forward, pause_after=None):
    """Visits each sphere's nearest grid point (within 50 of its centre on every axis) and
    shoots. With pause_after=n, returns the keys up to the n-th shot and a return to the start,
    and the rest."""
    pos, first, keys = START, None, b""
    for n, c in enumerate(spheres, 1):
        target = grid(c)
        keys += path(pos, target, forward) + b" "
        pos = target
        if n == pause_after:
            keys += path(pos, START, forward)
            first, keys, pos = keys, b"", START
    return (first, keys) if pause_after else keys


# --- the cases --------------------------------------------------------------------------------

def test_unused_keys(tmp):
    env = base_env(SDL_VIDEODRIVER="offscreen")
    # Insert reaches the game as 00 and then its scan code 52H, read on the next pass even when
    # nothing follows it. A line feed in a pipe is Ctrl+J, which the console reads as 00 alone:
    # nothing happens until the q.
    for name, key in [("q", b"q"), ("N", b"N"), ("0", b"0"), ("5", b"5"), ("Enter", b"\r"),
                      ("Tab", b"\t"), ("Escape", b"\x1b"), ("Insert", b"\x1b[2~"),
                      ("a after moves", b"8+6a"), ("q after a line feed", b"\nq")]:
        code, out, err = run(env, key, tmp, timeout=60)
        check(code == 0, f"unused key {name} exits 0 (got {code}, stderr {err[-300:]!r})")
        check(out == b"\r\nUnused key pressed => EXIT\r\n", f"unused key {name}: output {out!r}")
        check(not os.path.exists(os.path.join(tmp, "errinfo.$$$")), f"no errinfo.$$$ after {name}")


def test_no_display(tmp):
    code, out, err = run(base_env(SDL_VIDEODRIVER="x11"), b"", tmp, timeout=60)
    check(code == 0, f"no-display run exits 0 (got {code})")
    check(out == b"Sorry, graphics doesn't work\r\n", f"no-display output {out!r}")


def test_scripted_wins(tmp, spheres):
    env = frozen_env(base_env(SDL_VIDEODRIVER="offscreen"))
    for name, forward in [("8", b"8"), ("H", b"H"), ("Up", b"\x1b[A")]:
        keys = winning_keys(spheres, forward)
        try:
            code, out, err = run(env, keys, tmp, cmd=faketime_cmd([PROG]))
        except subprocess.TimeoutExpired:
            check(False, f"the game moving with {name} wins within the time-out")
            continue
        check(code == 0, f"win with {name}: exit 0 (got {code}, stderr {err[-300:]!r})")
        check(out == b"You are the best and you know it!\r\n", f"win with {name}: output {out!r}")
    # Without the last shot nothing is won; n before the last shot undoes the other five hits.
    keys = winning_keys(spheres, b"8")
    for name, ks in [("no last shot", keys[:-1] + b"q"), ("n before last shot",
                                                         keys[:-1] + b"n q")]:
        try:
            code, out, _ = run(env, ks, tmp, cmd=faketime_cmd([PROG]))
        except subprocess.TimeoutExpired:
            check(False, f"{name}: the game ends on q")
            continue
        check(code == 0 and out == b"\r\nUnused key pressed => EXIT\r\n", f"{name}: {out!r}")


def test_long_game_unfrozen(tmp, spheres):
    """The winning game's keys without faketime: the placement differs, so it most likely wins
    nothing; q ends it. Many passes of drawing and key reading under a real clock (and, in the
    thread sanitizer build, with every report on)."""
    keys = winning_keys(spheres, b"8")[:-1] + b"q"
    try:
        code, out, err = run(base_env(SDL_VIDEODRIVER="offscreen"), keys, tmp)
    except subprocess.TimeoutExpired:
        check(False, "the long game ends on q")
        return
    check(code == 0, f"long game exits 0 (got {code}, stderr {err[-600:]!r})")
    check(out in (b"\r\nUnused key pressed => EXIT\r\n",
                  b"You are the best and you know it!\r\n"), f"long game output {out!r}")


MAGENTA, LIGHT_GREEN = 0x800080, 0x00FF00


def feed(prog, data, close=False):
    """Writes keys to the program's standard input; a program that has already ended is a
    failure reported with its exit code and standard error, not a traceback."""
    try:
        prog.stdin.write(data)
        if close:
            prog.stdin.close()
        else:
            prog.stdin.flush()
        return True
    except BrokenPipeError:
        prog.wait()
        check(False, f"the game still running when its keys came (exit {prog.returncode}, "
                     f"stderr {prog.stderr.read()!r})")
        return False


def test_xvfb(tmp, spheres):
    xvfb, display = start_xvfb()
    if xvfb is None:
        print("SKIP: Xvfb or import not installed")
        return
    try:
        env = frozen_env(base_env(DISPLAY=display, SDL_VIDEODRIVER="x11"))
        first, rest = winning_keys(spheres, b"8", pause_after=5)
        prog = subprocess.Popen(faketime_cmd([PROG]), stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, cwd=tmp)
        # At the start: six magenta spheres and the light green aim circle (about 75 pixels).
        ok, counts = wait_for(display, lambda c: c.get(MAGENTA, 0) > 300 and
                              0 < c.get(LIGHT_GREEN, 0) < 200)
        check(ok, f"magenta spheres and the aim circle at start (counts {counts.get(MAGENTA)}, "
                  f"{counts.get(LIGHT_GREEN)})")
        magenta_at_start = counts.get(MAGENTA, 0)
        # Five hit, back at the start: most of the picture turns light green.
        if not feed(prog, first):
            return
        ok, counts = wait_for(display, lambda c: c.get(LIGHT_GREEN, 0) > 600 and
                              0 < c.get(MAGENTA, 0) < magenta_at_start)
        check(ok, f"five hit spheres light green, one magenta (counts {counts.get(MAGENTA)}, "
                  f"{counts.get(LIGHT_GREEN)})")
        if not feed(prog, rest, close=True):
            return
        try:
            prog.wait(timeout=60)
            out = prog.stdout.read()
            check(prog.returncode == 0, f"Xvfb win exits 0 (got {prog.returncode})")
            check(out == b"You are the best and you know it!\r\n", f"Xvfb win output {out!r}")
        except subprocess.TimeoutExpired:
            prog.kill()
            prog.wait()
            check(False, "the game under Xvfb wins")
    finally:
        xvfb.terminate()
        xvfb.wait()


def main():
    seed = frozen_seed()
    spheres = placement(seed)
    print(f"frozen clock seed {seed}, spheres {spheres}")
    with tempfile.TemporaryDirectory() as tmp:
        test_unused_keys(tmp)
        test_no_display(tmp)
        test_scripted_wins(tmp, spheres)
        test_long_game_unfrozen(tmp, spheres)
        test_xvfb(tmp, spheres)
    finish()


if __name__ == "__main__":
    main()

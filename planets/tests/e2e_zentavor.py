#!/usr/bin/env python3
"""Zentavor end to end: keys piped in under the offscreen driver (a few, and 10,000 at once, none
of which may be lost), no display at all, and a real X server (Xvfb) where the planets' colours
must show and an r typed into the window ends it."""
import fcntl
import os
import pty
import random
import select
import string
import subprocess
import sys
import tempfile
import termios
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests",
                                "support"))
from e2e import base_env, check, colour_counts, finish, start_xvfb  # noqa: E402

PROG = os.environ["ZENTAVOR"]


def run(env, keys, cwd, timeout=30):
    p = subprocess.run([PROG], input=keys, capture_output=True, env=env, cwd=cwd,
                       timeout=timeout)
    return p.returncode, p.stdout, p.stderr


def test_keys_piped_offscreen(tmp):
    code, out, err = run(base_env(SDL_VIDEODRIVER="offscreen"), b"xRr", tmp)
    check(code == 0, f"offscreen run exits 0 (got {code}, stderr {err!r})")
    check(out == b"\r\nPress R to finish te program\r\n", f"offscreen output {out!r}")
    check(err == b"", f"offscreen run writes nothing on standard error ({err[-400:]!r})")
    check(not os.path.exists(os.path.join(tmp, "errinfo.$$$")), "no errinfo.$$$ after r")


def test_fast_pipe_loses_no_key(tmp):
    """10,000 keys from a pipe, then r: the pipe is read at the program's pace, so no key is
    refused (no bell on the controlling terminal, a pseudo-terminal here) and the r ends it."""
    rng = random.Random(7)
    letters = [c for c in string.ascii_letters + string.digits + " .,;+-*/" if c != "r"]
    keys = "".join(rng.choice(letters) for _ in range(10_000)).encode() + b"r\r"
    master, slave = pty.openpty()

    def controlling_terminal():
        os.setsid()
        fcntl.ioctl(slave, termios.TIOCSCTTY, 0)

    prog = subprocess.Popen([PROG], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, env=base_env(SDL_VIDEODRIVER="offscreen"),
                            cwd=tmp, preexec_fn=controlling_terminal, pass_fds=(slave,))
    os.close(slave)
    try:
        out, err = prog.communicate(keys, timeout=60)
    except subprocess.TimeoutExpired:
        prog.kill()
        prog.communicate()
        out, err = b"", b""
        check(False, "r after 10,000 piped keys ends the program")
    terminal = b""
    while select.select([master], [], [], 0)[0]:
        try:
            chunk = os.read(master, 4096)
        except OSError:
            break
        if not chunk:
            break
        terminal += chunk
    os.close(master)
    check(prog.returncode == 0, f"10,000 piped keys and r: exit 0 (got {prog.returncode})")
    check(out == b"\r\nPress R to finish te program\r\n", f"10,000 piped keys: output {out!r}")
    check(err == b"", f"10,000 piped keys: nothing on standard error ({err[-300:]!r})")
    bells = terminal.count(b"\a")
    check(bells == 0, f"no key refused: {bells} bell(s) on the terminal")


def test_no_display(tmp):
    code, out, err = run(base_env(SDL_VIDEODRIVER="x11"), b"", tmp)
    check(code == 0, f"no-display run exits 0 (got {code})")
    check(out == b"\r\nSorry, graphics doesn't work\r\n", f"no-display output {out!r}")


def test_xvfb(tmp):
    xvfb, display = start_xvfb()
    if xvfb is None:
        print("SKIP: Xvfb or import not installed")
        return
    try:
        env = base_env(DISPLAY=display, SDL_VIDEODRIVER="x11")
        # Standard input is at its end from the start: that does not end the program, and only
        # the window can.
        prog = subprocess.Popen([PROG], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, env=env, cwd=tmp)
        wanted = {0x008080: "cyan", 0xB06000: "brown", 0x0000FF: "light blue"}
        seen = set()
        deadline = time.time() + 20
        while time.time() < deadline and not set(wanted) <= seen:
            time.sleep(0.5)
            seen = set(colour_counts(display))
        for c, name in wanted.items():
            check(c in seen, f"planet colour {name} ({c:06X}) visible under Xvfb")
        xenv = dict(env)
        ids = subprocess.run(["xdotool", "search", "--classname", "GraphWnd"], env=xenv,
                             capture_output=True, text=True).stdout.split()
        if not ids:
            ids = subprocess.run(["xdotool", "search", "--name", "^Graph$"], env=xenv,
                                 capture_output=True, text=True).stdout.split()
        check(bool(ids), "the Graph window is found by its class or title")
        if ids:
            subprocess.run(["xdotool", "windowfocus", "--sync", ids[0]], env=xenv, timeout=10)
            subprocess.run(["xdotool", "key", "--delay", "50", "x", "shift+r", "r"], env=xenv,
                           timeout=10)
        try:
            out, err = prog.communicate(timeout=20)
            check(prog.returncode == 0, f"r in the window ends with 0 (got {prog.returncode})")
            check(out == b"\r\nPress R to finish te program\r\n", f"Xvfb output {out!r}")
        except subprocess.TimeoutExpired:
            prog.kill()
            prog.communicate()
            check(False, "r typed into the Graph window ends the program")
    finally:
        xvfb.terminate()
        xvfb.wait()


def main():
    with tempfile.TemporaryDirectory() as tmp:
        test_keys_piped_offscreen(tmp)
        test_fast_pipe_loses_no_key(tmp)
        test_no_display(tmp)
        test_xvfb(tmp)
    finish()


if __name__ == "__main__":
    main()

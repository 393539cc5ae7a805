#!/usr/bin/env python3
"""The programs' command line, on the real binaries with a pseudo-terminal as their controlling
terminal: --help, -h and --version print their text, exit 0 and start nothing (no window, no
"Sorry" line, the terminal's mode untouched and no keypad sequence sent to it); every other
argument, and --scale with anything but 1 to 4, is refused with one line on standard error and
status 2, the same way; --scale N is taken and the program runs and ends as usual."""
import fcntl
import os
import select
import subprocess
import sys
import termios

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from e2e import base_env, check, finish  # noqa: E402

PROGRAMS = {"zentavor": (os.environ["ZENTAVOR"], b"r", b"\r\nPress R to finish te program\r\n"),
            "trabolix": (os.environ["TRABOLIX"], b"q", b"\r\nUnused key pressed => EXIT\r\n")}
VERSION = sys.argv[1]


def run(prog, args):
    """Runs prog with args on a new pseudo-terminal (standard input and controlling terminal;
    TERM names a terminal with keypad modes, so a started terminal would be sent one). Returns
    (status, stdout, stderr, the terminal's mode unchanged, what reached the terminal)."""
    master, slave = os.openpty()
    before = termios.tcgetattr(slave)

    def controlling_terminal():
        os.setsid()
        fcntl.ioctl(slave, termios.TIOCSCTTY, 0)

    env = base_env(TERM="xterm")
    env.pop("SDL_VIDEODRIVER", None)  # no display at all: a started program ends at once
    proc = subprocess.Popen([prog, *args], stdin=slave, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, env=env,
                            preexec_fn=controlling_terminal)
    try:
        out, err = proc.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        proc.kill()
        out, err = proc.communicate()
    same = termios.tcgetattr(slave) == before
    sent = b""
    while select.select([master], [], [], 0)[0]:
        chunk = os.read(master, 4096)
        if not chunk:
            break
        sent += chunk
    os.close(master)
    os.close(slave)
    return proc.returncode, out, err, same, sent


def main():
    for name, (prog, exit_key, normal_end) in PROGRAMS.items():
        for args in (["--help"], ["-h"], ["--scale", "2", "--help"]):
            code, out, err, same, sent = run(prog, args)
            text = out.decode(errors="replace")
            check(code == 0 and err == b"" and text.startswith(f"Usage: {name} [--scale N]\n"),
                  f"{name} {' '.join(args)}: usage, status 0 ({code}, {out[:80]!r}, {err!r})")
            for item in ("DISPLAY", "TERM", "--scale N", "--version", "Ctrl+C", "errinfo.$$$",
                         "Sorry, graphics doesn't work", "Exit status"):
                check(item in text, f"{name} --help mentions {item!r}")
            check(same and sent == b"", f"{name} {' '.join(args)}: the terminal untouched "
                  f"(mode kept {same}, sent {sent!r})")
        keys = ["space", "8 or Up", "PgUp", "any other key"] if name == "trabolix" else ["  r "]
        check(all(k in text for k in keys), f"{name} --help lists its keys")

        code, out, err, same, sent = run(prog, ["--version"])
        check((code, out, err) == (0, f"{name} {VERSION}\n".encode(), b""),
              f"{name} --version: '{name} {VERSION}', status 0 ({code}, {out!r}, {err!r})")
        check(same and sent == b"", f"{name} --version: the terminal untouched")

        for args, says in ((["x"], "unknown argument 'x'"), (["--scale"], "--scale needs"),
                           (["--scale", "0"], "not '0'"), (["--scale", "5"], "not '5'"),
                           (["--scale=12"], "not '12'"), (["--scale", "2x"], "not '2x'"),
                           (["--scale", ""], "not ''"), (["--help=1"], "unknown argument"),
                           (["--scale", "2", "-v"], "unknown argument '-v'")):
            code, out, err, same, sent = run(prog, args)
            lines = err.decode(errors="replace").splitlines()
            check(code == 2 and out == b"" and len(lines) == 1
                  and lines[0].startswith(f"{name}: ") and says in lines[0]
                  and lines[0].endswith(f"(see {name} --help)"),
                  f"{name} {args}: refused in one line, status 2 ({code}, {out!r}, {err!r})")
            check(same and sent == b"", f"{name} {args}: the terminal untouched")

        # Without a display the program starts, sets up its terminal (the keypad mode) and
        # ends with its Sorry line: the checks above would see a started program.
        code, out, err, same, sent = run(prog, [])
        check(code == 0 and b"Sorry, graphics doesn't work" in out and b"\x1b=" in sent,
              f"{name} without arguments starts and sets up its terminal ({out!r}, {sent!r})")
        # Taken: the program runs as without it and ends on its exit key.
        for args in (["--scale", "3"], ["--scale=1"]):
            p = subprocess.run([prog, *args], input=exit_key, capture_output=True, timeout=60,
                               env=base_env(SDL_VIDEODRIVER="offscreen"))
            check(p.returncode == 0 and p.stdout == normal_end and p.stderr == b"",
                  f"{name} {args}: runs and ends normally ({p.returncode}, {p.stdout!r}, "
                  f"{p.stderr[-300:]!r})")
    finish()


if __name__ == "__main__":
    main()

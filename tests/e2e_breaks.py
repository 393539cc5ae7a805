#!/usr/bin/env python3
"""One program (zentavor or trabolix, the first argument) in a pseudo-terminal: Ctrl+C and Ctrl+\\
raise trap 21 with the report on the program's own channel and errinfo.$$$; a working directory
that cannot take the file gives the "Can't create" line; SIGTERM, SIGHUP and a crash end the
program by that signal; a normal end exits 0 without errinfo.$$$; and after every way out the
terminal's settings are as before."""
import ctypes
import fcntl
import os
import pty
import select
import signal
import subprocess
import sys
import tempfile
import termios
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from e2e import Resender, base_env, check, finish  # noqa: E402

ZENTAVOR = os.environ["ZENTAVOR"]
TRABOLIX = os.environ["TRABOLIX"]
PROGRAMS = {"zentavor": (ZENTAVOR, b"r", b"\r\nPress R to finish te program\r\n"),
            "trabolix": (TRABOLIX, b"q", b"\r\nUnused key pressed => EXIT\r\n")}
REPORT = b"#RTS: unhandled exception #21: USER BREAK\r\n\r\n"
LIBC = ctypes.CDLL(None, use_errno=True)

class Session:
    """A program on a new pseudo-terminal (its controlling terminal and standard input), with
    standard output and standard error on pipes so the two channels stay apart."""

    def __init__(self, prog, cwd, args=("--scale", "1")):
        self.prog = prog
        self.master, self.slave = pty.openpty()
        self.before = termios.tcgetattr(self.slave)
        env = base_env(SDL_VIDEODRIVER="offscreen")
        slave = self.slave

        def become_session_leader():
            os.setsid()
            fcntl.ioctl(slave, termios.TIOCSCTTY, 0)

        self.proc = subprocess.Popen([prog, *args], stdin=slave, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, cwd=cwd, env=env,
                                     preexec_fn=become_session_leader)
        self.out = b""
        self.err = b""
        self.pipes = {self.proc.stdout.fileno(): "out", self.proc.stderr.fileno(): "err"}
        self.resender = Resender()

    def type(self, data):
        os.write(self.master, data)
        if data in (b"\x03", b"\x1c"):
            self.resender.sent(lambda: os.write(self.master, data))

    def pump(self, timeout):
        """Collects what the program writes to its pipes (and drains the terminal) for at most
        `timeout` seconds. Answers whether a pipe is still open."""
        ready = select.select([*self.pipes, self.master], [], [], timeout)[0]
        for fd in ready:
            try:
                data = os.read(fd, 65536)
            except OSError:
                data = b""
            if fd == self.master:
                continue
            if not data:
                del self.pipes[fd]
            elif self.pipes[fd] == "out":
                self.out += data
            else:
                self.err += data
        return bool(self.pipes)

    def wait_until(self, cond, what, seconds=60):
        """Pumps until cond() holds; the deadline only guards against a program that hangs."""
        deadline = time.monotonic() + seconds
        while not cond():
            if time.monotonic() > deadline or not self.pump(0.02):
                check(cond(), what)
                return

    def finish(self, seconds=60):
        deadline = time.monotonic() + seconds
        while self.pump(max(0.0, min(1.0, deadline - time.monotonic()))):
            self.resender.poll()
            if time.monotonic() > deadline:
                self.proc.kill()
                check(False, "program ended in time")
                while self.pump(1):
                    pass
                break
        self.proc.wait()
        after = termios.tcgetattr(self.slave)
        os.close(self.master)
        os.close(self.slave)
        return self.proc.returncode, after == self.before


def wait_running(session):
    """Waits until the program has started its modules: its break handlers are installed and the
    terminal is in the program's mode (not canonical). Zentavor flushes typed-ahead keys while its
    modules start, so for it the line end its main body writes first is awaited as well."""
    def started():
        raw = not termios.tcgetattr(session.slave)[3] & termios.ICANON
        return raw and (session.prog != ZENTAVOR or session.out.startswith(b"\r\n"))

    session.wait_until(started, f"{os.path.basename(session.prog)} started")


def channel(session, prog):
    return session.err if prog == ZENTAVOR else session.out


def test_break(prog, key, name):
    with tempfile.TemporaryDirectory() as tmp:
        s = Session(prog, tmp)
        wait_running(s)
        s.type(key)
        code, same = s.finish()
        tag = f"{os.path.basename(prog)} {name}"
        check(code == 9, f"{tag}: exit code 9 (got {code})")
        check(channel(s, prog) == REPORT + b"File errinfo.$$$ created.\r\n",
              f"{tag}: report on its channel {s.out!r} {s.err!r}")
        other = s.out if prog == ZENTAVOR else s.err
        check(REPORT not in other, f"{tag}: no report on the other channel")
        check(same, f"{tag}: terminal settings restored")
        path = os.path.join(tmp, "errinfo.$$$")
        info = open(path, "rb").read() if os.path.exists(path) else b""
        lines = info.split(b"\n")
        check(lines[0] == f"{prog} --scale 1".encode(), f"{tag}: errinfo first line {lines[:1]}")
        check(len(lines) > 1 and lines[1] == REPORT.split(b"\r\n")[0],
              f"{tag}: errinfo report line")
        check(b"Call history" in info and b"main" in info, f"{tag}: errinfo call history")


def test_cannot_create(prog):
    with tempfile.TemporaryDirectory() as tmp:
        work = os.path.join(tmp, "work")
        os.mkdir(work)
        s = Session(prog, work)
        wait_running(s)
        if os.geteuid() == 0:
            os.rmdir(work)  # root writes anywhere; a removed directory takes no file either
        else:
            os.chmod(work, 0o555)
        s.type(b"\x03")
        code, same = s.finish()
        tag = f"{os.path.basename(prog)} read-only"
        check(code == 9, f"{tag}: exit code 9 (got {code})")
        check(channel(s, prog) == REPORT + b"#RTS: Can't create file errinfo.$$$\r\n",
              f"{tag}: Can't create line {channel(s, prog)!r}")
        check(same, f"{tag}: terminal settings restored")
        if os.path.exists(work):
            os.chmod(work, 0o755)


def send_signal(session, sig):
    """SIGTERM and SIGHUP come from outside, to the process. A crash signal arrives on the thread
    that faulted: here the main thread. (Sent to the whole process while Zentavor opens its
    window, a SIGSEGV left the terminal raw in about 1 run in 10 of the thread sanitizer build,
    and never in the other builds or when sent to the main thread.)"""
    if sig in (signal.SIGTERM, signal.SIGHUP):
        session.proc.send_signal(sig)
        session.resender.sent(lambda: session.proc.send_signal(sig))
    elif LIBC.tgkill(session.proc.pid, session.proc.pid, sig) != 0:
        check(False, f"tgkill: {os.strerror(ctypes.get_errno())}")
    else:
        session.resender.sent(lambda: LIBC.tgkill(session.proc.pid, session.proc.pid, sig))


def test_signal(prog, sig):
    with tempfile.TemporaryDirectory() as tmp:
        s = Session(prog, tmp)
        wait_running(s)
        send_signal(s, sig)
        code, same = s.finish()
        tag = f"{os.path.basename(prog)} {signal.Signals(sig).name}"
        check(code == -sig, f"{tag}: ends by the signal (got {code})")
        check(same, f"{tag}: terminal settings restored")
        check(not os.path.exists(os.path.join(tmp, "errinfo.$$$")), f"{tag}: no errinfo.$$$")


def test_normal_end(prog, key, expected):
    with tempfile.TemporaryDirectory() as tmp:
        s = Session(prog, tmp)
        wait_running(s)
        s.type(key)
        code, same = s.finish()
        tag = f"{os.path.basename(prog)} normal end"
        check(code == 0, f"{tag}: exit code 0 (got {code}, stderr {s.err!r})")
        check(s.out == expected, f"{tag}: output {s.out!r}")
        check(same, f"{tag}: terminal settings restored")
        check(not os.path.exists(os.path.join(tmp, "errinfo.$$$")), f"{tag}: no errinfo.$$$")


def main():
    prog, end_key, end_output = PROGRAMS[sys.argv[1]]
    test_break(prog, b"\x03", "Ctrl+C")
    test_break(prog, b"\x1c", "Ctrl+\\")
    test_cannot_create(prog)
    for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGSEGV):
        test_signal(prog, sig)
    test_normal_end(prog, end_key, end_output)
    finish()


if __name__ == "__main__":
    main()

"""Fault cases outside the graphics window: hostile terminal input, a planted errinfo.$$$ link,
a closed standard output and a terminal without keypad modes, each tried on the real programs
(paths in ZENTAVOR and TRABOLIX) under SDL's offscreen driver."""
import os
import select
import signal
import subprocess
import tempfile
import termios
import threading
import time

from e2e import RESEND_AFTER, Resender, base_env, start_on_pty
from faultlib import fault, outcome

ZENTAVOR = os.environ.get("ZENTAVOR", "")
TRABOLIX = os.environ.get("TRABOLIX", "")
ZENTAVOR_END = b"\r\nPress R to finish te program\r\n"
TRABOLIX_END = b"\r\nUnused key pressed => EXIT\r\n"
GUARD = 60  # seconds: only a program that hangs ever waits this long


def env(**extra):
    return base_env(SDL_VIDEODRIVER="offscreen", **extra)


def sanitized(prog):
    """True for a build with a sanitizer, whose every byte of work costs several times more."""
    with open(prog, "rb") as f:
        image = f.read()
    return b"__asan_init" in image or b"__tsan_init" in image


def ending(code, seconds=GUARD):
    """The way the process ended, in words (None: it had to be killed)."""
    if code is None:
        return f"still running {seconds} s after its exit key (killed)"
    if code < 0:
        return f"killed by {signal.Signals(-code).name}"
    return f"exit code {code}"


def stderr_words(err):
    if not err:
        return "standard error empty"
    first = err.decode(errors="replace").strip().splitlines()[0]
    return f"standard error: {first[:80]}"


def stdout_words(out, normal):
    if out == normal:
        return "its normal end text on standard output"
    return f"standard output {out[:60]!r}"


def wait_or_kill(proc, seconds=GUARD):
    """The exit code, or None after killing a process still running when time is up."""
    try:
        proc.wait(timeout=seconds)
        return proc.returncode
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        return None


class PipedRun:
    """A program with standard input a pipe this side writes at its own pace, and standard output
    and error read into memory."""

    def __init__(self, prog, cwd, stdout=subprocess.PIPE):
        r, self.w = os.pipe()
        self.proc = subprocess.Popen([prog], stdin=r, stdout=stdout, stderr=subprocess.PIPE,
                                     cwd=cwd, env=env())
        os.close(r)
        self.out = b""
        self.err = b""
        self.readers = []
        for stream, name in ((self.proc.stdout, "out"), (self.proc.stderr, "err")):
            if stream is not None:
                t = threading.Thread(target=self._read, args=(stream, name), daemon=True)
                t.start()
                self.readers.append(t)

    def _read(self, stream, name):
        data = stream.read()
        setattr(self, name, data)

    def write(self, data):
        """Writes all of data; False when the program no longer reads."""
        view = memoryview(data)
        try:
            while view:
                view = view[os.write(self.w, view):]
            return True
        except BrokenPipeError:
            return False

    def close_input(self):
        if self.w >= 0:
            os.close(self.w)
            self.w = -1

    def finish(self, seconds=GUARD):
        code = wait_or_kill(self.proc, seconds)
        for t in self.readers:
            t.join()
        return code


class PtyRun:
    """A program on a new pseudo-terminal (its controlling terminal and standard input), with
    standard output and standard error on pipes."""

    def __init__(self, prog, cwd, extra_env):
        self.master, self.slave, self.before, self.proc = start_on_pty(prog, extra_env, cwd)
        self.terminal = b""  # what the program wrote to the terminal itself
        self.early = b""  # standard output read before finish
        self.resender = Resender()

    def drain(self):
        while select.select([self.master], [], [], 0)[0]:
            try:
                data = os.read(self.master, 4096)
            except OSError:
                return
            if not data:
                return
            self.terminal += data

    def wait_raw(self):
        """Waits until the program has put the terminal into its own mode (its console library
        has started, after the break handlers); False if that never happens."""
        deadline = time.time() + GUARD
        while time.time() < deadline and self.proc.poll() is None:
            self.drain()
            if termios.tcgetattr(self.slave)[3] & termios.ICANON == 0:
                return True
            time.sleep(0.02)
        return False

    def wait_output(self, data):
        """Waits until standard output has shown data; False if it never does."""
        deadline = time.time() + GUARD
        fd = self.proc.stdout.fileno()
        while data not in self.early and time.time() < deadline:
            self.drain()
            if select.select([fd], [], [], 0.05)[0]:
                chunk = os.read(fd, 4096)
                if not chunk:
                    break
                self.early += chunk
        return data in self.early

    def type(self, data):
        os.write(self.master, data)
        if data == b"\x03":
            self.resender.sent(lambda: os.write(self.master, data))

    def finish(self):
        """(exit code or None, standard output, standard error, terminal settings restored)."""
        try:
            try:
                out, err = self.proc.communicate(
                    timeout=RESEND_AFTER if self.resender.action else GUARD)
            except subprocess.TimeoutExpired:
                if not self.resender.poll():
                    raise
                out, err = self.proc.communicate(timeout=GUARD)
            code = self.proc.returncode
        except subprocess.TimeoutExpired:
            self.proc.kill()
            out, err = self.proc.communicate()
            code = None
        self.drain()
        same = termios.tcgetattr(self.slave) == self.before
        os.close(self.master)
        os.close(self.slave)
        return code, self.early + out, err, same


# --- an endless sequence -------------------------------------------------------------------

@fault("endless CSI from a pipe: ESC [, over 2^31 ';' (2^22 in sanitizer builds), a digit and "
       "'~', then the exit key", "Zentavor")
def endless_csi():
    count = 2**22 if sanitized(ZENTAVOR) else 2**31 + 2
    block = b";" * (1 << 20)
    with tempfile.TemporaryDirectory() as tmp:
        run = PipedRun(ZENTAVOR, tmp)
        sent = []

        def feed():  # on a thread of its own: a program that stops reading must not stop us
            ok = run.write(b"\x1b[")
            left = count
            while ok and left > 0:
                ok = run.write(block[:min(left, len(block))])
                left -= len(block)
            sent.append(ok and run.write(b"7~r"))

        writer = threading.Thread(target=feed, daemon=True)
        writer.start()
        code = run.finish(seconds=300)  # kills a program still running; the writer then fails
        writer.join()
        run.close_input()
        return outcome(ending(code, 300), stdout_words(run.out, ZENTAVOR_END),
                       stderr_words(run.err),
                       "" if sent[0] else "stopped reading its input before the end")


# --- a planted errinfo.$$$ ------------------------------------------------------------------

def planted_link(prog, dangling):
    with tempfile.TemporaryDirectory() as tmp:
        target = os.path.join(tmp, "target")
        if not dangling:
            with open(target, "wb") as f:
                f.write(b"precious\n")
        link = os.path.join(tmp, "errinfo.$$$")
        os.symlink("target", link)
        run = PtyRun(prog, tmp, env(TERM="xterm"))
        raw = run.wait_raw()
        run.type(b"\x03")
        code, out, err, same = run.finish()
        report = err if prog == ZENTAVOR else out
        lines = [l for l in report.decode(errors="replace").split("\r\n") if l]
        if dangling:
            kept = "the link's target was not created" if not os.path.lexists(target) else \
                "the link's target was created"
        else:
            with open(target, "rb") as f:
                kept = "the link's target untouched" if f.read() == b"precious\n" else \
                    "the link's target was overwritten"
        still = "the link left as it was" if os.path.islink(link) and \
            os.readlink(link) == "target" else "the link was replaced"
        return outcome("" if raw else "the terminal never became raw", ending(code),
                       "report: " + " / ".join(lines), kept, still,
                       "terminal settings restored" if same else "terminal left changed")


@fault("errinfo.$$$ planted as a symbolic link to a file, then Ctrl+C in a terminal", "Zentavor")
def link_to_file():
    return planted_link(ZENTAVOR, dangling=False)


@fault("errinfo.$$$ planted as a dangling symbolic link, then Ctrl+C in a terminal", "Trabolix")
def dangling_link():
    return planted_link(TRABOLIX, dangling=True)


# --- closed standard output -----------------------------------------------------------------

def closed_output(prog, keys):
    with tempfile.TemporaryDirectory() as tmp:
        r, w = os.pipe()
        os.close(r)  # nobody will ever read what the program writes
        run = PipedRun(prog, tmp, stdout=w)
        os.close(w)
        run.write(keys)
        code = run.finish()
        run.close_input()
        return outcome(ending(code), stderr_words(run.err))


@fault("standard output a pipe whose reader is gone; keys r and Enter from a pipe", "Zentavor")
def closed_output_zentavor():
    return closed_output(ZENTAVOR, b"r\r")


@fault("standard output a pipe whose reader is gone; key q from a pipe", "Trabolix")
def closed_output_trabolix():
    return closed_output(TRABOLIX, b"q")


# --- a terminal without keypad modes --------------------------------------------------------

def dumb_terminal(prog, key, normal, started=b""):
    """started: what the program writes once typed-ahead input has been discarded."""
    with tempfile.TemporaryDirectory() as tmp:
        run = PtyRun(prog, tmp, env(TERM="dumb"))
        raw = run.wait_raw()
        seen = run.wait_output(started)
        run.type(key)
        code, out, err, same = run.finish()
        modes = [name for seq, name in ((b"\x1b=", "ESC ="), (b"\x1b>", "ESC >"))
                 if seq in run.terminal]
        return outcome("" if raw else "the terminal never became raw",
                       "" if seen else "its start never showed on standard output", ending(code),
                       stdout_words(out, normal), stderr_words(err),
                       "keypad mode sequences written: " + ", ".join(modes) if modes else
                       "no keypad mode sequence written to the terminal",
                       "terminal settings restored" if same else "terminal left changed")


@fault("TERM=dumb in a terminal, then the exit key", "Zentavor")
def dumb_zentavor():
    # Zentavor discards keys typed ahead of its start; its first line end follows that.
    return dumb_terminal(ZENTAVOR, b"r", ZENTAVOR_END, started=b"\r\n")


@fault("TERM=dumb in a terminal, then the exit key", "Trabolix")
def dumb_trabolix():
    return dumb_terminal(TRABOLIX, b"q", TRABOLIX_END)


# --- standard input at its end --------------------------------------------------------------

def stderr_lines(err):
    lines = err.decode(errors="replace").splitlines()
    if not lines:
        return "standard error empty"
    return f"{len(lines)} line(s) on standard error: " + " / ".join(l[:80] for l in lines[:3])


def input_ended(prog, stdin, keys=b"", seconds=5):
    """Runs prog with standard input `stdin` ("null", "closed" or "pipe": keys, then the end)."""
    with tempfile.TemporaryDirectory() as tmp:
        kwargs = dict(stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=tmp, env=env())
        if stdin == "null":
            proc = subprocess.Popen([prog], stdin=subprocess.DEVNULL, **kwargs)
        elif stdin == "closed":
            proc = subprocess.Popen([prog], stdin=None, preexec_fn=lambda: os.close(0), **kwargs)
        else:
            proc = subprocess.Popen([prog], stdin=subprocess.PIPE, **kwargs)
        try:
            out, err = proc.communicate(input=keys if stdin == "pipe" else None, timeout=seconds)
            how = f"ended by itself within {seconds} s, {ending(proc.returncode)}"
        except subprocess.TimeoutExpired:
            proc.kill()
            out, err = proc.communicate()
            how = f"still running {seconds} s after its input ended (killed)"
        return outcome(how, stdout_words(out, b"") if out else "standard output empty",
                       stderr_lines(err))


@fault("standard input at its end (</dev/null), no key", "Trabolix")
def null_input_trabolix():
    return input_ended(TRABOLIX, "null")


@fault("standard input closed (<&-)", "Trabolix")
def closed_input_trabolix():
    return input_ended(TRABOLIX, "closed")


@fault("keys 888 from a pipe, then the end of the pipe", "Trabolix")
def keys_then_end_trabolix():
    return input_ended(TRABOLIX, "pipe", b"888")


@fault("standard input at its end (</dev/null), no key (its window still takes r)", "Zentavor")
def null_input_zentavor():
    return input_ended(ZENTAVOR, "null", seconds=3)

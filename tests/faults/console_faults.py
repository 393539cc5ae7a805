"""Fault cases outside the graphics window: hostile terminal input, a planted errinfo.$$$ link, a
file system with no room for errinfo.$$$, a closed standard output, a terminal without keypad
modes, signals ignored at start, a terminal that is not the controlling terminal and a terminal
as standard output, each tried on the real programs (paths in ZENTAVOR and TRABOLIX) under SDL's
offscreen driver."""
import os
import resource
import select
import signal
import subprocess
import tempfile
import termios
import threading
import time

from e2e import RESEND_AFTER, Resender, base_env, start_on_pty
from faultlib import fault, outcome, sanitized

ZENTAVOR = os.environ.get("ZENTAVOR", "")
TRABOLIX = os.environ.get("TRABOLIX", "")
ZENTAVOR_END = b"\r\nPress R to finish te program\r\n"
TRABOLIX_END = b"\r\nUnused key pressed => EXIT\r\n"
GUARD = 60  # seconds: only a program that hangs ever waits this long


def env(**extra):
    return base_env(SDL_VIDEODRIVER="offscreen", **extra)


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


def report_words(report):
    lines = [l for l in report.decode(errors="replace").split("\r\n") if l]
    return "report: " + " / ".join(lines)


def errinfo_words(tmp, prog):
    """What errinfo.$$$ holds: nothing, the whole report (the program, the report line, the call
    history to its closing line), or a part of it."""
    path = os.path.join(tmp, "errinfo.$$$")
    if not os.path.lexists(path):
        return "no errinfo.$$$ left"
    with open(path, "rb") as f:
        info = f.read()
    if info.startswith(f"{prog}\n#RTS: unhandled exception #".encode()) and \
            info.endswith(b"(end of call history)\n"):
        return "errinfo.$$$ written whole"
    return f"errinfo.$$$ left with {len(info)} bytes, not the whole report"


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
    standard output and standard error on pipes; `start` as start_on_pty takes it."""

    def __init__(self, prog, cwd, extra_env, **start):
        self.master, self.slave, self.before, self.proc = start_on_pty(prog, extra_env, cwd,
                                                                       **start)
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

    def wait_terminal(self, data):
        """Waits until the program has written data to the terminal; False if it never does."""
        deadline = time.time() + GUARD
        while data not in self.terminal and time.time() < deadline and self.proc.poll() is None:
            select.select([self.master], [], [], 0.05)
            self.drain()
        self.drain()
        return data in self.terminal

    def type(self, data):
        os.write(self.master, data)
        if data in (b"\x03", b"\x1c"):
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
        return code, self.early + (out or b""), err or b"", same


# --- an endless sequence -------------------------------------------------------------------

@fault("endless CSI from a pipe: ESC [, 2^14 ';' (four reads, far past every limit of the key "
       "decoder), a digit and '~', then the exit key", "Zentavor")
def endless_csi():
    # The decoder's counters stop one past their limits, so a run longer than a few of the
    # program's 4 KiB reads shows what any longer one does.
    count = 2**14
    block = b";" * 4096
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
                       report_words(err if prog == ZENTAVOR else out), kept, still,
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


# --- a break on a terminal, and the report file on a full file system ----------------------

def started(run, prog):
    """Waits until the program runs its main body: the terminal in its mode and, for Zentavor,
    the first line end written once typed-ahead keys were discarded."""
    raw = run.wait_raw()
    if prog == ZENTAVOR:
        if run.proc.stdout is None:
            return raw and run.wait_terminal(b"\r\n")
        return raw and run.wait_output(b"\r\n")
    return raw


def broken(prog, key, **start):
    """Starts prog on a terminal as `start` says, then types a break key: the report and the
    file it leaves."""
    with tempfile.TemporaryDirectory() as tmp:
        run = PtyRun(prog, tmp, env(TERM="xterm"), **start)
        up = started(run, prog)
        run.type(key)
        code, out, err, same = run.finish()
        return outcome("" if up else "its start was never seen", ending(code),
                       report_words(err if prog == ZENTAVOR else out), errinfo_words(tmp, prog),
                       "terminal settings restored" if same else "terminal left changed")


def no_room(prog, limit):
    """A full file system fails write(2) with ENOSPC. A file size limit fails it the same way
    (EFBIG, with SIGXFSZ ignored so the limit does not kill), needs neither root nor a mount, and
    can stop the file at a chosen byte, so it stands in for the full disk: `limit` is where the
    file system runs out of room."""
    def full_file_system():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

    return broken(prog, b"\x03", before_exec=full_file_system)


@fault("no room for errinfo.$$$ at all (a full file system: a file size limit of 0 bytes), "
       "then Ctrl+C in a terminal", "Zentavor")
def no_room_at_all():
    return no_room(ZENTAVOR, 0)


@fault("room for errinfo.$$$ ends inside its call history (a file size limit), then Ctrl+C in "
       "a terminal", "Trabolix")
def no_room_for_history():
    head = f"{TRABOLIX}\n#RTS: unhandled exception #21: USER BREAK\n\nCall history " \
        "(innermost first):\n"
    return no_room(TRABOLIX, len(head.encode()) + 10)


# --- signals ignored at start ---------------------------------------------------------------

def ignoring(*signals):
    def ignore():
        for sig in signals:
            signal.signal(sig, signal.SIG_IGN)

    return ignore


def keeps_running(prog, action, **start):
    """Starts prog on a terminal as `start` says, does `action` to it, then types its exit key."""
    key, normal = (b"r", ZENTAVOR_END) if prog == ZENTAVOR else (b"q", TRABOLIX_END)
    with tempfile.TemporaryDirectory() as tmp:
        run = PtyRun(prog, tmp, env(TERM="xterm"), **start)
        up = started(run, prog)
        action(run)
        run.type(key)
        code, out, err, same = run.finish()
        return outcome("" if up else "its start was never seen", ending(code),
                       stdout_words(out, normal), stderr_words(err), errinfo_words(tmp, prog),
                       "terminal settings restored" if same else "terminal left changed")


def break_keys(run):
    os.write(run.master, b"\x03\x1c")


def hang_up(run):
    run.proc.send_signal(signal.SIGHUP)


@fault("started with SIGINT and SIGQUIT ignored (a background job of a script), then Ctrl+C, "
       "Ctrl+\\ and the exit key in a terminal", "Zentavor")
def break_ignored_zentavor():
    return keeps_running(ZENTAVOR, break_keys,
                         before_exec=ignoring(signal.SIGINT, signal.SIGQUIT))


@fault("started with SIGINT and SIGQUIT ignored (a background job of a script), then Ctrl+C, "
       "Ctrl+\\ and the exit key in a terminal", "Trabolix")
def break_ignored_trabolix():
    return keeps_running(TRABOLIX, break_keys,
                         before_exec=ignoring(signal.SIGINT, signal.SIGQUIT))


@fault("started with SIGINT and SIGQUIT ignored on a terminal that is not its controlling "
       "terminal (setsid), then Ctrl+C, Ctrl+\\ and the exit key", "Trabolix")
def break_ignored_without_controlling_terminal():
    return keeps_running(TRABOLIX, break_keys, controlling=False,
                         before_exec=ignoring(signal.SIGINT, signal.SIGQUIT))


@fault("started with SIGHUP ignored (nohup), then SIGHUP and the exit key in a terminal",
       "Zentavor")
def hangup_ignored_zentavor():
    return keeps_running(ZENTAVOR, hang_up, before_exec=ignoring(signal.SIGHUP))


@fault("started with SIGHUP ignored (nohup), then SIGHUP and the exit key in a terminal",
       "Trabolix")
def hangup_ignored_trabolix():
    return keeps_running(TRABOLIX, hang_up, before_exec=ignoring(signal.SIGHUP))


# --- a terminal that is not the controlling terminal ----------------------------------------

@fault("standard input a terminal that is not its controlling terminal (setsid), then Ctrl+C",
       "Zentavor")
def interrupt_without_controlling_terminal():
    return broken(ZENTAVOR, b"\x03", controlling=False)


@fault("standard input a terminal that is not its controlling terminal (setsid), then Ctrl+\\",
       "Trabolix")
def quit_without_controlling_terminal():
    return broken(TRABOLIX, b"\x1c", controlling=False)


# --- a terminal as standard output ----------------------------------------------------------

def on_terminal(prog, key):
    """Standard input, output and error all the terminal: what the terminal receives, keypad mode
    sequences left out."""
    with tempfile.TemporaryDirectory() as tmp:
        run = PtyRun(prog, tmp, env(TERM="xterm"), output_on_terminal=True)
        up = started(run, prog)
        run.type(key)
        code, _, _, same = run.finish()
        text = run.terminal.replace(b"\x1b=", b"").replace(b"\x1b>", b"")
        ends = "line ends CR CR LF" if b"\r\r\n" in text else "line ends CR LF"
        return outcome("" if up else "its start was never seen", ending(code),
                       f"the terminal received {text!r}", ends,
                       "terminal settings restored" if same else "terminal left changed")


@fault("standard output and standard error the terminal, then the exit key", "Zentavor")
def output_on_terminal_zentavor():
    return on_terminal(ZENTAVOR, b"r")


@fault("standard output and standard error the terminal, then Ctrl+C", "Trabolix")
def output_on_terminal_trabolix():
    return on_terminal(TRABOLIX, b"\x03")
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

"""Faults of the graphics window: the X server, another X client or the display setting works
against the program. Each case runs the real program as a user does (its own Xvfb, keys on a
pseudo-terminal) and describes the end: exit code, output, standard error, the terminal."""
import os
import secrets
import socket
import struct
import subprocess
import tempfile
import threading
import time

from faultlib import fault, outcome, sanitized
from xsession import NORMAL_END, PROGRAMS, Session, Xvfb, text, user_env

BOTH = ("Zentavor", "Trabolix")


def ending(program, session, code, same):
    """The facts of a program's end, in words."""
    out, err = session.out, session.err
    return outcome(
        f"exit code {code}",
        "its normal end text on standard output" if out == NORMAL_END[program]
        else f"standard output \"{text(out)}\"",
        f"standard error: {text(err)}" if err else "standard error empty",
        "terminal settings restored" if same else "terminal settings left changed")


def running_session(program, xvfb, **env):
    """The program under `xvfb` with its window mapped; None when no window came."""
    s = Session(PROGRAMS[program], user_env(DISPLAY=xvfb.display, **env))
    if xvfb.graph_window() is None:
        return s, False
    s.pause(0.5)  # some frames
    return s, True


def after_loss(program, make_loss, line):
    """Opens the program, does `make_loss(xvfb, window)`, waits for the line on standard error,
    checks that the program still draws on (its processor use stays paced), then ends it."""
    with Xvfb() as xvfb:
        s, opened = running_session(program, xvfb)
        if not opened:
            code, same = s.finish(5)
            return outcome("no window opened", ending(program, s, code, same))
        window = xvfb.graph_window()
        # Zentavor is paced by its window; after the loss it must keep a pace rather than spin:
        # its processor use over two seconds, before and after, compared.
        cpu = s.cpu_seconds()
        s.pause(2.0)
        before = s.cpu_seconds() - cpu
        make_loss(xvfb, window)
        told = s.wait_stderr(line, 20)
        facts = []
        if told and s.proc.poll() is None:
            cpu = s.cpu_seconds()
            s.pause(2.0)
            after = s.cpu_seconds() - cpu
            if program == "Zentavor":
                paced = after <= 2 * before + 0.05
                facts.append("frames stay paced" if paced else "frames run without pace")
            facts.append("keeps running")
        code, same = s.end(program) if s.proc.poll() is None else s.finish(5)
        return outcome(*facts, ending(program, s, code, same))


for program in BOTH:

    @fault("window destroyed by another X client (xdotool windowclose)", program)
    def window_destroyed(program=program):
        return after_loss(program, lambda x, w: x.x("xdotool", "windowclose", w),
                          b"Graph: window lost\n")

    @fault("X connection killed by another X client (xkill)", program)
    def connection_killed(program=program):
        return after_loss(program, lambda x, w: x.x("xkill", "-id", w),
                          b"Graph: display connection lost\n")

    @fault("X server killed while the window is open", program)
    def server_killed(program=program):
        return after_loss(program, lambda x, w: x.kill(), b"Graph: display connection lost\n")

    @fault("DISPLAY names no X server (no runtime directory set)", program)
    def no_server(program=program):
        s = Session(PROGRAMS[program], user_env(DISPLAY=":9999"))
        code, same = s.finish(30)
        return ending(program, s, code, same)

    @fault("X server refuses the first two connections at start-up", program)
    def refused_at_start(program=program):
        with Xvfb() as xvfb, RefusingDisplay(xvfb, refuse=2) as front:
            s = Session(PROGRAMS[program], user_env(DISPLAY=front.display))
            opened = xvfb.graph_window() is not None
            code, same = s.end(program) if s.proc.poll() is None else s.finish(5)
            return outcome("the window opens" if opened else "no window opened",
                           ending(program, s, code, same))


def limited(program, limit):
    """A script that runs `program` under the shell's `limit` (e.g. "ulimit -n 4")."""
    script = os.path.join(tempfile.mkdtemp(prefix="zt_fault_"), "limited")
    with open(script, "w") as f:
        f.write(f"#!/bin/sh\n{limit}\nexec {PROGRAMS[program]}\n")
    os.chmod(script, 0o755)
    return script


def run_to_end(program, xvfb, prog=None, **env):
    """Runs the program (or `prog`, a script that runs it) on `xvfb`: when its window opens it is
    ended with its exit key; describes the end."""
    s = Session(prog or PROGRAMS[program], user_env(DISPLAY=xvfb.display, **env))
    opened, end = False, time.time() + 30
    while not opened and s.proc.poll() is None and time.time() < end:
        opened = xvfb.graph_window(0.2) is not None
    code, same = s.end(program) if s.proc.poll() is None else s.finish(5)
    anonymous(s, xvfb.display)
    return outcome("the window opens" if opened else "no window opened",
                   ending(program, s, code, same))


def anonymous(session, display):
    """The display's number, which changes from run to run, as N in what the program wrote."""
    session.err = session.err.replace(f"display {display}:".encode(), b"display :N:")


def cookie_file(path, display):
    """An authority file with a new random cookie for `display`."""
    subprocess.run(["xauth", "-f", path, "add", display, ".", secrets.token_hex(16)],
                   check=True, capture_output=True)


for program in BOTH:

    @fault("8-bit X display (Xvfb -screen 0 1280x1024x8)", program)
    def eight_bits(program=program):
        with Xvfb(depth=8) as xvfb:
            return run_to_end(program, xvfb)

    @fault("X cookie refused (XAUTHORITY holds a cookie the server does not know)", program)
    def wrong_cookie(program=program):
        scratch = tempfile.mkdtemp(prefix="zt_fault_")
        server, client = os.path.join(scratch, "server"), os.path.join(scratch, "client")
        # The server takes every cookie of its file whatever display it names; the display's
        # number is known once the server runs, and the client's file names it.
        cookie_file(server, ":0")
        with Xvfb(auth=server) as xvfb:
            cookie_file(client, xvfb.display)
            return run_to_end(program, xvfb, XAUTHORITY=client)

    @fault("X server full (it refuses: Maximum number of clients reached)", program)
    def server_full(program=program):
        with FullServer() as full:
            s = Session(PROGRAMS[program], user_env(DISPLAY=full.display))
            code, same = s.finish(30)
            anonymous(s, full.display)
            return ending(program, s, code, same)

    @fault("four file descriptors (ulimit -n 4)", program)
    def four_descriptors(program=program):
        with Xvfb() as xvfb:
            return run_to_end(program, xvfb, prog=limited(program, "ulimit -n 4"))

    for megabytes, kilobytes in ((120, 120000), (42, 42000)):
        @fault(f"{megabytes} MB of address space (ulimit -v {kilobytes})", program)
        def address_space(program=program, kilobytes=kilobytes):
            if sanitized(PROGRAMS[program]):
                return None  # a sanitizer's shadow memory alone takes more address space
            with Xvfb() as xvfb:
                return run_to_end(program, xvfb, prog=limited(program, f"ulimit -v {kilobytes}"))


@fault("drawing only where revision 1's client area ends (below and right of it)",
       "Trabolix's graphics library")
def hidden_strip():
    strip = os.path.join(os.environ["ZT_BINARY_DIR"], "graph", "graph_trabolix_strip")
    with Xvfb() as xvfb:
        s = Session(strip, user_env(DISPLAY=xvfb.display))
        code, same = s.finish(60)
        return outcome(f"exit code {code}", f"standard output \"{text(s.out)}\"",
                       f"standard error: {text(s.err)}" if s.err else "standard error empty")


class RefusingDisplay:
    """A display in front of an Xvfb that closes its first `refuse` connections at once, as a
    loaded server now and then does, and passes the later ones through."""

    def __init__(self, xvfb, refuse):
        self.target = f"/tmp/.X11-unix/X{xvfb.number}"
        self.refuse = refuse
        for n in range(200, 300):
            path = f"/tmp/.X11-unix/X{n}"
            if not os.path.exists(path) and not os.path.exists(f"/tmp/.X{n}-lock"):
                break
        self.path = path
        self.display = f":{n}"
        self.listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.listener.bind(self.path)
        self.listener.listen(8)
        self.stopped = False
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while not self.stopped:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            if self.refuse > 0:
                self.refuse -= 1
                client.close()
                continue
            server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            server.connect(self.target)
            for a, b in ((client, server), (server, client)):
                threading.Thread(target=self._pipe, args=(a, b), daemon=True).start()

    @staticmethod
    def _pipe(a, b):
        try:
            while True:
                data = a.recv(65536)
                if not data:
                    break
                b.sendall(data)
        except OSError:
            pass
        for sock in (a, b):
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stopped = True
        self.listener.close()
        try:
            os.unlink(self.path)
        except OSError:
            pass


def free_display():
    """A display number with neither a socket nor a lock file: (":N", socket path)."""
    for n in range(200, 300):
        path = f"/tmp/.X11-unix/X{n}"
        if not os.path.exists(path) and not os.path.exists(f"/tmp/.X{n}-lock"):
            return f":{n}", path
    raise RuntimeError("no free display number")


class FullServer:
    """A display that answers every connection as a full X server does: the connection setup
    fails with the reason "Maximum number of clients reached"."""

    REASON = b"Maximum number of clients reached"

    def __init__(self):
        self.display, self.path = free_display()
        self.listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.listener.bind(self.path)
        self.listener.listen(8)
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        padded = self.REASON + b"\0" * (-len(self.REASON) % 4)
        # Failed (0), the reason's length, protocol 11.0, the rest's length in 4-byte units.
        reply = struct.pack("<BBHHH", 0, len(self.REASON), 11, 0, len(padded) // 4) + padded
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            try:
                client.recv(4096)  # the client's setup request
                client.sendall(reply)
            except OSError:
                pass
            client.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.listener.close()
        os.unlink(self.path)

#!/usr/bin/env python3
"""The terminal is left as it was found, whichever way the program ends.

Runs a key probe program (linked with one console build) as a job on a pseudo-terminal, under a
small job-control shell in the terminal's session, and checks: keys typed arrive one at a time
(non-canonical input); the keypad is switched to application mode and back; and the terminal
settings after the program are those before it, after a normal end, Ctrl+C, SIGTERM, SIGHUP,
SIGSEGV, and while stopped by Ctrl+Z (and raw again after the job continues).
"""
import os
import pty
import select
import signal
import sys
import tempfile
import termios
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests",
                                "support"))
from e2e import Resender  # noqa: E402

PROBE = os.path.abspath(sys.argv[1])
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def shell(report_fd):
    """Runs in the session leader on the terminal: starts the probe as a foreground job."""
    def say(text):
        os.write(report_fd, (text + "\n").encode())

    before = termios.tcgetattr(0)
    job = os.fork()
    if job == 0:
        os.setpgid(0, 0)
        signal.signal(signal.SIGTTOU, signal.SIG_IGN)
        os.tcsetpgrp(0, os.getpgrp())
        signal.signal(signal.SIGTTOU, signal.SIG_DFL)
        os.execv(PROBE, [PROBE])
    try:
        os.setpgid(job, job)
    except OSError:
        pass
    say("job=%d" % job)
    signal.signal(signal.SIGTTOU, signal.SIG_IGN)
    while True:
        _, status = os.waitpid(job, os.WUNTRACED)
        if os.WIFSTOPPED(status):
            os.tcsetpgrp(0, os.getpgrp())
            say("stopped same=%d" % (termios.tcgetattr(0) == before))
            os.tcsetpgrp(0, job)
            os.killpg(job, signal.SIGCONT)
            continue
        break
    os.tcsetpgrp(0, os.getpgrp())
    code = os.WEXITSTATUS(status) if os.WIFEXITED(status) else -os.WTERMSIG(status)
    say("ended code=%d same=%d" % (code, termios.tcgetattr(0) == before))
    os._exit(0)


def give_up(pid, reports):
    """Waits for the shell; kills the job and the shell if the job has not ended."""
    if b"ended" not in reports:
        for line in reports.decode().split():
            if line.startswith("job="):
                os.kill(int(line[4:]), signal.SIGKILL)
        os.kill(pid, signal.SIGKILL)
    os.waitpid(pid, 0)


def job_pid(reports):
    """The probe's process id, once the shell has reported it."""
    for line in reports.decode().split():
        if line.startswith("job="):
            return int(line[4:])
    return None


def converse(act, drain):
    """Runs the probe's shell in a new pseudo-terminal and reads its output and reports until the
    probe has ended, calling act(master, output so far, reports so far) before each read; with
    `drain`, reads what is left of the output after the end. Returns (output, reports)."""
    report_r, report_w = os.pipe()
    pid, master = pty.fork()
    if pid == 0:
        os.close(report_r)
        try:
            shell(report_w)
        finally:
            os._exit(1)
    os.close(report_w)
    output = b""
    reports = b""
    deadline = time.time() + 60  # only a hung probe takes this long
    while time.time() < deadline and b"ended" not in reports:
        act(master, output, reports)
        ready, _, _ = select.select([master, report_r], [], [], 0.1)
        if master in ready:
            try:
                output += os.read(master, 4096)
            except OSError:
                pass
        if report_r in ready:
            reports += os.read(report_r, 4096)
    if drain:
        try:
            while select.select([master], [], [], 0.1)[0]:
                output += os.read(master, 4096)
        except OSError:
            pass
    give_up(pid, reports)
    os.close(master)
    os.close(report_r)
    return output, reports


def run(scenario, typing):
    """typing: list of (wait-for text, action): bytes to type, or a signal to send to the probe.
    Returns (terminal output, reports)."""
    steps = list(typing)
    resender = Resender()

    def act(master, output, reports):
        if steps and steps[0][0].encode() in output:
            action = steps[0][1]
            if isinstance(action, bytes):
                os.write(master, steps.pop(0)[1])
                if action in (b"\x03", b"\x1c", b"\x1a"):
                    resender.sent(lambda key=action: os.write(master, key))
            elif job_pid(reports) is not None:
                job = job_pid(reports)
                os.kill(job, action)
                resender.sent(lambda sig=action, job=job: os.kill(job, sig))
                steps.pop(0)
        elif not steps:
            resender.poll()

    output, reports = converse(act, drain=True)
    check(b"Sanitizer" not in output, "no sanitizer report (%s)" % scenario)
    return output, reports.decode()


def main():
    os.chdir(tempfile.mkdtemp())
    print("probe:", PROBE)
    os.environ["TERM"] = "xterm"  # a terminal with keypad modes, whatever ran the tests


    out, rep = run("keys", [("ready", b"a"), ("61\r", b"\x1b[A"), ("00\r", b"q")])
    check("ended code=0 same=1" in rep, "normal end restores: " + rep)
    check(b"\x1b=" in out and b"\x1b>" in out, "keypad application mode set and reset")
    check(out.index(b"\x1b=") < out.index(b"ready"), "keypad mode set at start")

    out, rep = run("break", [("ready", b"\x03")])
    check("ended code=9 same=1" in rep, "Ctrl+C restores: " + rep)
    check(b"#RTS: unhandled exception #21: USER BREAK" in out, "Ctrl+C report")

    for sig in ("SIGTERM", "SIGHUP", "SIGSEGV"):
        out, rep = run(sig, [("ready", getattr(signal, sig))])
        want = "ended code=%d same=1" % -getattr(signal, sig)
        check(want in rep, sig + " restores: " + rep)

    # A terminal without keypad modes gets no mode sequences, but the same raw input.
    for term in ("dumb", None):
        if term is None:
            os.environ.pop("TERM", None)
        else:
            os.environ["TERM"] = term
        out, rep = run("keys", [("ready", b"a"), ("61\r", b"q")])
        check("ended code=0 same=1" in rep, "TERM=%s: normal end restores: %s" % (term, rep))
        check(b"\x1b=" not in out and b"\x1b>" not in out,
              "TERM=%s: no keypad mode sequences (%r)" % (term, out))
    os.environ["TERM"] = "xterm"



def stop_and_continue():
    stage = 0
    resender = Resender()

    def act(master, output, reports):
        nonlocal stage
        if stage == 0 and b"ready" in output:
            os.write(master, b"\x1a")
            resender.sent(lambda: os.write(master, b"\x1a"))
            stage = 1
        elif stage == 1 and b"stopped" not in reports:
            resender.poll()
        elif stage == 1 and output.count(b"\x1b=") == 2:
            # Continued: the job has the terminal in its mode again (the keypad switch follows).
            os.write(master, b"b")
            stage = 2
        elif stage == 2 and b"62\r" in output:
            os.write(master, b"q")
            stage = 3

    output, reports = converse(act, drain=False)
    rep = reports.decode()
    check(b"Sanitizer" not in output, "no sanitizer report (stop)")
    check("stopped same=1" in rep, "Ctrl+Z restores while stopped: " + rep)
    check(stage == 3, "after fg keys arrive one at a time again (stage %d)" % stage)
    check("ended code=0 same=1" in rep, "end after stop and continue restores: " + rep)
    check(output.count(b"\x1b=") == 2 and output.count(b"\x1b>") == 2,
          "keypad mode reset on stop and set again on continue")


if __name__ == "__main__":
    main()
    stop_and_continue()
    if failures:
        sys.exit(1)
    print("all terminal restore checks passed")

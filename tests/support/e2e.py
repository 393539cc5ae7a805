"""Shared pieces of the end-to-end scripts: failure bookkeeping, a clean environment, a program on
a pseudo-terminal of its own, a private Xvfb server and the colours on its screen."""
import fcntl
import os
import pty
import shutil
import subprocess
import sys
import termios
import time

failures = []

# Under the thread sanitizer an asynchronous signal is handled at the program's next intercepted
# call, and now and then (about 1 signal in 60 on a busy machine, never in the other builds) it is
# lost altogether: a Ctrl+C typed once has no effect and the program runs on. A test that types a
# signal key or sends a signal therefore repeats it once, in that build only, when nothing has
# come of it after RESEND_AFTER seconds.
SIGNALS_MAY_BE_LOST = os.environ.get("ZT_SANITIZER") == "thread"
RESEND_AFTER = 10


class Resender:
    """Remembers the last signal a test sent (as a function that sends it again) and repeats it
    once, under the thread sanitizer, when `poll()` is called RESEND_AFTER seconds later."""

    def __init__(self):
        self.action = None
        self.at = 0.0

    def sent(self, action):
        if SIGNALS_MAY_BE_LOST:
            self.action = action
            self.at = time.monotonic()

    def poll(self):
        """Sends the signal again if it is due; answers whether it did."""
        if self.action is None or time.monotonic() - self.at < RESEND_AFTER:
            return False
        action, self.action = self.action, None
        print("note: a signal had no effect within %d s; sent once more" % RESEND_AFTER,
              flush=True)
        action()
        return True


def check(cond, what):
    """Records a failed expectation and goes on, so one run reports every failure."""
    if not cond:
        failures.append(what)
        print("FAIL:", what, flush=True)


def start_on_pty(prog, env, cwd=None, controlling=True, before_exec=None,
                 output_on_terminal=False):
    """Starts `prog` as a session leader on a new pseudo-terminal (its controlling terminal and
    standard input), standard output and error on pipes. Returns (master, slave, the terminal's
    attributes before the start, the process).

    controlling False leaves the program without a controlling terminal (as `setsid prog` does),
    the terminal still its standard input; before_exec runs in the child just before the program
    (to ignore a signal or set a limit); output_on_terminal sends standard output and error to
    the terminal as well."""
    master, slave = pty.openpty()
    before = termios.tcgetattr(slave)

    def become_session_leader():
        os.setsid()
        if controlling:
            fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
        if before_exec is not None:
            before_exec()

    output = slave if output_on_terminal else subprocess.PIPE
    proc = subprocess.Popen([prog], stdin=slave, stdout=output, stderr=output, env=env, cwd=cwd,
                            preexec_fn=become_session_leader)
    return master, slave, before, proc


def finish():
    """Ends the script: exit 1 when any check failed."""
    if failures:
        print(f"{len(failures)} failure(s)")
        sys.exit(1)
    print("all passed")


def base_env(**extra):
    """The test's environment without any display, plus `extra`."""
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(extra)
    return env


def launch_xvfb(stdout=None, depth=24, auth=None):
    """Starts a private Xvfb on a free display (the server picks it and reports it through
    -displayfd), `depth` bits a pixel, taking only clients with a cookie of the authority file
    `auth` when given; returns (process, ":N")."""
    r, w = os.pipe()
    extra = ["-auth", auth] if auth else []
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", f"1280x1024x{depth}",
                             "-nolisten", "tcp"] + extra, pass_fds=(w,), stdout=stdout,
                            stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(r, 16)
        if not chunk:
            break
        number += chunk
    os.close(r)
    return xvfb, ":" + number.decode().strip()


def start_xvfb():
    """Starts a private Xvfb on a free display; returns (process, ":N"), or (None, None) when
    Xvfb or ImageMagick's import is not installed."""
    if shutil.which("Xvfb") is None or shutil.which("import") is None:
        return None, None
    return launch_xvfb()


def colour_counts(display):
    """How many pixels of each 0xRRGGBB colour the whole screen of `display` shows."""
    shot = subprocess.run(["import", "-display", display, "-window", "root", "-depth", "8",
                           "rgb:-"], capture_output=True, timeout=30).stdout
    counts = {}
    for k in range(0, len(shot) - 2, 3):
        c = (shot[k] << 16) | (shot[k + 1] << 8) | shot[k + 2]
        counts[c] = counts.get(c, 0) + 1
    return counts


def wait_for_screen(display, cond, seconds=20):
    """Takes screenshots until cond(counts) holds or time runs out; returns (held, counts)."""
    deadline = time.time() + seconds
    counts = {}
    while time.time() < deadline:
        counts = colour_counts(display)
        if cond(counts):
            return True, counts
        time.sleep(0.3)
    return False, counts

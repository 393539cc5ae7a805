"""A program run as a user runs it: its own Xvfb, standard input on a pseudo-terminal (its
controlling terminal), standard output and standard error on pipes, keys typed on the terminal
side or into the window, and what the program leaves behind (exit code, output, the terminal's
settings, resident memory, processor time)."""
import os
import select
import signal
import subprocess
import termios
import time

from e2e import base_env, launch_xvfb, start_on_pty

PROGRAMS = {"Zentavor": os.environ.get("ZENTAVOR"), "Trabolix": os.environ.get("TRABOLIX")}
# What each program writes when its exit key ends it, and the keys that end it ('r' makes
# Zentavor read a line, so a carriage return follows).
NORMAL_END = {"Zentavor": b"\r\nPress R to finish te program\r\n",
              "Trabolix": b"\r\nUnused key pressed => EXIT\r\n"}
EXIT_KEYS = {"Zentavor": b"r", "Trabolix": b"q"}


def user_env(**extra):
    """The environment of a user's session: no display, no SDL driver chosen, no runtime
    directory (so libraries that look for one would say so), plus `extra`."""
    env = {k: v for k, v in base_env().items() if k not in ("SDL_VIDEODRIVER", "XDG_RUNTIME_DIR")}
    supp = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tsan_x11.supp")
    env["TSAN_OPTIONS"] = f"suppressions={supp}:" + env.get("TSAN_OPTIONS", "")
    env.update(extra)
    return env


class Xvfb:
    """A private Xvfb on a free display."""

    def __init__(self, depth=24, auth=None):
        self.proc, self.display = launch_xvfb(stdout=subprocess.DEVNULL, depth=depth, auth=auth)
        self.number = int(self.display[1:])

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def x(self, *args, timeout=20):
        """Runs an X client against this display; answers its standard output."""
        env = dict(os.environ, DISPLAY=self.display)
        return subprocess.run(list(args), env=env, capture_output=True, text=True,
                              timeout=timeout).stdout

    def graph_window(self, seconds=30):
        """The Graph window's X identifier (decimal text) once it is mapped, or None."""
        end = time.time() + seconds
        while time.time() < end:
            ids = self.x("xdotool", "search", "--onlyvisible", "--classname", "GraphWnd").split()
            if ids:
                return ids[0]
            time.sleep(0.05)
        return None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.kill()


class Session:
    """The program on a new pseudo-terminal, with standard output and error on pipes."""

    def __init__(self, prog, env, cwd=None):
        self.master, self.slave, self.before, self.proc = start_on_pty(prog, env, cwd)
        self.out = b""
        self.err = b""
        self.eof = set()

    def type(self, data):
        os.write(self.master, data)

    def _drain(self, wait=0.0):
        """Reads what the pipes and the terminal hold, waiting at most `wait` seconds."""
        fds = [f for f in (self.proc.stdout, self.proc.stderr) if f not in self.eof]
        ready = select.select(fds + [self.master], [], [], wait)[0]
        for f in ready:
            if f == self.master:
                try:
                    os.read(self.master, 4096)
                except OSError:
                    pass
                continue
            chunk = os.read(f.fileno(), 65536)
            if not chunk:
                self.eof.add(f)
            elif f == self.proc.stdout:
                self.out += chunk
            else:
                self.err += chunk

    def wait_stderr(self, text, seconds=30):
        """Waits until standard error holds `text` (bytes); answers whether it came."""
        end = time.time() + seconds
        while text not in self.err and time.time() < end and self.proc.poll() is None:
            self._drain(0.05)
        self._drain()
        return text in self.err

    def pause(self, seconds):
        """Lets the program run, reading its output meanwhile."""
        end = time.time() + seconds
        while time.time() < end:
            self._drain(min(0.05, max(0.0, end - time.time())))

    def rss_kb(self):
        with open(f"/proc/{self.proc.pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def cpu_seconds(self):
        with open(f"/proc/{self.proc.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def finish(self, timeout=30):
        """Waits for the end; answers (exit code, terminal settings as before)."""
        end = time.time() + timeout
        while self.proc.poll() is None and time.time() < end:
            self._drain(0.05)
        if self.proc.poll() is None:
            self.proc.kill()
        out, err = self.proc.communicate()
        self.out += out
        self.err += err
        try:
            while select.select([self.master], [], [], 0)[0] and os.read(self.master, 4096):
                pass
        except OSError:
            pass
        after = termios.tcgetattr(self.slave)
        os.close(self.master)
        os.close(self.slave)
        code = self.proc.returncode
        return (code if code >= 0 else f"signal {signal.Signals(-code).name}"), after == self.before

    def end(self, program, timeout=30):
        """Types the program's exit key (and the line Zentavor then reads) and waits for the end."""
        self.type(EXIT_KEYS[program])
        if program == "Zentavor":
            self.wait_output(b"Press R", 120)
            self.type(b"\r")
        return self.finish(timeout)

    def wait_output(self, text, seconds):
        end = time.time() + seconds
        while text not in self.out and time.time() < end and self.proc.poll() is None:
            self._drain(0.05)


def text(data):
    """Bytes from a program as one line: lines joined with ' / ', empty lines left out."""
    lines = [line.strip() for line in data.decode(errors="replace").replace("\r", "").split("\n")]
    return " / ".join(line for line in lines if line)

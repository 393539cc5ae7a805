#!/usr/bin/env python3
"""How the two programs' main loops behave on a real X server (a private Xvfb): the CPU they use
while nothing happens, how soon a key typed on the terminal changes Trabolix's window, how long a
Trabolix pass takes with two busy processes on the machine, how soon Trabolix ends after 1,000
typed keys and q, and how soon Zentavor ends after 10,000 pasted keys and r, with the number of
keys it refused. Every time is also given as a
multiple of the display refresh period measured in the same run (the time between two updates
of Zentavor's window, which draws one frame per refresh).

Usage: loops_bench.py TRABOLIX ZENTAVOR SHOOTER_BENCH

Keys go through a pseudo-terminal, as typed. The window's pixels are watched with the X DAMAGE
extension: each update of the window wakes the script, which then reads the window's pixels and
compares them with the picture before the key. "Busy processes" are shell loops that never
sleep, in sessions of their own (as other programs on a desktop would be). Runs marked
"without privilege" drop CAP_SYS_NICE, so the drawing thread cannot raise its priority. Each row
says how busy the machine was with other work just before it was measured ("others"): on a
shared machine an "idle machine" row is only as idle as that."""
import ctypes
import json
import os
import pty
import random
import select
import shutil
import statistics
import subprocess
import sys
import textwrap
import time

SUPPORT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support")
sys.path.insert(0, SUPPORT)
from e2e import base_env, start_xvfb  # noqa: E402

TRABOLIX, ZENTAVOR, SHOOTER_BENCH = sys.argv[1:4]
KEYS = 50               # keys per latency run
MAGENTA = b"\x80\x00\x80\x00"  # 0x00800080 as the window's 32-bit pixels lie in memory
NO_PRIVILEGE = ["setpriv", "--bounding-set", "-sys_nice"]


# --- X11 through ctypes: the window's pixels and its damage events -------------------------

class XWatch:
    """A connection to the X server that reports updates of one window and reads its pixels."""

    def __init__(self, display):
        self.x = ctypes.CDLL("libX11.so.6")
        self.dmg = ctypes.CDLL("libXdamage.so.1")
        x, d = self.x, self.dmg
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XConnectionNumber.argtypes = [ctypes.c_void_p]
        x.XPending.argtypes = [ctypes.c_void_p]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XGetImage.restype = ctypes.c_void_p
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XGetGeometry.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 7
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        d.XDamageQueryExtension.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p]
        d.XDamageCreate.restype = ctypes.c_ulong
        d.XDamageCreate.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]
        self.dpy = x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open display " + display)
        event_base, error_base = ctypes.c_int(), ctypes.c_int()
        if not d.XDamageQueryExtension(self.dpy, ctypes.byref(event_base),
                                       ctypes.byref(error_base)):
            raise RuntimeError("the X server has no DAMAGE extension")
        self.damage_notify = event_base.value  # XDamageNotify is the extension's event 0
        self.fd = x.XConnectionNumber(self.dpy)
        self.event = ctypes.create_string_buffer(192)  # sizeof(XEvent)
        self.window = 0
        self.size = (0, 0)

    def watch(self, window):
        self.window = window
        root, wx, wy = ctypes.c_ulong(), ctypes.c_int(), ctypes.c_int()
        w, h, border, depth = ctypes.c_uint(), ctypes.c_uint(), ctypes.c_uint(), ctypes.c_uint()
        self.x.XGetGeometry(self.dpy, window, ctypes.byref(root), ctypes.byref(wx),
                            ctypes.byref(wy), ctypes.byref(w), ctypes.byref(h),
                            ctypes.byref(border), ctypes.byref(depth))
        self.size = (w.value, h.value)
        self.dmg.XDamageCreate(self.dpy, window, 0)  # every update, as raw rectangles
        self.x.XSync(self.dpy, 0)
        self.drain()

    def drain(self):
        """Takes every event already received; answers how many were window updates."""
        n = 0
        while self.x.XPending(self.dpy):
            self.x.XNextEvent(self.dpy, self.event)
            if ctypes.cast(self.event, ctypes.POINTER(ctypes.c_int))[0] == self.damage_notify:
                n += 1
        return n

    def next_update(self, timeout):
        """Waits for the next update of the window; answers the monotonic time it arrived, or
        None after `timeout` seconds."""
        deadline = time.monotonic() + timeout
        while True:
            if self.drain():
                return time.monotonic()
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            select.select([self.fd], [], [], left)

    def quiet(self, seconds, limit=10.0):
        """Waits until the window has not been updated for `seconds` (at most `limit`)."""
        end = time.monotonic() + limit
        while time.monotonic() < end:
            if self.next_update(seconds) is None:
                return True
        return False

    def pixels(self):
        w, h = self.size
        image = self.x.XGetImage(self.dpy, self.window, 0, 0, w, h, 0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            return b""
        # XImage: width, height, xoffset, format (ints), the data pointer at byte 16, then
        # byte_order, bitmap_unit, bitmap_bit_order, bitmap_pad, depth, bytes_per_line (ints).
        data = ctypes.cast(image + 16, ctypes.POINTER(ctypes.c_void_p))[0]
        ints = ctypes.cast(image + 24, ctypes.POINTER(ctypes.c_int))
        bytes_per_line = ints[5]
        copy = ctypes.string_at(data, bytes_per_line * h)
        self.x.XFree(data)
        self.x.XFree(image)
        return copy

    def close(self):
        self.x.XCloseDisplay(self.dpy)


# --- processes ---------------------------------------------------------------------------------

def find_window(display, pid, timeout=20):
    """The id of the window titled "Graph" that process `pid` shows."""
    env = base_env(DISPLAY=display)
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        ids = subprocess.run(["xdotool", "search", "--pid", str(pid), "--name", "^Graph$"],
                             env=env, capture_output=True, text=True).stdout.split()
        if not ids:
            ids = subprocess.run(["xdotool", "search", "--name", "^Graph$"], env=env,
                                 capture_output=True, text=True).stdout.split()
        if ids:
            return int(ids[-1])
        time.sleep(0.1)
    return None


class OnTerminal:
    """A program with a pseudo-terminal as its standard input and output (and its controlling
    terminal, so its bell rings there)."""

    def __init__(self, cmd, display):
        self.pid, self.master = pty.fork()
        if self.pid == 0:
            env = base_env(DISPLAY=display, SDL_VIDEODRIVER="x11")
            os.execvpe(cmd[0], cmd, env)
        self.out = b""
        self.status = None

    def read(self):
        while select.select([self.master], [], [], 0)[0]:
            try:
                chunk = os.read(self.master, 65536)
            except OSError:
                return
            if not chunk:
                return
            self.out += chunk

    def type(self, data):
        """Writes all of `data` as typed keys, reading the output meanwhile; answers the time
        the last byte was taken."""
        view = memoryview(data)
        while view:
            _, writable, _ = select.select([], [self.master], [], 0.05)
            if writable:
                view = view[os.write(self.master, view[:4096]):]
            self.read()
        return time.monotonic()

    def cpu_seconds(self):
        with open(f"/proc/{self.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def cpu_percent(self, seconds=5.0):
        """Percent of one core the program used over `seconds`."""
        a, t = self.cpu_seconds(), time.monotonic()
        time.sleep(seconds)
        return 100.0 * (self.cpu_seconds() - a) / (time.monotonic() - t)

    def scheduling(self):
        """The scheduling classes of the program's threads, e.g. "4 normal, 1 real-time"."""
        kinds = {}
        for tid in os.listdir(f"/proc/{self.pid}/task"):
            try:
                with open(f"/proc/{self.pid}/task/{tid}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            policy, nice = int(fields[38]), int(fields[16])
            kind = "real-time" if policy in (1, 2) else ("nice %d" % nice if nice else "normal")
            kinds[kind] = kinds.get(kind, 0) + 1
        return ", ".join(f"{n} {k}" for k, n in sorted(kinds.items()))

    def wait(self, timeout):
        """Waits for the end; answers the monotonic time it ended, or None."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            self.read()
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = status
                self.read()
                return time.monotonic()
            time.sleep(0.002)
        return None

    def kill(self):
        if self.status is None:
            try:
                os.kill(self.pid, 9)
                os.waitpid(self.pid, 0)
            except OSError:
                pass
        os.close(self.master)


class Busy:
    """Processes that keep a core each busy, in sessions of their own."""

    def __init__(self, n):
        self.procs = [subprocess.Popen(["sh", "-c", "while :; do :; done"],
                                       start_new_session=True) for _ in range(n)]
        time.sleep(0.5)

    def stop(self):
        for p in self.procs:
            p.kill()
            p.wait()


def machine_busy(seconds=1.0):
    """Percent of the machine's processors busy over `seconds` (other work than this run's, when
    taken while nothing of the run is busy)."""
    def sample():
        with open("/proc/stat") as f:
            v = [int(x) for x in f.readline().split()[1:]]
        return sum(v), v[3] + v[4]
    t0, i0 = sample()
    time.sleep(seconds)
    t1, i1 = sample()
    return 100.0 * (1 - (i1 - i0) / max(t1 - t0, 1))


def pct(values, p):
    s = sorted(values)
    return s[min(len(s) - 1, int(round(p / 100.0 * (len(s) - 1))))]


# --- the measurements --------------------------------------------------------------------------

def refresh_period(display):
    """The time between two updates of Zentavor's window (one frame per refresh), its median
    over two seconds, and Zentavor's CPU use meanwhile."""
    prog = OnTerminal([ZENTAVOR], display)
    try:
        window = find_window(display, prog.pid)
        if window is None:
            raise RuntimeError("Zentavor's window did not appear")
        x = XWatch(display)
        x.watch(window)
        time.sleep(1.0)
        x.drain()
        times = []
        end = time.monotonic() + 2.0
        while time.monotonic() < end:
            t = x.next_update(1.0)
            if t is not None:
                times.append(t)
        x.close()
        gaps = [b - a for a, b in zip(times, times[1:])]
        cpu = prog.cpu_percent()
        prog.type(b"r")
        prog.wait(10)
        return statistics.median(gaps), cpu
    finally:
        prog.kill()


def trabolix_run(display, privileged, busy, measure_cpu):
    """Starts Trabolix until its spheres show well, then types KEYS turning keys (6 and 4 by
    turns) at random moments, each once the window has been still, and times each key from the
    byte written to the first update of the window that changed its pixels."""
    cmd = [TRABOLIX] if privileged else NO_PRIVILEGE + [TRABOLIX]
    why = "its spheres were never in view"
    for attempt in range(6):
        prog = OnTerminal(cmd, display)
        x = None
        try:
            window = find_window(display, prog.pid)
            if window is None:
                prog.read()
                why = "its window did not appear (output %r)" % prog.out[-300:]
                continue
            x = XWatch(display)
            x.watch(window)
            x.quiet(0.3)
            if x.pixels().count(MAGENTA) < 300 and attempt < 5:
                continue  # this placement shows too little of the spheres: place them anew
            result = {"scheduling": prog.scheduling(), "others": machine_busy(0.5)}
            if measure_cpu:
                result["cpu"] = prog.cpu_percent()
            load = Busy(busy) if busy else None
            try:
                latencies, lost = [], 0
                for k in range(KEYS):
                    x.quiet(0.15)
                    before = x.pixels()
                    time.sleep(random.uniform(0, 0.02))
                    t0 = prog.type(b"6" if k % 2 == 0 else b"4")
                    changed = None
                    while changed is None:
                        t = x.next_update(3.0)
                        if t is None:
                            break
                        if x.pixels() != before:
                            changed = t
                    if changed is None:
                        lost += 1
                    else:
                        latencies.append(changed - t0)
            finally:
                if load:
                    load.stop()
            result["latencies"] = latencies
            result["unchanged"] = lost
            prog.type(b"q")
            prog.wait(10)
            return result
        finally:
            if x:
                x.close()
            prog.kill()
    raise RuntimeError("Trabolix could not be measured: " + why)


def zentavor_paste(display, n=10_000):
    """Pastes n keys (no r among them) and then r on Zentavor's terminal; answers the time from
    the start of the paste to the end of the program, from the r taken by the terminal to the
    end, the bells rung (keys refused) and whether the program ended normally."""
    rng = random.Random(5)
    letters = [c for c in "abcdefghijklmnopqstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,"]
    paste = "".join(rng.choice(letters) for _ in range(n)).encode()
    prog = OnTerminal([ZENTAVOR], display)
    try:
        if find_window(display, prog.pid) is None:
            raise RuntimeError("Zentavor's window did not appear")
        time.sleep(0.5)
        prog.read()
        before = prog.out
        start = time.monotonic()
        prog.type(paste)
        r_taken = prog.type(b"r")
        ended = prog.wait(60)
        bells = prog.out[len(before):].count(b"\a")
        ok = ended is not None and os.WIFEXITED(prog.status) and os.WEXITSTATUS(prog.status) == 0
        return {"total": (ended - start) if ended else None,
                "after_r": (ended - r_taken) if ended else None, "bells": bells, "ok": ok}
    finally:
        prog.kill()


def trabolix_burst(display, n=1_000):
    """Types n keys 8 and then q on Trabolix's terminal; answers the time from the q taken by the
    terminal to the end, and whether the program ended normally."""
    prog = OnTerminal([TRABOLIX], display)
    try:
        if find_window(display, prog.pid) is None:
            raise RuntimeError("Trabolix's window did not appear")
        time.sleep(0.5)
        prog.type(b"8" * n)
        q_taken = prog.type(b"q")
        ended = prog.wait(120)
        ok = ended is not None and os.WIFEXITED(prog.status) and os.WEXITSTATUS(prog.status) == 0
        return {"after_q": (ended - q_taken) if ended else None, "ok": ok}
    finally:
        prog.kill()


def zentavor_pipe(display, n=10_000):
    """n keys and r from a pipe: the time to the end and whether it ended normally."""
    rng = random.Random(6)
    keys = "".join(rng.choice("abcdefghijklmnopqstuvwxyz ") for _ in range(n)).encode() + b"r"
    start = time.monotonic()
    p = subprocess.run([ZENTAVOR], input=keys, capture_output=True, timeout=120,
                       env=base_env(DISPLAY=display, SDL_VIDEODRIVER="x11"))
    return {"total": time.monotonic() - start, "ok": p.returncode == 0}


def pass_times(privileged, busy):
    """Trabolix's pass and one request hand-over from the shooter benchmark (offscreen)."""
    cmd = [SHOOTER_BENCH, "--benchmark_filter=BM_Pass|BM_RequestHandOver",
           "--benchmark_min_time=2", "--benchmark_format=json"]
    if not privileged:
        cmd = NO_PRIVILEGE + cmd
    out = {"others": machine_busy(0.5)}
    load = Busy(busy) if busy else None
    try:
        p = subprocess.run(cmd, capture_output=True, text=True, timeout=600,
                           env=base_env(SDL_VIDEODRIVER="offscreen"))
    finally:
        if load:
            load.stop()
    try:
        for b in json.loads(p.stdout)["benchmarks"]:
            scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
            out[b["name"].split("/")[0]] = b["real_time"] * scale
    except (ValueError, KeyError):
        pass
    return out


# --- report ------------------------------------------------------------------------------------

def ms(seconds):
    return "-" if seconds is None else "%.1f ms" % (seconds * 1000)


# Column widths of the report, 100 characters in all with the gaps; longer cells wrap within
# their column.
COLUMNS = (36, 32, 11, 15)


def print_table(header, rows):
    """Prints rows of cells in COLUMNS, a cell too long for its column wrapped onto more lines,
    a rule under the header and a blank line after a row of more than one line."""
    def lines(cells):
        wrapped = [textwrap.wrap(c, w, break_on_hyphens=False) or [""]
                   for c, w in zip(cells, COLUMNS)]
        height = max(len(w) for w in wrapped)
        return ["  ".join(f"{(w[k] if k < len(w) else ''):<{cw}}"
                          for w, cw in zip(wrapped, COLUMNS)).rstrip() for k in range(height)]

    print("\n".join(lines(header)))
    print("  ".join("-" * w for w in COLUMNS))
    for k, cells in enumerate(rows):
        out = lines(cells)
        print("\n".join(out))
        if len(out) > 1 and k + 1 < len(rows):
            print()


def main():
    for tool in ("Xvfb", "xdotool", "setpriv"):
        if shutil.which(tool) is None:
            print(f"loops_bench: SKIP, {tool} is not installed")
            return
    try:
        ctypes.CDLL("libXdamage.so.1")
    except OSError:
        print("loops_bench: SKIP, libXdamage.so.1 is not installed")
        return
    random.seed(1)
    print("loops_bench: main loops on Xvfb, %d processors, load average %.2f %.2f %.2f,\n"
          "loops_bench: machine %.0f%% busy before the run" % ((os.cpu_count(),) +
                                                              os.getloadavg() +
                                                              (machine_busy(),)), flush=True)
    xvfb, display = start_xvfb()
    if xvfb is None:
        print("loops_bench: SKIP, Xvfb could not be started")
        return
    try:
        period, zentavor_cpu = refresh_period(display)
        rows = []

        def row(what, value, per_period, target):
            rows.append((what, value, per_period, target))

        row("display refresh period (Zentavor's window updates)", ms(period), "1", "")
        row("Zentavor CPU while running", "%.1f %% of a core" % zentavor_cpu, "", "<= 3 %")
        runs = {}
        for privileged in (True, False):
            for busy in (0, 2):
                r = trabolix_run(display, privileged, busy, measure_cpu=busy == 0)
                runs[(privileged, busy)] = r
                who = "" if privileged else ", without privilege"
                load = "two busy processes" if busy else "idle machine"
                if busy == 0:
                    row(f"Trabolix CPU while idle{who}", "%.1f %% of a core" % r["cpu"], "",
                        "<= 2 %")
                lat = r["latencies"]
                if lat:
                    value = "%s / %s / %s (max %s)" % (ms(statistics.median(lat)),
                                                       ms(pct(lat, 90)), ms(pct(lat, 99)),
                                                       ms(max(lat)))
                    ratio = "%.2f / %.2f" % (statistics.median(lat) / period,
                                             pct(lat, 99) / period)
                else:
                    value, ratio = "no change seen", ""
                if r["unchanged"]:
                    value += f", {r['unchanged']} key(s) changed nothing"
                target = ("<= 25 / 50 ms" if busy == 0 else "aim <= 50 / 100 ms") \
                    if privileged else "report"
                row(f"Trabolix key -> picture, median / p90 / p99, {load}{who} "
                    f"[threads: {r['scheduling']}; others {r['others']:.0f}% busy]", value,
                    ratio, target)
        for privileged in (True, False):
            for busy in (0, 2):
                t = pass_times(privileged, busy)
                who = "" if privileged else ", without privilege"
                load = "two busy processes" if busy else "idle machine"
                p, h = t.get("BM_Pass"), t.get("BM_RequestHandOver")
                value = "%s (one request hand-over %s)" % (
                    ms(p), "-" if h is None else "%.2f us" % (h * 1e6))
                row(f"Trabolix pass, {load}{who} [others {t['others']:.0f}% busy]", value,
                    "" if p is None else "%.2f" % (p / period),
                    "aim <= 10 ms" if busy and privileged else "report")
        burst = trabolix_burst(display)
        row("Trabolix 1,000 keys 8 + q -> exit (after the q)",
            ms(burst["after_q"]) + ("" if burst["ok"] else ", NOT ENDED"),
            "" if burst["after_q"] is None else "%.1f" % (burst["after_q"] / period),
            "< 1 s after the q")
        paste = zentavor_paste(display)
        row("Zentavor 10,000-key paste + r -> exit (after the r / whole paste)",
            "%s / %s, %d refused%s" % (ms(paste["after_r"]), ms(paste["total"]),
                                       paste["bells"], "" if paste["ok"] else ", NOT ENDED"),
            "" if paste["after_r"] is None else "%.1f" % (paste["after_r"] / period),
            "< 1 s after the r, 0 refused")
        piped = zentavor_pipe(display)
        row("Zentavor 10,000 keys + r from a pipe -> exit", ms(piped["total"]) +
            ("" if piped["ok"] else ", NOT ENDED"), "%.1f" % (piped["total"] / period),
            "ends, nothing lost")
        print()
        print_table(("figure", "measured", "x refresh", "target"), rows)
        print("load average after the run: %.2f %.2f %.2f" % os.getloadavg(), flush=True)
    finally:
        xvfb.terminate()
        xvfb.wait()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Keys piped into a program reach RdKey with the right codes; at the end of the input nothing
more comes and the program is not kept spinning."""
import os
import resource
import subprocess
import sys

BUILD, PROBE = sys.argv[1], sys.argv[2]

# bytes typed -> the codes the probe writes, one per line. The scan code of a key without a
# character comes once the next key is waiting, so every list ends with a plain key.
KEYS = [
    (b"a", ["61"]), (b"Z", ["5A"]), (b"\x1b[A", ["00", "48"]), (b"\x1bOP", ["00", "3B"]),
    (b"\x1b[1;5D", ["00", "73"]), (b"\x1b[6~", ["00", "51"]), (b"\r", ["0D"]),
    (b" ", ["20"]), (b"\x1bOx", ["00", "48"]),
]
if BUILD == "zentavor":
    KEYS += [(b"\x1b[1;2P", ["00", "54"]), (b"\x1bx", ["00", "2D"]), (b"\x01", ["01"])]
else:
    # Shift+F1 has no character: skipped. Ctrl+A: 00 and nothing pending.
    KEYS += [(b"\x1b[1;2P", []), (b"\x1b[1;3H", ["00", "97"]), (b"\x01", ["00"])]
KEYS += [(b"z", ["7A"]), (b"\x1b", ["1B"])]  # the Escape comes out at the end of input

data = b"".join(k for k, _ in KEYS)
want = ["ready"] + [code for _, codes in KEYS for code in codes] + ["end"]
ok = True


def run(data, want, cpu_limit):
    """Pipes data into the probe; checks its lines, standard error and CPU use."""
    global ok
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    p = subprocess.run([PROBE], input=data, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                       timeout=30)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    out = p.stdout.decode("latin-1")
    lines = out.split("\r\n")
    if p.returncode != 0 or lines[:-1] != want or lines[-1] != "":
        print("got", repr(out), "code", p.returncode)
        print("want", want)
        ok = False
    if p.stderr:
        print("standard error:", p.stderr.decode("latin-1"))
        ok = False
    if "\n" in out.replace("\r\n", ""):
        print("a line end left without its CR")
        ok = False
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if cpu > cpu_limit:
        print("the program used %.2f s of CPU for a few keys" % cpu)
        ok = False


run(data, want, 2.0)
# ESC O cut off by the end of the input is Alt+O, and an upper-case O is Shift and Alt: two
# modifiers, so both builds pass its character through.
run(b"\x1bO", ["ready", "4F", "end"], 2.0)
sys.exit(0 if ok else 1)

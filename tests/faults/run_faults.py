#!/usr/bin/env python3
"""Runs the fault cases of tests/faults/*_faults.py and checks their outcomes against the table in
docs/faults.md.

  run_faults.py [MODULE...]          run the cases of these modules (all when none is named) and
                                     fail when an outcome differs from its row in the table
  run_faults.py --write [MODULE...]  run them and write their rows into the table
"""
import importlib
import os
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
TABLE = HERE.parent.parent / "docs" / "faults.md"
BEGIN = "<!-- fault table: written by tests/faults/run_faults.py --write -->"
END = "<!-- end of fault table -->"
HEADER = ["| Fault | Program | Outcome |", "|---|---|---|"]


def cell(text):
    return text.replace("|", "\\|").replace("\n", " ")


def row(module, what, program, result):
    return f"| {cell(what)} | {program} | {cell(result)} |", module


def read_table():
    """The table's rows as {(fault, program): line}, and the text around the table."""
    text = TABLE.read_text() if TABLE.exists() else f"# Faults\n\n{BEGIN}\n{END}\n"
    head, rest = text.split(BEGIN, 1)
    body, tail = rest.split(END, 1)
    rows = {}
    for line in body.strip().splitlines():
        if line.startswith("| ") and line not in HEADER:
            cells = [c.strip() for c in line.strip("|").split(" | ")]
            rows[(cells[0], cells[1])] = line
    return head, rows, tail


def main(argv):
    write = "--write" in argv
    names = [a for a in argv if not a.startswith("--")]
    sys.path.insert(0, str(HERE))
    sys.path.insert(0, str(HERE.parent / "support"))
    modules = names or sorted(p.stem for p in HERE.glob("*_faults.py"))
    import faultlib

    for m in modules:
        importlib.import_module(m)
    head, rows, tail = read_table()
    failed = 0
    for module, what, program, fn in faultlib.CASES:
        try:
            result = fn()
        except Exception as e:  # a case that breaks is an outcome too, and a failure
            result = f"the case itself failed: {type(e).__name__}: {e}"
            failed += 1
        if result is None:  # a case that this build cannot try (a sanitizer build, say)
            print(f"{what} [{program}]: not tried in this build", flush=True)
            continue
        line, _ = row(module, what, program, result)
        key = (cell(what), program)
        print(f"{what} [{program}]: {result}", flush=True)
        if write:
            rows[key] = line
        elif rows.get(key) != line:
            print(f"FAIL: outcome differs from docs/faults.md\n  table: {rows.get(key)}\n  now:   {line}",
                  flush=True)
            failed += 1
    if write:
        body = "\n".join(HEADER + sorted(rows.values()))
        TABLE.write_text(f"{head}{BEGIN}\n{body}\n{END}{tail}")
        print(f"wrote {TABLE}")
    if failed:
        print(f"{failed} fault case(s) failed")
        return 1
    print("all fault outcomes as recorded")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

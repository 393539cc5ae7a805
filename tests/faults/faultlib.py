"""Fault cases: each one does something hostile to a program and describes what came of it.

A case is a function registered with @fault(what, program). It runs the fault and answers the
outcome as one short sentence built only from what it observed (exit code, lines on standard
error, the terminal's settings, a file left untouched...), so the same behaviour always gives the
same words; a case that the build at hand cannot try answers None. run_faults.py runs the cases
and compares their outcomes with the table in docs/faults.md: a changed outcome fails the test
until the table is written again on purpose (run_faults.py --write).
"""
import inspect

CASES = []


def fault(what, program):
    """Registers the decorated function as the fault `what` tried on `program`."""

    def register(fn):
        module = inspect.getmodule(fn).__name__
        CASES.append((module, what, program, fn))
        return fn

    return register


def outcome(*parts):
    """Joins observed facts into one outcome sentence: the parts that are not empty, with '; '."""
    return "; ".join(p for p in parts if p)


def sanitized(prog):
    """True for a build with a sanitizer, whose every byte of work costs several times more and
    whose run-time reserves terabytes of address space for its shadow memory."""
    with open(prog, "rb") as f:
        image = f.read()
    return b"__asan_init" in image or b"__tsan_init" in image

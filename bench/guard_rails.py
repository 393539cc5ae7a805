#!/usr/bin/env python3
"""The graphics library's guard rails, each measured against a baseline in the same run and
judged: DrawBol at most 0.5 x the same lines through SDL's software renderer, the 240-line sphere
redraw at most 0.45 x, and revision 1's request hand-over (Trabolix's build: main thread to
drawing thread and back) at most 0.5 microseconds, shown beside the bare two-thread hand-over
with the same events. Each figure is the median of five repetitions.

Usage: guard_rails.py ENGINE_BENCH GRAPH_ZENTAVOR_BENCH SHOOTER_BENCH"""
import json
import os
import subprocess
import sys


def run(program, pattern):
    """Runs the Google Benchmark `program` on the benchmarks matching `pattern`; answers
    {name: (cpu ns, real ns)} of the medians."""
    env = dict(os.environ, SDL_VIDEODRIVER="offscreen")
    out = subprocess.run(
        [program, "--benchmark_filter=" + pattern, "--benchmark_repetitions=5",
         "--benchmark_report_aggregates_only=true", "--benchmark_format=json"],
        env=env, capture_output=True, text=True, timeout=600, check=True).stdout
    medians = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
            medians[b["run_name"]] = (b["cpu_time"] * scale, b["real_time"] * scale)
    return medians


def load():
    with open("/proc/loadavg") as f:
        return f.read().split()[0]


def main():
    engine, graph, shooter = sys.argv[1:4]
    rows = []
    before = load()

    e = run(engine, "BM_DrawBol|BM_SdlSoftwareRenderer")
    for slot in ("2", "1"):
        ours = e["BM_DrawBol/slot:" + slot][0]
        sdl = e["BM_SdlSoftwareRenderer/slot:" + slot][0]
        rows.append(("DrawBol slot %s vs SDL software renderer" % slot, ours / sdl, "x", 0.5,
                     "%.0f ns against %.0f ns" % (ours, sdl)))

    g = run(graph, "BM_SphereRedraw240")
    ours, sdl = g["BM_SphereRedraw240_Ours"][0], g["BM_SphereRedraw240_Sdl"][0]
    rows.append(("240-line sphere redraw vs SDL software renderer", ours / sdl, "x", 0.45,
                 "%.0f ns against %.0f ns" % (ours, sdl)))

    s = run(shooter, "BM_RequestHandOver|BM_BareTwoEventHandOver")
    handover = s["BM_RequestHandOver/real_time"][1]
    bare = s["BM_BareTwoEventHandOver/real_time"][1]
    rows.append(("revision 1 request hand-over", handover / 1000, "us", 0.5,
                 "%.2f x the bare two-thread hand-over (%.3f us)" % (handover / bare,
                                                                     bare / 1000)))

    after = load()
    cores = os.cpu_count() or 1
    print("\nGuard rails (load average %s before, %s after, %d cores):" % (before, after, cores))
    held = True
    for what, value, unit, limit, detail in rows:
        ok = value <= limit
        held = held and ok
        # Two lines a rail, so the report fits 100 columns.
        print("  %-48s %7.3f %-2s (at most %.2f): %s" %
              (what, value, unit, limit, "holds" if ok else "DOES NOT HOLD"))
        print("      " + detail)
    if not held and max(float(before), float(after)) > 0.5 * cores:
        print("  The machine was busy with other work: figures above the limits may come from")
        print("  that; the hand-over's limit is for an idle machine.")
    return 0


if __name__ == "__main__":
    sys.exit(main())

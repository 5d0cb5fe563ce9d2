#!/usr/bin/env python3
"""Benchmarks reading, rendering and the one-call function.

    python bench/run.py [--repeat N] [--quick]

Inputs: every chart under ../shared/charts (when present) and synthetic charts of
1,000, 10,000 and 100,000 notes made by bench/gen_chart.py. Each input is measured in
its own process (median of N runs after a warm-up); peak memory is the growth of the
process's peak resident set while rendering. Prints one row per input and the ratio
of per-note render cost between the largest and the smallest synthetic chart.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
SHARED = HERE.parent.parent / "shared" / "charts"

CHILD = r"""
import json, resource, statistics, sys, time
import quorvel_scores_rs as q
path, repeat = sys.argv[1], int(sys.argv[2])
rebase = open(sys.argv[3], encoding="utf-8").read() if len(sys.argv) > 3 else None
def rss_kib():
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0
def median(fn):
    fn()
    times = []
    for _ in range(repeat):
        t = time.perf_counter(); fn(); times.append(time.perf_counter() - t)
    return statistics.median(times)
read = median(lambda: q.Score.open(path))
score = q.Score.open(path)
drawing = q.Drawing(score=score)
base = rss_kib()
svg = drawing.svg()
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
render = median(lambda: drawing.svg())
one_call = median(lambda: q.score_to_svg(path, rebase_json=rebase))
print(json.dumps({"notes": score.note_count(), "read": read, "render": render,
                  "one_call": one_call, "out_bytes": len(svg.encode()),
                  "peak_kib": max(0, peak - base)}))
"""


def measure(path, repeat):
    extra = []
    rebase = path.with_suffix(".rebase.json")
    if rebase.exists():
        extra.append(str(rebase))  # synthetic charts: the one-call run re-times them too
    out = subprocess.run([sys.executable, "-c", CHILD, str(path), str(repeat)] + extra,
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--repeat", type=int, default=5, help="timed runs per measurement (median)")
    ap.add_argument("--quick", action="store_true", help="synthetic charts only, 3 runs")
    args = ap.parse_args()
    repeat = 3 if args.quick else args.repeat

    inputs = []
    if not args.quick:
        if SHARED.is_dir():
            inputs += sorted(SHARED.glob("sus/*.sus")) + sorted(SHARED.glob("json/*.json"))
        else:
            print("(shared charts folder not present: real charts skipped)")
    tmp = Path(tempfile.mkdtemp(prefix="qs-bench-"))
    synthetic = {}
    for n in (1000, 10000, 100000):
        p = tmp / ("synthetic-%d.sus" % n)
        subprocess.run([sys.executable, str(HERE / "gen_chart.py"), str(n), str(p)], check=True)
        synthetic[n] = p
        inputs.append(p)

    head = "%-34s %7s %9s %10s %8s %8s %9s %9s %9s" % (
        "input", "notes", "in KB", "out KB", "read ms", "rend ms", "call ms", "SVG MB/s", "peak MB")
    print(head)
    print("-" * len(head))
    per_note = {}
    for p in inputs:
        r = measure(p, repeat)
        size = os.path.getsize(p)
        mbs = r["out_bytes"] / r["render"] / 1e6 if r["render"] > 0 else float("inf")
        print("%-34s %7d %9.1f %10.1f %8.2f %8.2f %9.2f %9.1f %9.1f" % (
            p.name[:34], r["notes"], size / 1e3, r["out_bytes"] / 1e3, r["read"] * 1e3,
            r["render"] * 1e3, r["one_call"] * 1e3, mbs, r["peak_kib"] / 1024))
        for n, sp in synthetic.items():
            if sp == p and r["notes"]:
                per_note[n] = r["render"] / r["notes"]
                if r["notes"] != n:
                    print("  (generator made %d notes, not %d)" % (r["notes"], n))
    if 1000 in per_note and 100000 in per_note:
        print("per-note render cost, 100k vs 1k notes: %.2fx" % (per_note[100000] / per_note[1000]))


if __name__ == "__main__":
    main()

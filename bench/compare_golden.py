#!/usr/bin/env python3
"""Renders a fixed set of charts and compares the SVG byte for byte with saved files.

    python bench/compare_golden.py write DIR   # save the current outputs (and inputs)
    python bench/compare_golden.py check DIR   # compare against them; exit 1 on any change

Cases: every chart under ../shared/charts (plain and with the skill overlay), the demo
chart with and without its rebase, lyric and skill options, and the synthetic charts of
bench/gen_chart.py (plain, and in one call with their rebase description and skill).
The synthetic charts are written into DIR by "write" and read back by "check", so a
later change to the generator does not disturb the comparison.
"""
import subprocess
import sys
from pathlib import Path

import quorvel_scores_rs as q

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
SHARED = ROOT.parent / "shared" / "charts"
SYNTHETIC = (1000, 10000, 100000)
MUSIC_META = {"fever_end_time": 40.0, "fever_score": 0.125,
              "skill_score_solo": [0.1, 0.2, 0.3, 0.4, 0.5, 0.6],
              "skill_score_multi": [0.1, 0.25, 0.3, 0.45, 0.5, 0.65]}


def cases(folder):
    """Yields (name, function returning the SVG text)."""
    charts = []
    if SHARED.is_dir():
        charts = sorted(SHARED.glob("sus/*.sus")) + sorted(SHARED.glob("json/*.json"))
    for p in charts:
        stem = p.parent.name + "-" + p.stem
        yield stem, lambda p=p: q.Drawing(score=q.Score.open(str(p))).svg()
        yield stem + "-skill", lambda p=p: q.score_to_svg(str(p), skill=True, music_meta=MUSIC_META)
    demo = ROOT / "examples" / "demo.sus"
    rebase = (ROOT / "examples" / "demo.rebase.json").read_text(encoding="utf-8")
    lyric = (ROOT / "examples" / "demo.lyric").read_text(encoding="utf-8")
    yield "demo", lambda: q.sus_to_svg(str(demo))
    yield "demo-rebase", lambda: q.sus_to_svg(str(demo), rebase_json=rebase)
    yield "demo-lyric", lambda: q.sus_to_svg(str(demo), lyric_content=lyric)
    yield "demo-skill", lambda: q.sus_to_svg(str(demo), skill=True)
    yield "demo-all", lambda: q.sus_to_svg(str(demo), rebase_json=rebase, lyric_content=lyric, skill=True,
                                           music_meta=MUSIC_META, generator="golden",
                                           note_host="https://example.invalid/a&b", style_sheet=".x{}")
    for n in SYNTHETIC:
        chart = folder / ("synthetic-%d.sus" % n)
        rb = chart.with_suffix(".rebase.json")
        yield "synthetic-%d" % n, lambda c=chart: q.Drawing(score=q.Score.open(str(c))).svg()
        yield "synthetic-%d-rebase-skill" % n, lambda c=chart, rb=rb: q.score_to_svg(
            str(c), rebase_json=rb.read_text(encoding="utf-8"), skill=True, music_meta=MUSIC_META)


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("write", "check"):
        raise SystemExit(__doc__)
    mode, folder = sys.argv[1], Path(sys.argv[2])
    folder.mkdir(parents=True, exist_ok=True)
    if mode == "write":
        for n in SYNTHETIC:
            subprocess.run([sys.executable, str(HERE / "gen_chart.py"), str(n),
                            str(folder / ("synthetic-%d.sus" % n))], check=True)
    changed = 0
    count = 0
    for name, render in cases(folder):
        data = render().encode("utf-8")
        path = folder / (name + ".svg")
        count += 1
        if mode == "write":
            path.write_bytes(data)
            continue
        old = path.read_bytes() if path.exists() else None
        if old != data:
            changed += 1
            if old is None:
                print("MISSING %s" % name)
            else:
                at = next((i for i, (a, b) in enumerate(zip(old, data)) if a != b), min(len(old), len(data)))
                print("CHANGED %s: %d -> %d bytes, first difference at byte %d: %r / %r" % (
                    name, len(old), len(data), at, old[at:at + 60], data[at:at + 60]))
    if mode == "write":
        print("wrote %d outputs to %s" % (count, folder))
    else:
        print("%d outputs, %d identical, %d changed" % (count, count - changed, changed))
        sys.exit(1 if changed else 0)


if __name__ == "__main__":
    main()

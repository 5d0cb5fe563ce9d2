"""A small typed program using quorvel_scores_rs (checked with mypy --strict).

It loads the demo chart, prints its metadata and timing events, re-times it with the
demo rebase description, attaches the demo lyrics and writes two SVG pictures.

    python examples/typed_example.py [OUTPUT_DIR]
"""

from __future__ import annotations

import sys
from pathlib import Path

import quorvel_scores_rs as qs

HERE = Path(__file__).resolve().parent


def describe_event(event: qs.Event) -> str:
    parts: list[str] = [f"bar {event.bar}"]
    if event.bpm is not None:
        parts.append(f"{float(event.bpm):g} BPM")
    if event.bar_length is not None:
        parts.append(f"{float(event.bar_length):g} beats per bar")
    if event.sentence_length is not None:
        parts.append(f"{event.sentence_length} bars per line")
    if event.speed is not None:
        parts.append(f"speed {event.speed:g}x")
    if event.section is not None:
        parts.append(f"section {event.section!r}")
    if event.text is not None:
        parts.append(event.text)
    return ", ".join(parts)


def summary(score: qs.Score) -> list[str]:
    meta: qs.Meta = score.meta
    title = meta.title if meta.title is not None else "Untitled"
    lines = [
        f"{title} by {meta.artist or 'unknown artist'} ({meta.difficulty} {meta.playlevel})",
        f"{score.note_count()} notes, {score.event_count()} events",
    ]
    lines.extend("  " + describe_event(e) for e in score.events())
    return lines


def seconds(score: qs.Score, bar: qs.Fraction | int | str) -> float:
    return float(score.get_time(bar))


def main(argv: list[str]) -> int:
    out_dir = Path(argv[1]) if len(argv) > 1 else Path.cwd()

    score = qs.Score.open(str(HERE / "demo.sus"))
    print("\n".join(summary(score)))

    # Exact timing: positions are fractions of bars, times are fractions of seconds.
    half_bar = qs.Fraction(1, 2)
    print(f"bar 1/2 at {seconds(score, half_bar):.4f} s, bar 6 at {seconds(score, 6):.4f} s")
    length: qs.Fraction = score.get_time_delta("0", 10)
    print(f"ten bars last {float(length):.3f} s ({length.limit_denominator(1000)} s)")
    print(f"at 3 s the chart is at bar {score.get_bar_by_time(3.0)}")

    rebase = qs.Rebase.load((HERE / "demo.rebase.json").read_text(encoding="utf-8"))
    retimed: qs.Score = rebase(score)
    sections = [e.section for e in retimed.events() if e.section is not None]
    print(f"rebased: {retimed.note_count()} notes, sections {sections}")

    with open(HERE / "demo.lyric", encoding="utf-8", newline="") as lyric_file:
        lyric = qs.Lyric.load(lyric_file)
    print(f"{lyric.word_count()} lyric words")

    drawing = qs.Drawing(
        score=retimed,
        lyric=lyric,
        skill=True,
        music_meta={"fever_end_time": 16.0, "fever_score": 0.05,
                    "skill_score_solo": [0.8, 0.9, 1.0], "skill_score_multi": [0.8, 1.2, 1.0]},
        generator="typed_example.py",
    )
    drawing.time_height = 300
    drawing.add_font_dir("/usr/share/fonts")
    svg: str = drawing.svg()
    (out_dir / "demo-rebased.svg").write_text(svg, encoding="utf-8")

    # The one-call form; lyric text must be a str here.
    plain = qs.score_to_svg(
        str(HERE / "demo.sus"), lyric_content=(HERE / "demo.lyric").read_text(encoding="utf-8")
    )
    (out_dir / "demo.svg").write_text(plain, encoding="utf-8")
    print(f"wrote {len(svg)} and {len(plain)} characters of SVG to {out_dir}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

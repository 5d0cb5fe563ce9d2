#!/usr/bin/env python3
"""Writes the offline note images of quorvel-scores (python/quorvel_scores_cli/notes/).

Usage: python3 tools/gen_note_art.py [--out DIR] [--check]

One SVG file per image name the renderer refers to:
  notes_0 .. notes_6                      note bars (112 x 56), see KINDS below
  notes_friction_among_{crtcl,flick,long} trace marks (square)
  notes_long_among, notes_long_among_crtcl relay-step markers on slides (square)
  notes_flick_arrow[_crtcl]_{00..06}[_diagonal]  flick arrows, one per size index

The renderer shows only the left 32 and right 32 units of a note bar and stretches a
thin slice near x = 29 across the middle, so every bar is drawn flat in x between its
rounded ends, with vertical gradients only. Flick arrows get the aspect ratio of the
box the renderer draws them into (it depends on the size index), so they are not
distorted.

--check compares the files on disk with what would be written and exits 1 when any
differ or are missing (used by the tests). Output is deterministic.
"""

from __future__ import annotations

import argparse
import math
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DEFAULT_OUT = ROOT / "python" / "quorvel_scores_cli" / "notes"

# name: (outline, light, mid, dark)
PALETTE = {
    "critical": ("#7a4d00", "#fff6c2", "#f7cc4a", "#de9410"),
    "slide": ("#0c5a31", "#d2ffe0", "#62e08e", "#1c9e55"),
    "tap": ("#0a4a73", "#d8f8ff", "#5fd6ff", "#1a86cf"),
    "flick": ("#751022", "#ffd6dc", "#ff7186", "#cf2540"),
}

# symbol index -> (palette, thin trace bar?)
KINDS = {
    0: ("critical", False),
    1: ("slide", False),
    2: ("tap", False),
    3: ("flick", False),
    4: ("slide", True),
    5: ("critical", True),
    6: ("flick", True),
}

ARROW_SIZE = 24  # the renderer's default flick_arrow_size; only the aspect matters
ARROW_SCALE = 4  # viewBox units per SVG unit of the default arrow box


def num(value: float) -> str:
    text = f"{value:.2f}".rstrip("0").rstrip(".")
    return "0" if text in ("-0", "") else text


def points(pts: list[tuple[float, float]]) -> str:
    return " ".join(f"{num(x)},{num(y)}" for x, y in pts)


def document(width: float, height: float, body: list[str], stretch: bool = False) -> str:
    aspect = ' preserveAspectRatio="none"' if stretch else ""
    lines = [
        f'<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 {num(width)} {num(height)}"'
        f' width="{num(width)}" height="{num(height)}"{aspect}>',
        *("  " + line for line in body),
        "</svg>",
    ]
    return "\n".join(lines) + "\n"


def gradient(gid: str, palette: str) -> str:
    _, light, mid, dark = PALETTE[palette]
    return (
        f'<defs><linearGradient id="{gid}" x1="0" y1="0" x2="0" y2="1">'
        f'<stop offset="0" stop-color="{light}"/>'
        f'<stop offset="0.45" stop-color="{mid}"/>'
        f'<stop offset="1" stop-color="{dark}"/>'
        "</linearGradient></defs>"
    )


def note_bar(palette: str, thin: bool) -> str:
    outline = PALETTE[palette][0]
    # Outer body, inner face and a highlight stripe; all flat between x = 17 and 95.
    top, height, radius = (16, 24, 10) if thin else (8, 40, 14)
    body = [
        gradient("face", palette),
        f'<rect x="3" y="{top}" width="106" height="{height}" rx="{radius}" fill="{outline}"/>',
        f'<rect x="6" y="{top + 3}" width="100" height="{height - 6}" rx="{radius - 3}"'
        ' fill="url(#face)"/>',
        f'<rect x="14" y="{top + 6}" width="84" height="{4 if thin else 6}" rx="2"'
        ' fill="#ffffff" fill-opacity="0.6"/>',
    ]
    if thin:
        # Trace bars carry a dashed centre line so they read apart from plain notes.
        body.append(
            f'<line x1="10" y1="{top + height - 7}" x2="102" y2="{top + height - 7}"'
            ' stroke="#ffffff" stroke-opacity="0.8" stroke-width="2" stroke-dasharray="6 4"/>'
        )
    return document(112, 56, body, stretch=True)


def diamond(cx: float, cy: float, r: float) -> list[tuple[float, float]]:
    return [(cx, cy - r), (cx + r, cy), (cx, cy + r), (cx - r, cy)]


def trace_mark(palette: str) -> str:
    outline = PALETTE[palette][0]
    body = [
        gradient("face", palette),
        f'<polygon points="{points(diamond(32, 32, 29))}" fill="{outline}"/>',
        f'<polygon points="{points(diamond(32, 32, 24))}" fill="url(#face)"/>',
        f'<polygon points="{points(diamond(32, 32, 9))}" fill="#ffffff" fill-opacity="0.85"/>',
    ]
    return document(64, 64, body)


def relay_marker(palette: str) -> str:
    outline = PALETTE[palette][0]
    body = [
        gradient("face", palette),
        f'<polygon points="{points(diamond(32, 32, 24))}" fill="#ffffff"/>',
        f'<polygon points="{points(diamond(32, 32, 19))}" fill="{outline}"/>',
        f'<polygon points="{points(diamond(32, 32, 15))}" fill="url(#face)"/>',
    ]
    return document(64, 64, body)


def arrow_box(size_index: int) -> tuple[float, float]:
    # Same box as the renderer: height grows with the size index, width faster.
    w = ARROW_SIZE * 1.5 * ((size_index + 0.5) / 3) ** 0.75
    h = ARROW_SIZE * ((size_index + 3) / 3) ** 0.75
    return round(w * ARROW_SCALE, 1), round(h * ARROW_SCALE, 1)


def arrow_outline(length: float, width: float) -> list[tuple[float, float]]:
    """An upward arrow centred on the origin: a wide head over a shaft."""
    half_l, half_w = length / 2, width / 2
    neck = -half_l + length * 0.48
    shaft = half_w * 0.36
    return [
        (0, -half_l),
        (half_w, neck),
        (shaft, neck),
        (shaft, half_l),
        (-shaft, half_l),
        (-shaft, neck),
        (-half_w, neck),
    ]


def flick_arrow(size_index: int, critical: bool, diagonal: bool) -> str:
    palette = "critical" if critical else "flick"
    outline = PALETTE[palette][0]
    w, h = arrow_box(size_index)
    stroke = max(4.0, min(w, h) * 0.06)
    room_w, room_h = w - 2 * stroke, h - 2 * stroke
    if diagonal:
        # Tilted 30 degrees to the upper left; the largest arrow of the straight
        # one's proportions that fits the box once rotated.
        angle = math.radians(30)
        ratio = min(1.2, max(0.35, w / h))
        s, c = math.sin(angle), math.cos(angle)
        length = min(room_w / (s + ratio * c), room_h / (c + ratio * s))
        width = length * ratio
    else:
        angle = 0.0
        length, width = room_h, room_w
    s, c = math.sin(-angle), math.cos(-angle)

    def place(pts: list[tuple[float, float]]) -> list[tuple[float, float]]:
        return [(w / 2 + x * c - y * s, h / 2 + x * s + y * c) for x, y in pts]

    shape = arrow_outline(length, width)
    inner = [(x * 0.55, y * 0.55 - length * 0.08) for x, y in shape]
    body = [
        gradient("face", palette),
        f'<polygon points="{points(place(shape))}" fill="url(#face)" stroke="{outline}"'
        f' stroke-width="{num(stroke)}" stroke-linejoin="round"/>',
        f'<polygon points="{points(place(inner))}" fill="#ffffff" fill-opacity="0.45"/>',
    ]
    return document(w, h, body)


def all_images() -> dict[str, str]:
    images: dict[str, str] = {}
    for k, (palette, thin) in KINDS.items():
        images[f"notes_{k}"] = note_bar(palette, thin)
    images["notes_friction_among_crtcl"] = trace_mark("critical")
    images["notes_friction_among_flick"] = trace_mark("flick")
    images["notes_friction_among_long"] = trace_mark("slide")
    images["notes_long_among"] = relay_marker("slide")
    images["notes_long_among_crtcl"] = relay_marker("critical")
    for critical in (False, True):
        for size_index in range(7):
            for diagonal in (False, True):
                name = "notes_flick_arrow{}_{:02}{}".format(
                    "_crtcl" if critical else "", size_index, "_diagonal" if diagonal else ""
                )
                images[name] = flick_arrow(size_index, critical, diagonal)
    return images


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=DEFAULT_OUT, help="output folder")
    parser.add_argument("--check", action="store_true", help="only compare, write nothing")
    args = parser.parse_args(argv)

    images = all_images()
    stale = []
    for name, text in images.items():
        path = args.out / f"{name}.svg"
        try:
            current = path.read_text(encoding="utf-8")
        except FileNotFoundError:
            current = None
        if current != text:
            stale.append(path)
            if not args.check:
                path.parent.mkdir(parents=True, exist_ok=True)
                path.write_text(text, encoding="utf-8", newline="\n")
    extra = sorted(
        p for p in args.out.glob("*.svg") if p.stem not in images
    ) if args.out.is_dir() else []
    if args.check:
        for path in stale:
            print(f"out of date: {path}", file=sys.stderr)
        for path in extra:
            print(f"not generated by this script: {path}", file=sys.stderr)
        return 1 if stale or extra else 0
    print(f"{len(images)} images, {len(stale)} written to {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

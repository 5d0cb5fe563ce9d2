#!/usr/bin/env python3
"""Writes synthetic SUS charts for the benchmark: gen_chart.py NOTES OUT.sus

Every kind of mark appears: taps, critical taps, flicks in three directions, long
slides with many visible and hidden steps and curves, guides, trace notes, tempo,
bar-length and speed changes. A rebase description with sections is written beside
the chart as OUT.rebase.json. The density is fixed (about 120 notes per bar) so that
per-note costs compare across sizes.
"""
import json
import random
import sys

B36 = "0123456789abcdefghijklmnopqrstuvwxyz"
NOTES_PER_BAR = 120
SLOTS = 48  # positions per bar line


def pairs(cells):
    """cells: dict position -> two-character text; returns a data value of SLOTS pairs."""
    return "".join(cells.get(i, "00") for i in range(SLOTS))


def generate(total, seed=1):
    rnd = random.Random(seed)
    bars = max(1, (total + NOTES_PER_BAR - 1) // NOTES_PER_BAR)
    if bars > 999:
        raise SystemExit("at most 999 bars in SUS: use fewer notes")
    lines = ["#TITLE \"Synthetic %d\"" % total, "#ARTIST \"bench\"", "#DESIGNER \"gen_chart\"",
             "#DIFFICULTY 3", "#PLAYLEVEL 30", "#REQUEST \"ticks_per_beat 480\"",
             "#BPM01: 120", "#BPM02: 180", "#BPM03: 96.5", "#00002: 4"]
    til = []
    count = 0
    channel = 0
    for m in range(bars):
        if m % 16 == 5:
            lines.append("#%03d02: %d" % (m, 3 if m % 32 == 5 else 4))
        if m % 8 == 0:
            lines.append("#%03d08: %s" % (m, "0%d" % (1 + (m // 8) % 3)))
        if m % 4 == 2:
            til.append("%d'%d:%s" % (m, 240 * (m % 4), ["1.0", "1.5", "0.75", "2"][m % 4]))
        per_bar = min(NOTES_PER_BAR, total - count)
        if per_bar <= 0:
            break
        taps = {}
        flicks = {}
        # a slide over the whole bar with many steps and curves (one slide a bar)
        ch = B36[channel % 36]
        channel += 1
        lane = 2 + rnd.randrange(8)
        steps = {0: "1", SLOTS - 2: "2"}
        for p in range(4, SLOTS - 4, 4):
            steps[p] = "3" if p % 8 == 0 else "5"
        slide_cells = {}
        for p, kind in steps.items():
            slide_cells.setdefault(lane, {})[p] = kind + "3"
        for ln, cells in slide_cells.items():
            lines.append("#%03d3%s%s: %s" % (m, B36[ln], ch, pairs(cells)))
            count += len(cells)
        curves = {p: "2" + "3" for p in range(4, SLOTS - 4, 8)}
        lines.append("#%03d5%s: %s" % (m, B36[lane], pairs(curves)))
        # a guide every other bar
        guide_cells = set()
        if m % 2 == 0:
            glane = 2 + rnd.randrange(9)
            lines.append("#%03d9%s%s: %s" % (m, B36[glane], B36[(channel + 7) % 36],
                                               pairs({0: "12", SLOTS // 2: "32", SLOTS - 2: "22"})))
            guide_cells = {(glane, 0), (glane, SLOTS // 2), (glane, SLOTS - 2)}
            count += 3
        left = per_bar - len(steps) - (3 if m % 2 == 0 else 0)
        slot_list = list(range(SLOTS))
        rnd.shuffle(slot_list)
        for i in range(max(0, left)):
            pos = slot_list[i % SLOTS]
            ln = 2 + (i * 5 + m) % 11
            if (ln, pos) in guide_cells:
                ln = 2 + (ln - 1) % 11  # a tap on a guide step of its width merges into it
            kind = rnd.choice("111122556")
            taps.setdefault(ln, {})[pos] = kind + "2"
            if i % 7 == 0:
                flicks.setdefault(ln, {})[pos] = rnd.choice("134") + "2"
        for ln, cells in taps.items():
            lines.append("#%03d1%s: %s" % (m, B36[ln], pairs(cells)))
            count += len(cells)
        for ln, cells in flicks.items():
            lines.append("#%03d5%s: %s" % (m, B36[ln], pairs(cells)))
        if m % 10 == 3:
            lines.append("#%03d10: %s" % (m, pairs({0: "11"})))  # skill marker at lane 0
    lines.append("#TIL00: \"%s\"" % ", ".join(til))
    lines.append("#HISPEED 00")
    return "\n".join(lines) + "\n", bars


def rebase_for(bars):
    events = [{"bar": 0, "bpm": 150, "barLength": 4, "sentenceLength": 4, "section": "A"}]
    for b in range(8, bars, 24):
        events.append({"bar": b, "section": "S%d" % b, "bpm": 140 + b % 40})
    return {"offset": 0.25, "events": events, "meta": {"title": "rebased"}}


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    total = int(sys.argv[1])
    text, bars = generate(total)
    with open(sys.argv[2], "w", encoding="utf-8") as f:
        f.write(text)
    with open(sys.argv[2].rsplit(".", 1)[0] + ".rebase.json", "w", encoding="utf-8") as f:
        json.dump(rebase_for(bars), f)


if __name__ == "__main__":
    main()

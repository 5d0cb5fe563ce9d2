"""Small charts shared by the module tests."""
from pathlib import Path

# Tempo 60 from bar 0, 120 from bar 2, four beats per bar: bar 2 is at 8 s, bar 3 at 10 s.
TIMING_SUS = """#TITLE "Fixture"
#ARTIST "Someone"
#DIFFICULTY "MASTER"
#PLAYLEVEL "30"
#BPM01: 60
#BPM02: 120
#00008: 01
#00208: 02
#00012: 1300
#00113: 13001300
#00214: 13
"""
TIMING_NOTES = 4

# Same chart as JSON text: one tempo event, one tap.
CHART_DICT = {
    "title": "Json",
    "MusicScoreEventDataList": [{"ticks": 0, "eventType": 0, "changeValue": 60}],
    "NoteList": [{"id": 1, "ticks": 0, "laneStart": 0, "laneEnd": 2}],
}

LYRIC_TEXT = "0: one/two\n1: three\n"

SHARED_CHARTS = Path(__file__).resolve().parents[2].parent / "shared" / "charts"


def write(tmp_path, name, text, encoding="utf-8"):
    p = tmp_path / name
    if isinstance(text, bytes):
        p.write_bytes(text)
    else:
        p.write_text(text, encoding=encoding)
    return str(p)


def fraction_value(f):
    return (f.numerator, f.denominator)


def shared_chart_files():
    if not SHARED_CHARTS.is_dir():
        return []
    return sorted(p for p in SHARED_CHARTS.rglob("*") if p.suffix in (".sus", ".json"))

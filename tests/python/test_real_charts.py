"""Every chart of the shared collection renders to a well-formed SVG document."""
import xml.etree.ElementTree as ET
from pathlib import Path

import pytest

import quorvel_scores_rs as q

CHARTS = Path(__file__).resolve().parents[2].parent / "shared" / "charts"
FILES = sorted(CHARTS.glob("sus/*.sus")) + sorted(CHARTS.glob("json/*.json")) if CHARTS.is_dir() else []


@pytest.mark.skipif(not FILES, reason="shared charts folder not present")
@pytest.mark.parametrize("path", FILES, ids=lambda p: p.name)
def test_chart_renders_well_formed_svg(path):
    svg = q.score_to_svg(str(path), skill=True, music_meta={"fever_end_time": 30.0, "fever_score": 0.05})
    root = ET.fromstring(svg)
    assert root.tag == "{http://www.w3.org/2000/svg}svg"
    assert q.sus_to_svg(str(path)) == q.Drawing(score=q.Score.open(str(path))).svg()

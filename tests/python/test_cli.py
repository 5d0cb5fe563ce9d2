"""The quorvel-scores program, the examples and the shipped note images."""

from __future__ import annotations

import json
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import urllib.parse
import urllib.request
import xml.etree.ElementTree as ET
from pathlib import Path

import pytest

import quorvel_scores_rs as qs

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
DEMO = EXAMPLES / "demo.sus"
LYRIC = EXAMPLES / "demo.lyric"
REBASE = EXAMPLES / "demo.rebase.json"

MUSIC_META = {
    "fever_end_time": 14.0,
    "fever_score": 0.05,
    "skill_score_solo": [0.8, 0.9, 1.0],
    "skill_score_multi": [0.8, 1.2, 1.0],
}

# Every image name the renderer can refer to.
ALL_IMAGE_NAMES = (
    [f"notes_{k}" for k in range(7)]
    + [f"notes_friction_among_{kind}" for kind in ("crtcl", "flick", "long")]
    + ["notes_long_among", "notes_long_among_crtcl"]
    + [
        f"notes_flick_arrow{crit}_{f:02}{diag}"
        for crit in ("", "_crtcl")
        for f in range(7)
        for diag in ("", "_diagonal")
    ]
)


def run_cli(*args: str | Path) -> subprocess.CompletedProcess[bytes]:
    return subprocess.run(
        [sys.executable, "-m", "quorvel_scores_cli", *map(str, args)],
        capture_output=True,
        timeout=120,
    )


def hrefs(svg: str) -> list[str]:
    return re.findall(r'href="([^"#][^"]*)"', svg)


@pytest.fixture(scope="module")
def notes_uri() -> str:
    import quorvel_scores_cli

    return quorvel_scores_cli.offline_note_host()


def test_renders_demo_to_stdout_and_to_file(tmp_path: Path) -> None:
    expected = qs.score_to_svg(str(DEMO))
    assert expected.startswith("<svg") and expected.endswith("</svg>")

    shown = run_cli(DEMO)
    assert (shown.returncode, shown.stderr) == (0, b"")
    assert shown.stdout.decode("utf-8") == expected

    out = tmp_path / "demo.svg"
    written = run_cli(DEMO, "-o", out)
    assert (written.returncode, written.stdout, written.stderr) == (0, b"", b"")
    assert out.read_text(encoding="utf-8") == expected


def test_side_files_are_passed_through(tmp_path: Path) -> None:
    meta = tmp_path / "music.json"
    meta.write_text(json.dumps(MUSIC_META), encoding="utf-8")
    out = tmp_path / "rebased.svg"
    result = run_cli(
        DEMO, "--rebase", REBASE, "--lyric", LYRIC, "--skill", "--music-meta", meta,
        "--note-host", "https://notes.example/set", "--note-ext", "webp", "-o", out,
    )
    assert (result.returncode, result.stderr) == (0, b"")
    svg = out.read_text(encoding="utf-8")
    assert svg == qs.score_to_svg(
        str(DEMO),
        rebase_json=REBASE.read_text(encoding="utf-8"),
        lyric_content=LYRIC.read_text(encoding="utf-8"),
        skill=True,
        music_meta=MUSIC_META,
        note_host="https://notes.example/set",
        note_asset_extension="webp",
    )
    assert 'class="lyric-text">guide<' in svg
    assert "Chorus" in svg and 'class="skill-score"' in svg
    assert "https://notes.example/set/notes_2.webp" in svg


def test_byte_order_mark_of_side_files_is_ignored(tmp_path: Path) -> None:
    lyric = tmp_path / "bom.lyric"
    lyric.write_bytes(b"\xef\xbb\xbf" + LYRIC.read_bytes())
    result = run_cli(DEMO, "--lyric", lyric)
    assert result.returncode == 0
    assert result.stdout.decode("utf-8") == qs.score_to_svg(
        str(DEMO), lyric_content=LYRIC.read_text(encoding="utf-8")
    )


def test_missing_chart(tmp_path: Path) -> None:
    missing = tmp_path / "chart.sus"
    out = tmp_path / "out.svg"
    result = run_cli(missing, "-o", out)
    assert result.returncode == 1
    assert result.stdout == b""
    assert result.stderr.decode() == (
        f"quorvel-scores: {missing}: Failed to open score: "
        "No such file or directory (os error 2)\n"
    )
    assert not out.exists()


@pytest.mark.parametrize(
    "case",
    ["missing rebase", "bad rebase", "meta not object", "meta wrong type", "lyric not utf8",
     "meta bad json", "output dir missing"],
)
def test_failures_name_the_file(tmp_path: Path, case: str) -> None:
    bad = tmp_path / "bad.txt"
    args: list[str | Path]
    reason = ""
    if case == "missing rebase":
        args, reason = [DEMO, "--rebase", bad], "No such file or directory (os error 2)"
    elif case == "bad rebase":
        bad.write_text("{not json", encoding="utf-8")
        args, reason = [DEMO, "--rebase", bad], "Invalid rebase JSON: "
    elif case == "meta not object":
        bad.write_text("[1, 2]", encoding="utf-8")
        args, reason = [DEMO, "--skill", "--music-meta", bad], "expected a JSON object"
    elif case == "meta wrong type":
        bad.write_text('{"fever_score": "5"}', encoding="utf-8")
        args = [DEMO, "--skill", "--music-meta", bad]
    elif case == "meta bad json":
        bad.write_text("{", encoding="utf-8")
        args, reason = [DEMO, "--music-meta", bad], "invalid JSON: "
    elif case == "lyric not utf8":
        bad.write_bytes(b"0: caf\xe9\n")
        args, reason = [DEMO, "--lyric", bad], "not valid UTF-8"
    else:
        bad = tmp_path / "no" / "such" / "dir.svg"
        args, reason = [DEMO, "-o", bad], "No such file or directory (os error 2)"
    result = run_cli(*args)
    assert result.returncode == 1
    assert result.stdout == b""
    message = result.stderr.decode()
    assert message.count("\n") == 1
    assert message.startswith(f"quorvel-scores: {bad}: {reason}")


def test_usage(tmp_path: Path) -> None:
    shown = run_cli("--help")
    assert shown.returncode == 0
    text = shown.stdout.decode()
    for option in ("CHART", "--output", "--rebase", "--lyric", "--skill", "--music-meta",
                   "--note-host", "--note-ext", "--offline-notes"):
        assert option in text
    for args in ([], [DEMO, "--offline-notes", "--note-host", "x"],
                 [DEMO, "--offline-notes", "--note-ext", "png"], [DEMO, "--bogus"]):
        result = run_cli(*args)
        assert result.returncode == 2, args
        assert result.stdout == b""
        assert "usage: quorvel-scores" in result.stderr.decode()


def test_console_script_is_installed() -> None:
    script = shutil.which("quorvel-scores", path=sysconfig.get_path("scripts"))
    if script is None:
        pytest.skip("package not installed: no quorvel-scores script next to the interpreter")
    result = subprocess.run([script, str(DEMO)], capture_output=True, timeout=120)
    assert result.returncode == 0
    assert result.stdout.decode("utf-8") == qs.score_to_svg(str(DEMO))


def test_offline_notes_point_at_shipped_images(tmp_path: Path, notes_uri: str) -> None:
    meta = tmp_path / "music.json"
    meta.write_text(json.dumps(MUSIC_META), encoding="utf-8")
    result = run_cli(DEMO, "--offline-notes", "--skill", "--music-meta", meta,
                     "--lyric", LYRIC, "--rebase", REBASE)
    assert result.returncode == 0, result.stderr
    svg = result.stdout.decode("utf-8")

    referenced = set()
    for href in hrefs(svg):
        if not href.startswith(notes_uri + "/"):
            continue
        path = Path(urllib.request.url2pathname(urllib.parse.urlparse(href).path))
        assert path.is_file(), href
        assert path.suffix == ".svg"
        referenced.add(path.stem)
    # The demo uses every kind of mark, so every kind of image shows up.
    assert referenced >= {f"notes_{k}" for k in range(7)} | {
        "notes_flick_arrow_03",
        "notes_flick_arrow_03_diagonal",
        "notes_flick_arrow_crtcl_06",
        "notes_flick_arrow_crtcl_06_diagonal",
        "notes_friction_among_long",
        "notes_friction_among_crtcl",
        "notes_friction_among_flick",
        "notes_long_among",
        "notes_long_among_crtcl",
    }
    # Only the header's jacket image (the chart's own, or the default) lies elsewhere.
    outside = [href for href in hrefs(svg) if not href.startswith(notes_uri + "/")]
    assert len(outside) == 1


def test_note_images_complete_and_generated() -> None:
    import quorvel_scores_cli

    shipped = {p.stem for p in quorvel_scores_cli.NOTES_DIR.glob("*.svg")}
    assert shipped == set(ALL_IMAGE_NAMES)
    for name in ALL_IMAGE_NAMES:
        root = ET.parse(quorvel_scores_cli.NOTES_DIR / f"{name}.svg").getroot()
        assert root.tag == "{http://www.w3.org/2000/svg}svg"
        assert root.get("viewBox")
        if name[-1].isdigit() and name.count("_") == 1:
            assert root.get("viewBox") == "0 0 112 56"

    generator = ROOT / "tools" / "gen_note_art.py"
    if not generator.is_file():
        pytest.skip("source tree not available")
    check = subprocess.run([sys.executable, str(generator), "--check"],
                           capture_output=True, timeout=120)
    assert check.returncode == 0, check.stderr.decode()


def test_demo_has_every_kind_of_mark() -> None:
    score = qs.Score.open(str(DEMO))
    meta = score.meta
    assert (meta.title, meta.artist, meta.designer, meta.difficulty, meta.playlevel) == (
        "Lantern Steps", "The Quorvel Examples", "quorvel-scores", "master", "26")
    events = score.events()
    texts = [e.text for e in events if e.text is not None]
    assert texts.count("SKILL") == 3
    assert texts.count("FEVER CHANCE!") == 1 and texts.count("SUPER FEVER!!") == 1
    assert sorted(float(e.bpm) for e in events if e.bpm is not None) == [140.0, 175.0]
    assert [float(e.bar_length) for e in events if e.bar_length is not None] == [4.0, 3.0, 4.0]
    assert len([e for e in events if e.speed is not None]) == 5

    lyric = qs.Lyric.load(LYRIC.read_text(encoding="utf-8"))
    assert lyric.word_count() == 30

    rebased = qs.Rebase.load(REBASE.read_text(encoding="utf-8"))(score)
    assert rebased.note_count() == score.note_count()
    assert [e.section for e in rebased.events() if e.section] == [
        "Intro", "Verse", "Chorus", "Outro"]
    # Same tempo map as the chart: every note keeps its bar.
    assert float(rebased.get_time(9)) == pytest.approx(float(score.get_time(9)))


def test_typed_example_runs(tmp_path: Path) -> None:
    result = subprocess.run(
        [sys.executable, str(EXAMPLES / "typed_example.py"), str(tmp_path)],
        capture_output=True, timeout=120, env={**os.environ, "PYTHONIOENCODING": "utf-8"},
    )
    assert result.returncode == 0, result.stderr.decode()
    for name in ("demo.svg", "demo-rebased.svg"):
        assert (tmp_path / name).read_text(encoding="utf-8").endswith("</svg>")

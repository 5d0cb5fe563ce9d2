"""The eight one-call functions."""
import io
import json

import pytest

import quorvel_scores_rs as q
from chart_fixtures import CHART_DICT, LYRIC_TEXT, TIMING_SUS, write

RASTER = ("PNG/JPEG output requires the `skia-image` feature; install `quorvel-scores-rs-skia-image` "
          "or build with `--features python,skia-image`")
SVG = [q.sus_to_svg, q.score_to_svg]
RASTERS = [q.sus_to_png, q.sus_to_jpg, q.sus_to_jpeg, q.score_to_png, q.score_to_jpg, q.score_to_jpeg]


@pytest.fixture
def sus(tmp_path):
    return write(tmp_path, "c.sus", TIMING_SUS)


@pytest.fixture
def chart_json(tmp_path):
    return write(tmp_path, "c.json", json.dumps(CHART_DICT))


def test_svg_functions_agree_with_drawing(sus, chart_json):
    for path in (sus, chart_json):
        out = q.sus_to_svg(path)
        assert out == q.score_to_svg(path)
        assert out == q.Drawing(score=q.Score.open(path)).svg()
    assert q.sus_to_svg(sus_path=sus) == q.score_to_svg(score_path=sus)


def test_options_rebase_and_lyric(sus):
    base = q.sus_to_svg(sus)
    assert q.sus_to_svg(sus, target_segment_seconds=30) == base
    rebase = {"offset": 0, "events": [{"bar": 0, "bpm": 120}], "meta": {"title": "ignored"}}
    rebased = q.sus_to_svg(sus, rebase_json=json.dumps(rebase))
    expected = q.Drawing(score=q.Rebase.load(rebase).apply(q.Score.open(sus))).svg()
    assert rebased == expected
    with_lyric = q.sus_to_svg(sus, lyric_content=LYRIC_TEXT, generator="Gen", note_host="h")
    assert with_lyric == q.Drawing(score=q.Score.open(sus), lyric=q.Lyric.load(LYRIC_TEXT), generator="Gen",
                                   note_host="h").svg()
    mm = {"fever_end_time": 2.0, "fever_score": 0.1, "skill_score_solo": [0.2], "skill_score_multi": [0.3]}
    assert q.sus_to_svg(sus, skill=True, music_meta=mm) == \
        q.Drawing(score=q.Score.open(sus), skill=True, music_meta=mm).svg()


def test_raster_functions_refuse_after_the_work(sus, tmp_path):
    for fn in RASTERS:
        with pytest.raises(RuntimeError) as info:
            fn(sus)
        assert str(info.value) == RASTER
        with pytest.raises(OSError) as info:
            fn(str(tmp_path / "missing.sus"))
        assert str(info.value) == "Failed to open score: No such file or directory (os error 2)"
        with pytest.raises(ValueError) as info:
            fn(sus, rebase_json="not json")
        assert str(info.value).startswith("Invalid rebase JSON: ")
        with pytest.raises(TypeError) as info:
            fn(sus, music_meta={"fever_score": "x"})
        assert not getattr(info.value, "__notes__", None)


def test_jpeg_quality(sus, tmp_path):
    missing = str(tmp_path / "missing.sus")
    for fn in (q.sus_to_jpg, q.score_to_jpeg):
        with pytest.raises(OverflowError) as info:
            fn(missing, jpeg_quality=256)
        assert str(info.value) == "out of range integral type conversion attempted"
        assert info.value.__notes__ == ["while processing 'jpeg_quality'"]
        with pytest.raises(TypeError) as info:
            fn(sus, jpeg_quality=None)
        assert info.value.__notes__ == ["while processing 'jpeg_quality'"]
        with pytest.raises(RuntimeError):
            fn(sus, jpeg_quality=255)
    with pytest.raises(TypeError) as info:
        q.sus_to_png(sus, jpeg_quality=90)
    assert str(info.value) == "sus_to_png() got an unexpected keyword argument 'jpeg_quality'"


@pytest.mark.parametrize("fn", SVG)
def test_errors_in_order(fn, sus, tmp_path):
    with pytest.raises(OSError) as info:
        fn(str(tmp_path / "missing.sus"), rebase_json="not json")
    assert str(info.value) == "Failed to open score: No such file or directory (os error 2)"
    with pytest.raises(ValueError) as info:
        fn(sus, rebase_json="not json")
    assert str(info.value).startswith("Invalid rebase JSON: ")
    with pytest.raises(TypeError) as info:
        fn(sus, lyric_content=io.StringIO("x"))
    assert info.value.__notes__ == ["while processing 'lyric_content'"]
    with pytest.raises(TypeError) as info:
        fn(sus, skill=None)
    assert info.value.__notes__ == ["while processing 'skill'"]
    with pytest.raises(TypeError) as info:
        fn(1)
    first = "sus_path" if fn is q.sus_to_svg else "score_path"
    assert info.value.__notes__ == ["while processing '%s'" % first]
    # Argument conversion comes before opening the file.
    with pytest.raises(TypeError) as info:
        fn(str(tmp_path / "missing.sus"), font_dirs="x")
    assert info.value.__notes__ == ["while processing 'font_dirs'"]


def test_first_parameter_names(sus):
    with pytest.raises(TypeError) as info:
        q.sus_to_svg(score_path=sus)
    assert str(info.value) == "sus_to_svg() got an unexpected keyword argument 'score_path'"
    with pytest.raises(TypeError) as info:
        q.score_to_png(sus_path=sus)
    assert str(info.value) == "score_to_png() got an unexpected keyword argument 'sus_path'"
    with pytest.raises(TypeError) as info:
        q.score_to_svg(sus, None, None, None, None, False, None, None, None, None, None, None, 90)
    assert str(info.value) == "score_to_svg() takes from 1 to 12 positional arguments but 13 were given"

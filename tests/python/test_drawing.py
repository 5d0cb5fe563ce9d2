"""Drawing: construction arguments, rendering choices, raster refusals, font lists
and geometry properties."""
import re

import pytest

import quorvel_scores_rs as q
from chart_fixtures import TIMING_SUS

RASTER = ("PNG/JPEG output requires the `skia-image` feature; install `quorvel-scores-rs-skia-image` "
          "or build with `--features python,skia-image`")
NEEDS_SCORE = "score is required when Drawing was created without one"


def timing_score(title="Fixture"):
    return q.Score.from_str(TIMING_SUS.replace("Fixture", title))


def test_svg_from_stored_or_given_chart():
    s = timing_score("Stored")
    d = q.Drawing(score=s)
    first = d.svg()
    assert first.startswith("<svg") and first.rstrip().endswith("</svg>")
    assert "Stored" in first
    assert d.svg() == first
    assert d.svg(None, None) == first
    # The stored chart is a copy taken at construction.
    s.set_meta(title="Changed")
    assert d.svg() == first
    assert "Changed" in d.svg(score=s)
    assert d.svg() == first
    assert q.Drawing().svg(s) == q.Drawing(score=s).svg()


def test_lyric_choice():
    s, t = timing_score("One"), timing_score("Two")
    l = q.Lyric.load("0: stored\n")
    m = q.Lyric.load("0: given\n")
    d = q.Drawing(score=s, lyric=l)
    out = d.svg(score=t)
    assert "Two" in out and "stored" in out
    out = d.svg(score=t, lyric=m)
    assert "given" in out and "stored" not in out
    assert "given" in q.Drawing(score=s).svg(lyric=m)
    assert "stored" not in q.Drawing(score=s).svg()


def test_rendering_leaves_inputs_unchanged():
    s = timing_score()
    d = q.Drawing(skill=True, music_meta={})
    a = d.svg(s)
    assert d.svg(s) == a
    assert s.note_count() == q.Score.from_str(TIMING_SUS).note_count()


def test_no_chart():
    for method in ("svg", "png", "jpg", "jpeg"):
        with pytest.raises(TypeError) as info:
            getattr(q.Drawing(), method)()
        assert str(info.value) == NEEDS_SCORE


def test_raster_methods_refuse():
    s = timing_score()
    for call in (lambda: q.Drawing(score=s).png(), lambda: q.Drawing().png(score=s),
                 lambda: q.Drawing().jpg(s), lambda: q.Drawing(score=s).jpeg(jpeg_quality=0)):
        with pytest.raises(RuntimeError) as info:
            call()
        assert str(info.value) == RASTER
    with pytest.raises(OverflowError) as info:
        q.Drawing().jpg(score=s, jpeg_quality=300)
    assert str(info.value) == "out of range integral type conversion attempted"
    assert info.value.__notes__ == ["while processing 'jpeg_quality'"]
    with pytest.raises(TypeError) as info:
        q.Drawing().jpeg(score=s, jpeg_quality=None)
    assert info.value.__notes__ == ["while processing 'jpeg_quality'"]
    with pytest.raises(TypeError) as info:
        q.Drawing().png(score=s, jpeg_quality=90)
    assert str(info.value) == "Drawing.png() got an unexpected keyword argument 'jpeg_quality'"


@pytest.mark.parametrize("kwargs, exc, message, note", [
    ({"skill": None}, TypeError, "'None' is not an instance of 'bool'", "skill"),
    ({"skill": 1}, TypeError, "'int' object is not an instance of 'bool'", "skill"),
    ({"music_meta": []}, TypeError, "'list' object is not an instance of 'dict'", "music_meta"),
    ({"score": 1}, TypeError, "'int' object is not an instance of 'Score'", "score"),
    ({"lyric": "0: a"}, TypeError, "'str' object is not an instance of 'Lyric'", "lyric"),
    ({"note_host": 5}, TypeError, "'int' object is not an instance of 'str'", "note_host"),
    ({"font_paths": "a.ttf"}, TypeError, "Can't extract `str` to `Vec`", "font_paths"),
    ({"font_dirs": {"a"}}, TypeError, "'set' object is not an instance of 'Sequence'", "font_dirs"),
    ({"font_dirs": ["a", 1]}, TypeError, "'int' object is not an instance of 'str'", "font_dirs"),
    ({"target_segment_seconds": "abc"}, TypeError, None, "target_segment_seconds"),
])
def test_constructor_failures(kwargs, exc, message, note):
    with pytest.raises(exc) as info:
        q.Drawing(**kwargs)
    if message is not None:
        assert str(info.value) == message
    assert info.value.__notes__ == ["while processing '%s'" % note]


@pytest.mark.parametrize("music_meta, exc, message", [
    ({"fever_score": "5"}, TypeError, None),
    ({"fever_end_time": None}, TypeError, None),
    ({"skill_score_solo": "0.1"}, TypeError, "Can't extract `str` to `Vec`"),
    ({"skill_score_multi": 3}, TypeError, "'int' object is not an instance of 'Sequence'"),
    ({"skill_score_multi": [0.1, "x"]}, TypeError, None),
])
def test_music_meta_failures_have_no_note(music_meta, exc, message):
    with pytest.raises(exc) as info:
        q.Drawing(music_meta=music_meta)
    if message is not None:
        assert str(info.value) == message
    assert not getattr(info.value, "__notes__", None)


def test_accepted_options_and_discarded_time_target():
    s = timing_score()
    base = q.Drawing(score=s).svg()
    assert q.Drawing(score=s, target_segment_seconds=5).svg() == base
    assert q.Drawing(score=s, target_segment_seconds=None, skill=False).svg() == base
    out = q.Drawing(score=s, note_host="https://h.example/n", note_asset_extension="  .WEBP ",
                    generator="Gen", style_sheet="x;", font_paths=("a.ttf",), font_dirs=[]).svg()
    assert "https://h.example/n/" in out and ".webp" in out and "Gen" in out
    assert "}\nx;" in out
    mm = {"fever_end_time": 1, "fever_score": 0.05, "skill_score_solo": (0.1,), "skill_score_multi": [1]}
    q.Drawing(score=s, skill=True, music_meta=mm).svg()


def test_geometry_properties():
    d = q.Drawing()
    assert (d.note_size, d.lane_width, d.time_height) == (16, 16, 360.0)
    d.note_size = 20
    assert d.note_size == 20
    d.lane_width = True
    assert d.lane_width == 1
    d.time_height = 1
    assert d.time_height == 1.0 and isinstance(d.time_height, float)
    with pytest.raises(OverflowError) as info:
        d.note_size = 2 ** 31
    assert str(info.value) == "out of range integral type conversion attempted"
    assert info.value.__notes__ == ["while processing 'v'"]
    with pytest.raises(TypeError) as info:
        d.lane_width = 1.5
    assert info.value.__notes__ == ["while processing 'v'"]
    with pytest.raises(TypeError) as info:
        d.time_height = "1"
    assert info.value.__notes__ == ["while processing 'v'"]
    for name in ("note_size", "lane_width", "time_height"):
        with pytest.raises(AttributeError) as info:
            delattr(d, name)
        assert str(info.value) == "property has no deleter"
    assert (d.note_size, d.lane_width, d.time_height) == (20, 1, 1.0)
    d.note_size = -5
    assert d.note_size == -5


def test_geometry_changes_the_drawing():
    s = timing_score()
    d = q.Drawing(score=s)
    before = d.svg()
    d.time_height = 720
    assert d.svg() != before


def test_font_lists():
    d = q.Drawing(font_paths=["", "  ", "a.ttf"])
    s = timing_score()
    before = d.svg(s)
    assert d.set_font_paths(["a.ttf", " b.ttf"]) is None
    assert d.add_font_path("  ") is None
    assert d.add_font_dir("fonts") is None
    assert d.set_font_dirs(paths_or_dirs := ("x",)) is None
    assert paths_or_dirs == ("x",)
    # The SVG never reads the font lists.
    assert d.svg(s) == before
    with pytest.raises(TypeError) as info:
        d.set_font_paths("a.ttf")
    assert str(info.value) == "Can't extract `str` to `Vec`"
    assert info.value.__notes__ == ["while processing 'paths'"]
    with pytest.raises(TypeError) as info:
        d.add_font_dir(None)
    assert info.value.__notes__ == ["while processing 'dir'"]
    with pytest.raises(TypeError) as info:
        d.set_font_dirs()
    assert str(info.value) == "Drawing.set_font_dirs() missing 1 required positional argument: 'dirs'"


def test_constructor_positional_and_keyword_binding():
    s = timing_score()
    l = q.Lyric.load("0: w\n")
    assert q.Drawing(s, l).svg() == q.Drawing(score=s, lyric=l).svg()
    with pytest.raises(TypeError) as info:
        q.Drawing(s, score=s)
    assert str(info.value) == "Drawing.__new__() got multiple values for argument 'score'"


def chart_of_bars(bars):
    lines = ["#BPM01: 120", "#00008: 01"]
    lines += ["#%03d1%s:%s" % (bar, "3", "13" * 16) for bar in range(bars)]
    return "\n".join(lines) + "\n"


@pytest.mark.parametrize("bars, size", [(150, (1 << 19, 4 << 20)), (1200, (4 << 20, 64 << 20))])
def test_svg_text_of_every_width(bars, size):
    # Titles that need one, two and four bytes per character in the str, on charts
    # rendered in several pieces: one short enough to be held whole before its str is
    # made, one long enough to be copied into the str as it comes.
    body = chart_of_bars(bars)
    for title in ("plain", "caf\u00e9", "\u30ab\u30ca \u00e9", "clef \U0001d11e \u00e9"):
        s = q.Score.from_str('#TITLE "%s"\n' % title + body)
        out = q.Drawing(score=s).svg()
        assert size[0] < len(out.encode("utf-8")) < size[1]
        assert 'class="title">%s</text>' % title in out
        assert out.endswith("</svg></svg>")
        same_str = out == out.encode("utf-8").decode("utf-8")
        assert same_str
        assert max(out) == max(max(title), max(q.Drawing(score=q.Score.from_str(body)).svg()))
    # A wider character far into the document, after many parts have been copied.
    s = q.Score.from_str(body)
    plain = q.Drawing(score=s).svg()
    out = q.Drawing(score=s, lyric=q.Lyric.load("%d: \U0001d11e\n" % (bars * 3 // 4))).svg()
    at = out.index("\U0001d11e")
    same_str = out == out.encode("utf-8").decode("utf-8")
    without_word = re.sub('<text [^>]*class="lyric-text">\U0001d11e</text>', "", out)
    same_page = without_word == plain  # compared apart: no diff of megabytes on failure
    assert at > len(out) // 2 and same_str and same_page

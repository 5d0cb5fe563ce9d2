"""Score: loading from every kind of source, metadata, events and timing."""
import io
import json

import pytest

import quorvel_scores_rs as q
from chart_fixtures import (CHART_DICT, SHARED_CHARTS, TIMING_NOTES, TIMING_SUS, fraction_value,
                            shared_chart_files, write)

ENOENT = "No such file or directory (os error 2)"


def timing_score():
    return q.Score.from_str(TIMING_SUS)


def same_chart(a, b):
    assert (a.title(), a.note_count(), a.event_count()) == (b.title(), b.note_count(), b.event_count())
    assert [(fraction_value(x.bar), x.bpm and fraction_value(x.bpm)) for x in a.events()] == \
           [(fraction_value(x.bar), x.bpm and fraction_value(x.bpm)) for x in b.events()]


# ---------------------------------------------------------------------------
# Loading

def test_from_str_reads_sus():
    s = timing_score()
    assert (s.title(), s.artist(), s.difficulty(), s.playlevel()) == ("Fixture", "Someone", "MASTER", "30")
    assert s.note_count() == TIMING_NOTES
    assert len(s.events()) == s.event_count() > 0


def test_from_str_refuses_non_strings():
    with pytest.raises(TypeError) as info:
        q.Score.from_str(5)
    assert str(info.value) == "'int' object is not an instance of 'str'"
    assert info.value.__notes__ == ["while processing 'content'"]
    with pytest.raises(TypeError) as info:
        q.Score.from_str(io.StringIO(TIMING_SUS))
    assert str(info.value) == "'StringIO' object is not an instance of 'str'"
    with pytest.raises(TypeError) as info:
        q.Score.from_str(None)
    assert str(info.value) == "'None' is not an instance of 'str'"


class LinesOnly:
    def __init__(self, lines):
        self.lines = lines

    def readlines(self):
        return self.lines


class Both:
    def read(self):
        return TIMING_SUS

    def readlines(self):
        raise AssertionError("read() must win")


class Exploding:
    def read(self):
        raise KeyError("from read")


def test_load_sources(tmp_path):
    ref = timing_score()
    same_chart(q.Score.load(TIMING_SUS), ref)
    same_chart(q.Score.load(io.StringIO(TIMING_SUS)), ref)
    same_chart(q.Score.load(LinesOnly(TIMING_SUS.splitlines(keepends=True))), ref)
    same_chart(q.Score.load(Both()), ref)
    path = write(tmp_path, "c.sus", TIMING_SUS)
    with open(path, "r", encoding="utf-8") as f:
        same_chart(q.Score.load(f), ref)


def test_load_detects_json():
    text = json.dumps(CHART_DICT)
    ref = q.Score.from_json(text)
    assert ref.title() == "Json"
    same_chart(q.Score.load(text), ref)
    same_chart(q.Score.load("  \n\t" + text), ref)
    same_chart(q.Score.load(CHART_DICT), ref)
    same_chart(q.Score.load(io.StringIO(text)), ref)


class Chart(dict):
    pass


def test_json_entry_points_agree():
    ref = q.Score.from_json('{"a": 1}')
    for s in (q.Score.from_dict({"a": 1}), q.Score.from_json({"a": 1}), q.Score.from_dict('{"a": 1}'),
              q.Score.from_dict(io.StringIO('{"a": 1}')), q.Score.load(Chart(a=1))):
        same_chart(s, ref)
    same_chart(q.Score.from_dict(CHART_DICT), q.Score.from_json(json.dumps(CHART_DICT)))


@pytest.mark.parametrize("call, exc, message", [
    (lambda: q.Score.load("[1]"), ValueError, "Invalid score JSON: expected a JSON object"),
    (lambda: q.Score.from_json("5"), ValueError, "Invalid score JSON: expected a JSON object"),
    (lambda: q.Score.from_dict(42), TypeError, "expected a string or a file-like object"),
    (lambda: q.Score.load(42), TypeError, "expected a string or a file-like object"),
    (lambda: q.Score.load(None), TypeError, "expected a string or a file-like object"),
    (lambda: q.Score.load(LinesOnly("ab")), TypeError, "Can't extract `str` to `Vec`"),
    (lambda: q.Score.load(LinesOnly(["a", 1])), TypeError, "'int' object is not an instance of 'str'"),
])
def test_load_failures(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert str(info.value) == message
    assert not getattr(info.value, "__notes__", None)


def test_json_failures_carry_the_reader_message():
    with pytest.raises(ValueError) as info:
        q.Score.from_json(TIMING_SUS)
    assert str(info.value).startswith("Invalid score JSON: ")
    assert " at line 1 column " in str(info.value)
    with pytest.raises(ValueError) as info:
        q.Score.load("{")
    assert str(info.value).startswith("Invalid score JSON: ")


def test_file_like_failures_pass_through(tmp_path):
    with pytest.raises(KeyError):
        q.Score.load(Exploding())
    path = write(tmp_path, "c.sus", TIMING_SUS)
    with open(path, "rb") as f:
        with pytest.raises(TypeError) as info:
            q.Score.load(f)
    assert str(info.value) == "'bytes' object is not an instance of 'str'"
    with pytest.raises(TypeError, match="not JSON serializable"):
        q.Score.from_dict({"a": object()})


def test_open_chooses_the_reader(tmp_path):
    json_text = json.dumps(CHART_DICT)
    ref_json = q.Score.from_json(json_text)
    same_chart(q.Score.open(write(tmp_path, "a.JSON", json_text)), ref_json)
    same_chart(q.Score.open(write(tmp_path, "b.sus", "\n  " + json_text)), ref_json)
    same_chart(q.Score.open(write(tmp_path, "noext", json_text)), ref_json)
    same_chart(q.Score.open(write(tmp_path, "c.txt", TIMING_SUS)), timing_score())
    # SUS text in a .json file goes to the JSON reader and fails there.
    with pytest.raises(OSError) as info:
        q.Score.open(write(tmp_path, "d.json", TIMING_SUS))
    assert str(info.value).startswith("Failed to open score: ")
    assert "at line 1 column" in str(info.value)
    # A byte-order mark is not white space: the first line becomes a comment.
    s = q.Score.open(write(tmp_path, "e.sus", "\ufeff#TITLE x\n#ARTIST y\n"))
    assert (s.title(), s.artist()) == (None, "y")


def test_open_failures(tmp_path):
    missing = str(tmp_path / "missing.sus")
    cases = [
        (q.Score.open, "Failed to open score: "),
        (q.Score.open_sus, "Failed to open SUS score: "),
        (q.Score.open_json, "Failed to open JSON score: "),
    ]
    for fn, prefix in cases:
        with pytest.raises(OSError) as info:
            fn(missing)
        assert type(info.value) is OSError
        assert info.value.args == (prefix + ENOENT,)
        with pytest.raises(OSError) as info:
            fn(str(tmp_path))
        assert str(info.value).startswith(prefix) and str(info.value).endswith(")")
        with pytest.raises(OSError) as info:
            fn(write(tmp_path, "bad.sus", b"#TITLE \xff\n"))
        assert str(info.value) == prefix + "stream did not contain valid UTF-8"
        with pytest.raises(TypeError) as info:
            fn(1)
        assert str(info.value) == "'int' object is not an instance of 'str'"
        assert info.value.__notes__ == ["while processing 'path'"]
    with pytest.raises(OSError) as info:
        q.Score.open_json(write(tmp_path, "list.json", "[]"))
    assert str(info.value) == "Failed to open JSON score: expected a JSON object"
    with pytest.raises(OSError) as info:
        q.Score.open("a\0b")
    assert str(info.value) == "Failed to open score: file name contained an unexpected NUL byte"


def test_open_sus_and_open_json_ignore_the_extension(tmp_path):
    sus_in_json = write(tmp_path, "x.json", TIMING_SUS)
    same_chart(q.Score.open_sus(sus_in_json), timing_score())
    json_in_sus = write(tmp_path, "x.sus", json.dumps(CHART_DICT))
    same_chart(q.Score.open_json(json_in_sus), q.Score.from_dict(CHART_DICT))
    # open_sus reads JSON text as SUS: every line is a comment.
    assert q.Score.open_sus(json_in_sus).title() is None


def test_static_methods_work_on_instances():
    s = timing_score()
    assert s.from_str("#TITLE z").title() == "z"


# ---------------------------------------------------------------------------
# Metadata

def test_meta_is_a_copy():
    s = timing_score()
    before = s.meta
    s.set_meta(title="A")
    assert s.title() == "A"
    assert before.title == "Fixture"
    assert s.meta.title == "A"
    assert s.meta is not s.meta


def test_set_meta_fields_and_failures():
    s = timing_score()
    assert s.set_meta() is None
    s.set_meta("T", "Ar", "D", "P", "J", "S", "Sub")
    m = s.meta
    assert (m.title, m.artist, m.difficulty, m.playlevel, m.jacket, m.songid, m.subtitle) == \
           ("T", "Ar", "D", "P", "J", "S", "Sub")
    s.set_meta(title=None, artist="")
    assert s.title() == "T"
    assert s.artist() == ""
    with pytest.raises(TypeError) as info:
        s.set_meta(title="changed", artist=1)
    assert info.value.__notes__ == ["while processing 'artist'"]
    assert s.title() == "T"
    with pytest.raises(TypeError) as info:
        s.set_meta(genre="x")
    assert str(info.value) == "Score.set_meta() got an unexpected keyword argument 'genre'"


def test_meta_properties():
    s = q.Score.from_str('#WAVEOFFSET 0.25\n#BASEBPM 150\n#MOVIEOFFSET -1.5\n#TITLE ""\n')
    m = s.meta
    assert m.title == ""
    assert m.artist is None
    assert m.waveoffset == "0.25"
    assert m.basebpm == 150.0 and isinstance(m.basebpm, float)
    assert m.movieoffset == -1.5
    names = ["title", "subtitle", "artist", "genre", "designer", "difficulty", "playlevel", "songid",
             "wave", "waveoffset", "jacket", "background", "movie", "movieoffset", "basebpm"]
    assert [n for n in dir(q.Meta) if n in names] == sorted(names)
    for name in names:
        getattr(m, name)
    with pytest.raises(AttributeError):
        m.title = "x"
    assert q.Score.from_str("").meta.title is None


# ---------------------------------------------------------------------------
# Events and timing

def test_events_are_fresh_copies():
    s = q.Score.from_str(TIMING_SUS + "#TIL00: \"0'0:1.0, 1'480:2.5\"\n")
    events = s.events()
    assert len(events) == s.event_count()
    assert all(type(e) is q.Event for e in events)
    speed_only = [e for e in events if e.speed == 2.5]
    assert len(speed_only) == 1
    e = speed_only[0]
    assert fraction_value(e.bar) == (5, 4)
    assert (e.bpm, e.bar_length, e.sentence_length, e.section, e.text) == (None, None, None, None, None)
    assert e.bar is not e.bar
    tempo = [e for e in events if e.bpm is not None]
    assert [fraction_value(e.bpm) for e in tempo] == [(60, 1), (120, 1)]
    assert isinstance(e.speed, float)


def test_timing_examples():
    s = timing_score()
    assert fraction_value(s.get_time(2)) == (8, 1)
    assert fraction_value(s.get_time(3)) == (10, 1)
    assert fraction_value(s.get_time(-1)) == (-4, 1)
    assert fraction_value(s.get_time_delta(2, 3)) == (2, 1)
    assert fraction_value(s.get_time_delta(bar_from=3, bar_to=2)) == (-2, 1)
    assert fraction_value(s.get_bar_by_time(9.0)) == (5, 2)
    assert fraction_value(s.get_bar_by_time(9)) == (5, 2)
    e = s.get_event(F_ := q.Fraction(5, 2))
    assert fraction_value(e.bar) == (2, 1)
    assert fraction_value(e.bpm) == (120, 1)
    assert fraction_value(e.bar_length) == (4, 1)
    assert e.sentence_length == 4
    assert fraction_value(F_) == (5, 2)


def test_timing_without_events():
    s = q.Score.from_str("")
    assert s.event_count() == 0 and s.events() == []
    assert fraction_value(s.get_time(1)) == (2, 1)
    assert fraction_value(s.get_time("1/2")) == (1, 1)
    assert fraction_value(s.get_bar_by_time(3.0)) == (3, 2)
    e = s.get_event(5)
    assert (fraction_value(e.bar), fraction_value(e.bpm), e.sentence_length) == ((0, 1), (120, 1), 4)


def test_equal_positions_in_every_form():
    s = timing_score()
    values = {fraction_value(s.get_time(v)) for v in (0, "0", 0.0, q.Fraction(0), False)}
    assert values == {(0, 1)}
    a, b = q.Fraction(1, 3), q.Fraction(7, 4)
    ta, tb, d = s.get_time(a), s.get_time(b), s.get_time_delta(a, b)
    assert d.numerator * ta.denominator * tb.denominator == \
           (tb.numerator * ta.denominator - ta.numerator * tb.denominator) * d.denominator


def test_timing_argument_failures():
    s = timing_score()
    with pytest.raises(TypeError) as info:
        s.get_time(None)
    assert str(info.value) == "expected a Fraction-compatible value"
    assert not getattr(info.value, "__notes__", None)
    with pytest.raises(TypeError) as info:
        s.get_time_delta(1, "x")
    assert str(info.value) == "expected a Fraction-compatible value"
    with pytest.raises(TypeError) as info:
        s.get_bar_by_time("1")
    assert info.value.__notes__ == ["while processing 'time'"]
    with pytest.raises(TypeError) as info:
        s.get_event()
    assert str(info.value) == "Score.get_event() missing 1 required positional argument: 'bar'"


# ---------------------------------------------------------------------------
# The shared chart collection

@pytest.mark.skipif(not SHARED_CHARTS.is_dir(), reason="shared charts folder not present")
@pytest.mark.parametrize("path", shared_chart_files(), ids=lambda p: p.name)
def test_shared_charts_load(path):
    s = q.Score.open(str(path))
    notes, events = s.note_count(), s.event_count()
    print("%s: %d notes, %d events" % (path.name, notes, events))
    assert notes > 0
    assert events == len(s.events()) > 0
    # Loading the text directly picks the same reader.
    same_chart(q.Score.load(path.read_text(encoding="utf-8")), s)

"""Lyric and Rebase: loading from each source with its message prefix, applying."""
import io
import json

import pytest

import quorvel_scores_rs as q
from chart_fixtures import LYRIC_TEXT, TIMING_SUS, fraction_value


def timing_score():
    return q.Score.from_str(TIMING_SUS)


def chart_state(s):
    return (s.title(), s.note_count(),
            [(fraction_value(e.bar), e.bpm and fraction_value(e.bpm), e.speed, e.section, e.text)
             for e in s.events()])


# ---------------------------------------------------------------------------
# Lyric

class LinesOnly:
    def readlines(self):
        return ["0: one/two\n", "1: three\n"]


def test_lyric_sources():
    assert q.Lyric.load("").word_count() == 0
    assert q.Lyric.load(LYRIC_TEXT).word_count() == 3
    assert q.Lyric.load(content=io.StringIO(LYRIC_TEXT)).word_count() == 3
    assert q.Lyric.load(LinesOnly()).word_count() == 3
    assert q.Lyric.load("12: a//c\r\n12: d\n").word_count() == 3


def test_lyric_failures():
    with pytest.raises(TypeError) as info:
        q.Lyric.load(5)
    assert str(info.value) == "expected a string or a file-like object"
    assert not getattr(info.value, "__notes__", None)
    with pytest.raises(TypeError) as info:
        q.Lyric.load()
    assert str(info.value) == "Lyric.load() missing 1 required positional argument: 'content'"


# ---------------------------------------------------------------------------
# Rebase loading

REBASE = {"offset": 0, "events": [{"bar": 0, "bpm": 60, "barLength": 4}, {"bar": 2, "bpm": 120}],
          "meta": {"title": "Rebased", "artist": "R"}}


class RebaseDict(dict):
    pass


def test_rebase_sources_agree():
    s = timing_score()
    ref = chart_state(q.Rebase.from_json(json.dumps(REBASE)).apply(s))
    for r in (q.Rebase.load(REBASE), q.Rebase.load(json.dumps(REBASE)), q.Rebase.load(io.StringIO(json.dumps(REBASE))),
              q.Rebase.from_dict(REBASE), q.Rebase.load_from_dict(REBASE), q.Rebase.from_dict(RebaseDict(REBASE)),
              q.Rebase.load(RebaseDict(REBASE))):
        assert type(r) is q.Rebase
        assert chart_state(r.apply(s)) == ref


def test_rebase_from_dict_serialises_anything():
    s = timing_score()
    empty = chart_state(q.Rebase.from_json("{}").apply(s))
    # A str is serialised as a JSON string literal: an empty description.
    assert chart_state(q.Rebase.from_dict(json.dumps(REBASE)).apply(s)) == empty
    assert chart_state(q.Rebase.from_dict([1, 2]).apply(s)) == empty
    assert chart_state(q.Rebase.load_from_dict(5).apply(s)) == empty
    assert chart_state(q.Rebase.from_json(json.dumps(REBASE)).apply(s)) != empty


@pytest.mark.parametrize("call, prefix", [
    (lambda: q.Rebase.load("not json"), "Invalid JSON: "),
    (lambda: q.Rebase.load(io.StringIO("{")), "Invalid JSON: "),
    (lambda: q.Rebase.from_json("[1,]"), "Invalid JSON: "),
    (lambda: q.Rebase.load({"x": float("nan")}), "Invalid rebase dict: "),
    (lambda: q.Rebase.from_dict({"x": float("inf")}), "Invalid rebase dict: "),
    (lambda: q.Rebase.load_from_dict(float("nan")), "Invalid rebase dict: "),
])
def test_rebase_reader_failures(call, prefix):
    with pytest.raises(ValueError) as info:
        call()
    assert str(info.value).startswith(prefix)
    assert " at line " in str(info.value)


def test_rebase_argument_failures():
    with pytest.raises(TypeError) as info:
        q.Rebase.from_json(io.StringIO("{}"))
    assert str(info.value) == "'StringIO' object is not an instance of 'str'"
    assert info.value.__notes__ == ["while processing 'json_str'"]
    with pytest.raises(TypeError) as info:
        q.Rebase.load(5)
    assert str(info.value) == "expected a string or a file-like object"
    assert not getattr(info.value, "__notes__", None)
    with pytest.raises(TypeError, match="not JSON serializable"):
        q.Rebase.from_dict({"a": {1, 2}})


# ---------------------------------------------------------------------------
# Applying

def test_apply_rebase_and_call_are_identical():
    s = timing_score()
    before = chart_state(s)
    r = q.Rebase.load(REBASE)
    results = [r.apply(s), r.rebase(s), r(s), r(score=s), r.apply(score=s)]
    assert len({id(x) for x in results}) == len(results)
    assert all(type(x) is q.Score for x in results)
    states = [chart_state(x) for x in results]
    assert all(st == states[0] for st in states)
    assert chart_state(s) == before
    # The chart keeps its own title; the description fills only gaps.
    assert results[0].title() == "Fixture"
    assert results[0].artist() == "Someone"
    untitled = q.Score.from_str("#00012: 13")
    assert r.apply(untitled).title() == "Rebased"


def test_apply_keeps_note_times():
    s = timing_score()
    # Same timing, no offset: notes keep their bars.
    out = q.Rebase.load(REBASE).apply(s)
    assert out.note_count() == s.note_count()
    assert fraction_value(out.get_time(2)) == (8, 1)
    # A description without events uses 120 BPM: bar 2 (8 s) lands at bar 4.
    plain = q.Rebase.from_json("{}").apply(s)
    assert plain.note_count() == s.note_count()
    assert fraction_value(plain.get_bar_by_time(8.0)) == (4, 1)


def test_apply_argument_failures():
    r = q.Rebase.from_json("{}")
    for bad, name in ((5, "int"), (None, None), (r, "Rebase")):
        with pytest.raises(TypeError) as info:
            r.apply(bad)
        expected = "'None' is not an instance of 'Score'" if name is None else \
            "'%s' object is not an instance of 'Score'" % name
        assert str(info.value) == expected
        assert info.value.__notes__ == ["while processing 'score'"]
    with pytest.raises(TypeError) as info:
        r()
    assert str(info.value) == "Rebase.__call__() missing 1 required positional argument: 'score'"
    with pytest.raises(TypeError) as info:
        r.apply()
    assert str(info.value) == "Rebase.apply() missing 1 required positional argument: 'score'"

"""The per-object access state: callbacks from Python code that re-enter an object
already held by the running call are refused at once, and the object works
normally afterwards."""
import io
import json

import pytest

import quorvel_scores_rs as q
from chart_fixtures import CHART_DICT, TIMING_SUS, fraction_value

BORROWED = "Already borrowed"
MUT_BORROWED = "Already mutably borrowed"


def attempt(fn):
    """Runs fn inside a callback and reports what happened."""
    try:
        fn()
    except RuntimeError as e:
        return str(e)
    return "ok"


class Callback:
    """Integer- and float-like value that runs probes when converted."""

    def __init__(self, *probes, value=1):
        self.probes = probes
        self.value = value
        self.seen = []

    def _run(self):
        self.seen = [attempt(p) for p in self.probes]

    def __index__(self):
        self._run()
        return self.value

    def __float__(self):
        self._run()
        return float(self.value)


def test_timing_call_holds_the_score_exclusively():
    s = q.Score.from_str(TIMING_SUS)
    r = q.Rebase.from_json("{}")
    cb = Callback(lambda: s.title(), lambda: s.get_time(0), lambda: s.meta, lambda: r.apply(s),
                  lambda: s.set_meta(title="x"), lambda: q.Drawing(score=s))
    assert fraction_value(s.get_time(cb)) == (4, 1)
    assert cb.seen == [MUT_BORROWED, BORROWED, MUT_BORROWED, BORROWED, BORROWED, MUT_BORROWED]
    # Released on return: everything works again.
    assert s.title() == "Fixture"
    assert fraction_value(s.get_time(1)) == (4, 1)
    r.apply(s)


def test_conflict_errors_carry_the_parameter_note():
    s = q.Score.from_str(TIMING_SUS)
    r = q.Rebase.from_json("{}")
    notes = []

    def probe():
        try:
            r.apply(s)
        except RuntimeError as e:
            notes.append((str(e), e.__notes__))

    cb = Callback(probe)
    s.get_bar_by_time(cb)
    assert notes == [(BORROWED, ["while processing 'score'"])]


def test_released_after_a_failed_call():
    s = q.Score.from_str(TIMING_SUS)

    class Raising:
        def __float__(self):
            raise ZeroDivisionError("in callback")

    with pytest.raises(ZeroDivisionError) as info:
        s.get_bar_by_time(Raising())
    assert info.value.__notes__ == ["while processing 'time'"]
    s.set_meta(title="again")
    assert s.title() == "again"


def test_drawing_holds_itself_and_the_given_score():
    s = q.Score.from_str(TIMING_SUS)
    d = q.Drawing(score=s)
    cb = Callback(lambda: d.svg(), lambda: d.note_size, lambda: d.add_font_path("a"), lambda: s.title(),
                  lambda: s.get_time(0))
    with pytest.raises(RuntimeError) as info:
        d.jpg(score=s, jpeg_quality=cb)
    assert str(info.value).startswith("PNG/JPEG output requires")
    assert cb.seen == [BORROWED, MUT_BORROWED, BORROWED, MUT_BORROWED, BORROWED]
    assert d.svg() == d.svg(s)


def test_property_setter_converts_before_taking_the_drawing():
    s = q.Score.from_str(TIMING_SUS)
    d = q.Drawing(score=s)
    cb = Callback(lambda: d.svg(), lambda: d.note_size, value=12)
    d.note_size = cb
    assert cb.seen == ["ok", "ok"]
    assert d.note_size == 12


class ProbingSequence:
    """A sequence whose iteration runs probes."""

    def __init__(self, *probes):
        self.probes = probes
        self.seen = []

    def __len__(self):
        return 1

    def __getitem__(self, i):
        if i >= 1:
            raise IndexError(i)
        self.seen = [attempt(p) for p in self.probes]
        return "font.ttf"


def test_drawing_constructor_shares_its_inputs_until_copied():
    s = q.Score.from_str(TIMING_SUS)
    l = q.Lyric.load("0: a\n")
    seq = ProbingSequence(lambda: s.set_meta(title="x"), lambda: s.title(), lambda: l.word_count(),
                          lambda: s.get_time(0))
    q.Drawing(score=s, lyric=l, font_paths=seq)
    assert seq.seen == [BORROWED, "ok", "ok", BORROWED]
    s.set_meta(title="free")
    cb = Callback(lambda: s.set_meta(title="y"))
    q.Drawing(score=s, music_meta={"fever_score": cb})
    assert cb.seen == [BORROWED]
    assert s.title() == "free"


def test_shared_access_allows_nested_readers():
    s = q.Score.from_str(TIMING_SUS)
    r = q.Rebase.load({"events": [{"bar": 0, "bpm": 60}]})
    outer = Callback(lambda: r.apply(q.Score.from_str(TIMING_SUS)))
    # The Rebase is only shared: applying it again from inside a callback works.
    s.get_time(outer)
    assert outer.seen == ["ok"]


class Reentrant:
    """A file-like object whose read() calls back into the module, including
    loading from itself once."""

    def __init__(self, text):
        self.text = text
        self.depth = 0
        self.inner = None

    def read(self):
        self.depth += 1
        if self.depth == 1:
            self.inner = q.Score.load(self)
        return self.text


def test_file_like_callbacks_reenter_freely():
    f = Reentrant(TIMING_SUS)
    s = q.Score.load(f)
    assert s.title() == f.inner.title() == "Fixture"
    f = Reentrant("0: a/b\n")
    assert q.Lyric.load(f).word_count() == 2
    assert f.inner is not None


class CallingDict(dict):
    """json.dumps reads a dict subclass through items(), which calls back here."""

    calls = 0

    def items(self):
        CallingDict.calls += 1
        q.Score.from_dict(dict(CHART_DICT))
        q.Rebase.load({"offset": 1})
        return super().items()


def test_dumps_callbacks_reenter_freely():
    CallingDict.calls = 0
    s = q.Score.from_dict(CallingDict(CHART_DICT))
    assert s.title() == "Json"
    q.Rebase.from_dict(CallingDict({"offset": 2}))
    q.Rebase.load(CallingDict({"offset": 2}))
    assert CallingDict.calls >= 3


def test_dumps_callback_cannot_touch_a_held_score():
    s = q.Score.from_str(TIMING_SUS)
    seen = []

    class Probe(dict):
        def items(self):
            seen.append(attempt(lambda: s.set_meta(title="z")))
            return super().items()

    # The Score is held while its time argument converts; the conversion loads a
    # rebase from a dict whose serialisation calls back into the held Score.
    cb = Callback(lambda: q.Rebase.load(Probe(offset=1)))
    s.get_time(cb)
    assert cb.seen == ["ok"]
    assert seen == [BORROWED]
    assert s.title() == "Fixture"


def test_threads_share_one_score_and_one_drawing():
    import sys
    import threading

    s = q.Score.from_str(TIMING_SUS)
    d = q.Drawing(score=s)
    expected_svg = d.svg()
    gil = getattr(sys, "_is_gil_enabled", lambda: True)()
    failures = []

    def work():
        for _ in range(50):
            try:
                assert s.title() == "Fixture"
                assert fraction_value(s.get_time(3)) == (10, 1)
                assert len(s.events()) == s.event_count()
                assert d.svg() == expected_svg
            except RuntimeError as e:
                # Without the interpreter lock, conflicting calls are refused, never waited for.
                if gil or str(e) not in (BORROWED, MUT_BORROWED):
                    failures.append(e)
            except Exception as e:  # pragma: no cover - reported below
                failures.append(e)

    threads = [threading.Thread(target=work) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []
    assert d.svg() == expected_svg
    s.set_meta(title="after")
    assert s.title() == "after"


def test_drawing_held_while_its_lists_and_numbers_convert():
    s = q.Score.from_str(TIMING_SUS)
    l = q.Lyric.load("0: a\n")
    d = q.Drawing(score=s, lyric=l)
    paths = ProbingSequence(lambda: d.svg(), lambda: d.add_font_path("x"), lambda: d.note_size,
                            lambda: s.set_meta(title="q"))
    d.set_font_paths(paths)
    assert paths.seen == [BORROWED, BORROWED, MUT_BORROWED, "ok"]
    dirs = ProbingSequence(lambda: d.svg(), lambda: d.set_font_dirs([]))
    d.set_font_dirs(dirs)
    assert dirs.seen == [BORROWED, BORROWED]
    height = Callback(lambda: d.svg(), lambda: d.time_height, value=100)
    d.time_height = height
    assert height.seen == ["ok", "ok"] and d.time_height == 100.0
    seconds = Callback(lambda: s.set_meta(title="z"), lambda: s.title(), lambda: l.word_count())
    q.Drawing(score=s, lyric=l, target_segment_seconds=seconds)
    assert seconds.seen == [BORROWED, "ok", "ok"]
    quality = Callback(lambda: l.word_count(), lambda: q.Drawing(lyric=l), lambda: d.svg(lyric=l), value=50)
    with pytest.raises(RuntimeError, match="^PNG/JPEG output requires"):
        d.jpeg(score=s, lyric=l, jpeg_quality=quality)
    assert quality.seen == ["ok", "ok", BORROWED]
    # Nothing was left half-changed.
    assert s.title() == "q"
    assert d.svg() == d.svg() and d.time_height == 100.0
    assert ">q - " in d.svg(s, l)


def test_rebase_file_like_and_function_callbacks_reenter_freely(tmp_path):
    class RebaseFile:
        depth = 0
        inner = None

        def read(self):
            self.depth += 1
            if self.depth == 1:
                self.inner = q.Rebase.load(self)
            return '{"offset": 1}'

    f = RebaseFile()
    q.Rebase.load(f).apply(q.Score.from_str(TIMING_SUS))
    assert f.inner is not None
    path = tmp_path / "c.sus"
    path.write_text(TIMING_SUS, encoding="utf-8")
    quality = Callback(lambda: q.sus_to_svg(str(path)), lambda: q.Score.open(str(path)).get_time(1), value=80)
    fever = Callback(lambda: q.score_to_svg(str(path), music_meta={"fever_score": 0.1}), value=0)
    with pytest.raises(RuntimeError, match="^PNG/JPEG output requires"):
        q.sus_to_jpg(str(path), jpeg_quality=quality, music_meta={"fever_score": fever})
    assert quality.seen == ["ok", "ok"] and fever.seen == ["ok"]

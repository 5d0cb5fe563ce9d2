"""Module shape, class rules, documentation texts, binding messages and the
exception kinds every entry point shares."""
import io

import pytest

import quorvel_scores_rs as q
from chart_fixtures import TIMING_SUS

NAMES = ["Fraction", "Meta", "Event", "Score", "Lyric", "Rebase", "Drawing",
         "sus_to_svg", "sus_to_png", "sus_to_jpg", "sus_to_jpeg",
         "score_to_svg", "score_to_png", "score_to_jpg", "score_to_jpeg"]
CLASSES = NAMES[:7]


def score():
    return q.Score.from_str(TIMING_SUS)


def test_all_and_dir():
    assert q.__all__ == NAMES
    public = [n for n in dir(q) if not (n.startswith("__") and n.endswith("__"))]
    assert sorted(public) == sorted(NAMES)
    assert q.__doc__ == ""
    assert not hasattr(q, "InternalError")


def test_functions_are_bound_to_the_module():
    for name in NAMES[7:]:
        f = getattr(q, name)
        assert f.__module__ == "quorvel_scores_rs"
        assert f.__name__ == name


@pytest.mark.parametrize("name", CLASSES)
def test_class_rules(name):
    cls = getattr(q, name)
    assert cls.__module__ == "builtins"
    assert repr(cls) == "<class 'builtins.%s'>" % name
    assert cls.__bases__ == (object,)
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    with pytest.raises(TypeError):
        cls.extra = 1


@pytest.mark.parametrize("name", ["Meta", "Event", "Score", "Lyric", "Rebase"])
def test_no_constructor(name):
    cls = getattr(q, name)
    with pytest.raises(TypeError, match=r"^cannot create 'builtins\.%s' instances$" % name):
        cls()
    with pytest.raises(TypeError):
        object.__new__(cls)


def test_instances_take_no_new_attributes_and_use_identity():
    instances = [q.Fraction(1, 2), score(), score().meta, score().events()[0],
                 q.Lyric.load("0: a"), q.Rebase.from_json("{}"), q.Drawing()]
    for obj in instances:
        with pytest.raises(AttributeError):
            obj.extra = 1
        assert not hasattr(obj, "__dict__")
        assert obj == obj
        assert hash(obj) == hash(obj)
    a, b = q.Fraction(1, 2), q.Fraction(1, 2)
    assert a != b


def test_no_pickling_copying_or_weak_references():
    import copy
    import pickle
    import weakref
    for obj in (q.Fraction(1, 2), score(), q.Drawing()):
        with pytest.raises(TypeError):
            pickle.dumps(obj)
        with pytest.raises(TypeError):
            copy.copy(obj)
        with pytest.raises(TypeError):
            weakref.ref(obj)


def test_documentation_texts():
    assert q.Fraction.__doc__ is None or q.Fraction.__doc__ == ""
    assert q.Fraction.__text_signature__ == "(numerator, denominator=1)"
    assert q.Meta.__doc__ == ""
    assert q.Event.__doc__ == "Lightweight event view exposed to Python"
    assert q.Score.__doc__ == "Python wrapper for Score"
    assert q.Lyric.__doc__ == "Python wrapper for Lyric"
    assert q.Rebase.__doc__ == "Python wrapper for Rebase"
    assert q.Drawing.__doc__ == "Python wrapper for Drawing"
    assert q.Drawing.__text_signature__.startswith("(score=None, lyric=None, style_sheet=None")
    assert q.Score.open.__doc__ == "Open and parse a score file (.sus or Quorvel custom chart JSON)"
    assert q.Score.open.__text_signature__ == "(path)"
    assert q.Score.get_time.__text_signature__ == "($self, bar)"
    assert q.Score.set_meta.__text_signature__ == (
        "($self, title=None, artist=None, difficulty=None, playlevel=None, jacket=None, songid=None, subtitle=None)")
    assert q.Score.note_count.__doc__ == "Get the number of active notes"
    assert q.Lyric.word_count.__text_signature__ == "($self)"
    assert q.Rebase.from_dict.__doc__ == "Load from a Python dict (serialised to JSON internally)"
    assert q.Drawing.jpg.__text_signature__ == "($self, score=None, lyric=None, jpeg_quality=90)"
    assert q.sus_to_svg.__doc__ == "Convenience function: parse a score file and generate SVG in one call"
    assert q.score_to_jpeg.__text_signature__.startswith("(score_path, note_host=None,")
    assert q.score_to_jpeg.__text_signature__.endswith("font_dirs=None, jpeg_quality=90)")
    assert q.sus_to_png.__doc__.endswith("generate PNG bytes in one call")


@pytest.mark.parametrize("call, message", [
    (lambda: q.Score.open(), "Score.open() missing 1 required positional argument: 'path'"),
    (lambda: score().get_time_delta(), "Score.get_time_delta() missing 2 required positional arguments: "
                                       "'bar_from' and 'bar_to'"),
    (lambda: q.Score.open("a", "b"), "Score.open() takes 1 positional arguments but 2 were given"),
    (lambda: q.Fraction(1, 2, 3), "Fraction.__new__() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda: q.Drawing().svg(1, 2, 3), "Drawing.svg() takes from 0 to 2 positional arguments but 3 were given"),
    (lambda: q.Score.open(pathx="a"), "Score.open() got an unexpected keyword argument 'pathx'"),
    (lambda: q.Fraction(1, numerator=2), "Fraction.__new__() got multiple values for argument 'numerator'"),
    (lambda: q.sus_to_svg(score_path="x"), "sus_to_svg() got an unexpected keyword argument 'score_path'"),
    (lambda: q.Rebase.from_json("{}")(), "Rebase.__call__() missing 1 required positional argument: 'score'"),
    (lambda: q.Rebase.from_json("{}")(score=1, other=2), "Rebase.__call__() got an unexpected keyword argument 'other'"),
])
def test_binding_messages(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message
    assert not getattr(info.value, "__notes__", None)


def test_missing_first_parameter_of_a_function():
    with pytest.raises(TypeError) as info:
        q.sus_to_svg()
    assert str(info.value) == "sus_to_svg() missing 1 required positional argument: 'sus_path'"


def test_no_argument_methods_are_refused_by_the_interpreter():
    with pytest.raises(TypeError):
        score().note_count(1)
    with pytest.raises(TypeError):
        q.Lyric.load("").word_count(x=1)


def test_internal_error_is_a_base_exception():
    with pytest.raises(BaseException) as info:
        q.Fraction(1, 0)
    err = info.value
    assert not isinstance(err, Exception)
    assert type(err).__name__ == "InternalError"
    assert type(err).__bases__ == (BaseException,)
    assert err.args == ("denominator == 0",)
    # The same class every time.
    with pytest.raises(BaseException) as again:
        q.Score.from_str("#BPM01: 120/0\n")
    assert type(again.value) is type(err)
    assert again.value.args == ("denominator == 0",)


def test_internal_error_leaves_the_object_usable():
    s = score()
    with pytest.raises(BaseException) as info:
        s.get_time("1/0")
    assert type(info.value).__name__ == "InternalError"
    assert str(s.get_time(1)) == "4."


def test_text_arguments_with_lone_surrogates_raise_the_encoding_error():
    with pytest.raises(UnicodeEncodeError) as info:
        q.Score.from_str("\ud800")
    assert info.value.__notes__ == ["while processing 'content'"]
    with pytest.raises(UnicodeEncodeError):
        q.Lyric.load(io.StringIO("\udfff"))


def test_subinterpreters_are_refused():
    # The type objects belong to the process, so a second interpreter must not load
    # the module and share them.
    import importlib
    for name in ("_interpreters", "_xxsubinterpreters"):
        try:
            interp = importlib.import_module(name)
            break
        except ImportError:
            continue
    else:
        pytest.skip("no subinterpreter support module")
    iid = interp.create()
    try:
        if hasattr(interp, "exec"):
            result = interp.exec(iid, "import quorvel_scores_rs")
            assert result is not None and "ImportError" in result.formatted
        else:
            with pytest.raises(Exception, match="ImportError"):
                interp.run_string(iid, "import quorvel_scores_rs")
    finally:
        interp.destroy(iid)

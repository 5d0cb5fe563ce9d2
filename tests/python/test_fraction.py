"""Fraction objects and the Fraction-compatible argument conversion."""
import pytest

import quorvel_scores_rs as q
from chart_fixtures import TIMING_SUS, fraction_value

F = q.Fraction


@pytest.mark.parametrize("args, value, text", [
    ((6, -4), (-3, 2), "-1.+-1/2"),
    ((4,), (4, 1), "4."),
    ((0, 7), (0, 1), "0."),
    ((7, 2), (7, 2), "3.+1/2"),
    ((1, 2), (1, 2), "1/2"),
    ((True, 2), (1, 2), "1/2"),
])
def test_construction_and_text(args, value, text):
    f = F(*args)
    assert fraction_value(f) == value
    assert str(f) == text
    assert repr(f) == text


def test_keywords_and_float():
    assert fraction_value(F(numerator=3, denominator=9)) == (1, 3)
    assert float(F(1, 3)) == 0.3333333333333333
    assert float(F(-7, 2)) == -3.5


def test_construction_failures():
    with pytest.raises(BaseException) as info:
        F(1, 0)
    assert type(info.value).__name__ == "InternalError"
    assert str(info.value) == "denominator == 0"
    with pytest.raises(TypeError) as info:
        F(1.5)
    assert info.value.__notes__ == ["while processing 'numerator'"]
    with pytest.raises(TypeError) as info:
        F(1, None)
    assert info.value.__notes__ == ["while processing 'denominator'"]
    with pytest.raises(OverflowError) as info:
        F(2 ** 64)
    assert info.value.__notes__ == ["while processing 'numerator'"]


def test_limit_denominator():
    f = F(314159, 100000)
    assert fraction_value(f.limit_denominator(1000)) == (355, 113)
    assert fraction_value(F(1, 3).limit_denominator(None)) == (1, 3)
    assert fraction_value(F(1, 3000001).limit_denominator(None)) == (0, 1)
    same = F(1, 2)
    assert same.limit_denominator(10) is not same
    assert fraction_value(f.limit_denominator(max_denominator=1)) == (3, 1)
    with pytest.raises(TypeError) as info:
        f.limit_denominator()
    assert str(info.value) == "Fraction.limit_denominator() missing 1 required positional argument: 'max_denominator'"
    with pytest.raises(TypeError) as info:
        f.limit_denominator("10")
    assert info.value.__notes__ == ["while processing 'max_denominator'"]


def test_properties_are_read_only():
    f = F(1, 2)
    with pytest.raises(AttributeError):
        f.numerator = 3
    assert fraction_value(f) == (1, 2)


def test_no_arithmetic_or_ordering():
    with pytest.raises(TypeError):
        F(1, 2) + F(1, 2)
    with pytest.raises(TypeError):
        F(1, 2) < F(1, 3)


class Indexable:
    def __index__(self):
        return 3


class Floaty:
    def __float__(self):
        return 0.25


class BadIndex:
    def __index__(self):
        raise ValueError("nope")

    def __float__(self):
        return 0.5


# Fraction-compatible values, checked through Score.get_time on a chart with a
# constant 60 BPM in 4/4 until bar 2: time = 4 s per bar.
@pytest.mark.parametrize("bar, seconds", [
    (F(3, 4), (3, 1)),
    (1, (4, 1)),
    (True, (4, 1)),
    (0.5, (2, 1)),
    ("3/4", (3, 1)),
    (" 6 / 8 ", (3, 1)),
    ("1.5", (6, 1)),
    (Indexable(), (10, 1)),
    (Floaty(), (1, 1)),
    (BadIndex(), (2, 1)),
])
def test_fraction_compatible_values(bar, seconds):
    s = q.Score.from_str(TIMING_SUS)
    assert fraction_value(s.get_time(bar)) == seconds


def test_huge_integer_goes_through_float():
    # Too large for 64 bits: accepted through the float step, not refused.
    s = q.Score.from_str("")
    assert fraction_value(s.get_time_delta(2 ** 70, 2 ** 70)) == (0, 1)


@pytest.mark.parametrize("bad", ["abc", None, [1], object(), "1/"])
def test_fraction_incompatible_values(bad):
    s = q.Score.from_str(TIMING_SUS)
    with pytest.raises(TypeError) as info:
        s.get_time(bad)
    assert str(info.value) == "expected a Fraction-compatible value"
    assert not getattr(info.value, "__notes__", None)


def test_zero_quotient_text_is_an_internal_error():
    s = q.Score.from_str(TIMING_SUS)
    with pytest.raises(BaseException) as info:
        s.get_time("1/0")
    assert type(info.value).__name__ == "InternalError"
    assert info.value.args == ("denominator == 0",)

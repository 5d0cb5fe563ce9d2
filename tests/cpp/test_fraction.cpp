#include "fraction/fraction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/check.h"

namespace {

using qs::Fraction;
using I = std::int64_t;
constexpr I MAX = std::numeric_limits<I>::max();
constexpr I MIN = std::numeric_limits<I>::min();

Fraction raw(I n, I d) { return Fraction::raw(n, d); }

void expect_normalised(const Fraction& f) {
    EXPECT_GT(f.denominator, 0);
    if (f.numerator == 0) {
        EXPECT_EQ(f.denominator, 1);
    }
}

// Expects a CheckFailure carrying exactly this message.
template <class F>
void expect_check_failure(F&& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "expected CheckFailure(\"" << message << "\")";
    } catch (const qs::CheckFailure& e) {
        EXPECT_EQ(e.what(), message);
    }
}

// Exact sign of a/b - c/d for positive denominators, as the reference.
int reference_compare(const Fraction& x, const Fraction& y) {
    __int128 l = static_cast<__int128>(x.numerator) * y.denominator;
    __int128 r = static_cast<__int128>(y.numerator) * x.denominator;
    return (l > r) - (l < r);
}

TEST(Fraction, ConstructorNormalises) {
    struct Case {
        I n, d, want_n, want_d;
    } cases[] = {
        {6, -4, -3, 2},
        {0, -5, 0, 1},
        {-5, -5, 1, 1},
        {10, 5, 2, 1},
        {MIN, MIN, 1, 1},
        {MIN, -2, I{1} << 62, 1},
        {MIN, 6, MIN / 2, 3},
        {4, MIN, -1, I{1} << 61},
        {MAX, MAX - 1, MAX, MAX - 1},
        {-MAX, MAX, -1, 1},
        {0, MIN, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.n) + "/" + std::to_string(c.d));
        EXPECT_EQ(Fraction(c.n, c.d), raw(c.want_n, c.want_d));
    }
}

TEST(Fraction, ZeroDenominatorFails) {
    expect_check_failure([] { Fraction(1, 0); }, "denominator == 0");
    expect_check_failure([] { Fraction(0, 0); }, "denominator == 0");
    expect_check_failure([] { (void)qs::parse("1/0"); }, "denominator == 0");
    expect_check_failure([] { (void)qs::parse(" -3 / -0 "); }, "denominator == 0");
    expect_check_failure([] { (void)(Fraction(1, 2) / Fraction()); }, "denominator == 0");
    expect_check_failure([] { (void)(Fraction() / Fraction()); }, "denominator == 0");
}

TEST(Fraction, DenominatorTwoToThe63IsRefused) {
    // -1/2^63 has no form with a positive 64-bit denominator.
    EXPECT_THROW(Fraction(1, MIN), qs::CheckFailure);
    EXPECT_THROW(Fraction(MAX, MIN), qs::CheckFailure);
    EXPECT_THROW((void)(Fraction(1, I{1} << 62) * Fraction(1, 2)), qs::CheckFailure);
}

TEST(Fraction, FromFloat) {
    struct Case {
        double x;
        I n, d;
    } cases[] = {
        {0.5, 1, 2},
        {0.1, 1, 10},
        {120.5, 241, 2},
        {1.0 / 3.0, 1, 3},
        {3.14159, 314159, 100000},
        {123456.789, 123456789, 1000},
        {-0.75, -3, 4},
        {-0.0, 0, 1},
        {2.5e-20, 0, 1},
        {1e20, MAX, 1},
        {-1e20, MIN, 1},
        {std::numeric_limits<double>::infinity(), MAX, 1},
        {-std::numeric_limits<double>::infinity(), MIN, 1},
        {std::numeric_limits<double>::quiet_NaN(), 0, 1},
        {9223372036854775808.0, MAX, 1},
        {-9223372036854775808.0, MIN, 1},
        {4611686018427387904.0, I{1} << 62, 1},
        {std::numeric_limits<double>::denorm_min(), 0, 1},
        {7.0, 7, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        Fraction f = qs::from_float(c.x);
        EXPECT_EQ(f, raw(c.n, c.d));
        expect_normalised(f);
    }
}

TEST(Fraction, Parse) {
    struct Case {
        const char* text;
        bool ok;
        I n, d;
    } cases[] = {
        {" 3/4 ", true, 3, 4},
        {"6 / 8", true, 3, 4},
        {"+2", true, 2, 1},
        {"-2/-4", true, 1, 2},
        {"1.5", true, 3, 2},
        {"1e2", true, 100, 1},
        {"1.", true, 1, 1},
        {".5", true, 1, 2},
        {"-.25e1", true, -5, 2},
        {"\xE3\x80\x80" "7\xC2\xA0", true, 7, 1},  // U+3000 and U+00A0 are trimmed
        {"99999999999999999999", true, MAX, 1},    // not an int64: read as the float 1e20
        {"-9223372036854775808", true, MIN, 1},
        {"9223372036854775807/-1", true, -MAX, 1},
        {"-9223372036854775808/-9223372036854775808", true, 1, 1},
        {"inf", true, MAX, 1},
        {"NaN", true, 0, 1},
        {"", false, 0, 0},
        {"   ", false, 0, 0},
        {"+", false, 0, 0},
        {".", false, 0, 0},
        {"3/", false, 0, 0},
        {"/3", false, 0, 0},
        {"1/2/3", false, 0, 0},
        {"1.5/2", false, 0, 0},
        {"abc", false, 0, 0},
        {"++1", false, 0, 0},
        {"1 2", false, 0, 0},
        {"0x10", false, 0, 0},
        {"1/99999999999999999999", false, 0, 0},
        {"\xD9\xA1", false, 0, 0},  // Arabic-Indic one is a digit, but not an ASCII one
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto f = qs::parse(c.text);
        ASSERT_EQ(f.has_value(), c.ok);
        if (c.ok) {
            EXPECT_EQ(*f, raw(c.n, c.d));
        }
    }
}

TEST(Fraction, ParseIntegers) {
    struct Case {
        const char* text;
        bool ok;
        I value;
    } cases[] = {
        {"0", true, 0},
        {"-0", true, 0},
        {"+17", true, 17},
        {"007", true, 7},
        {"9223372036854775807", true, MAX},
        {"-9223372036854775808", true, MIN},
        {"9223372036854775808", false, 0},
        {"-9223372036854775809", false, 0},
        {"18446744073709551616", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"+-1", false, 0},
        {" 1", false, 0},
        {"1 ", false, 0},
        {"1.0", false, 0},
        {"1e3", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto v = qs::parse_int64(c.text);
        ASSERT_EQ(v.has_value(), c.ok);
        if (c.ok) {
            EXPECT_EQ(*v, c.value);
        }
    }
    EXPECT_EQ(qs::parse_int32("2147483647"), std::optional<std::int32_t>(2147483647));
    EXPECT_EQ(qs::parse_int32("-2147483648"), std::optional<std::int32_t>(-2147483647 - 1));
    EXPECT_FALSE(qs::parse_int32("2147483648"));
    EXPECT_FALSE(qs::parse_int32("-2147483649"));
    EXPECT_FALSE(qs::parse_int32("x"));
}

TEST(Fraction, ParseFloatLiteral) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* text;
        bool ok;
        double value;
    } cases[] = {
        {"1.5", true, 1.5},
        {"+1.5e+3", true, 1500.0},
        {"1.", true, 1.0},
        {".5", true, 0.5},
        {"-.5E-1", true, -0.05},
        {"0.1", true, 0.1},
        {"2.2250738585072011e-308", true, 2.2250738585072011e-308},
        {"4.9e-324", true, std::numeric_limits<double>::denorm_min()},
        {"1e400", true, inf},
        {"-1e400", true, -inf},
        {"0.000001e-400", true, 0.0},
        {"123456789012345678901234567890e-400", true, 0.0},
        {"0.00000000000000000000000001e330", true, 1e304},
        {"inf", true, inf},
        {"-INF", true, -inf},
        {"+Infinity", true, inf},
        {"", false, 0},
        {".", false, 0},
        {"-.", false, 0},
        {"e5", false, 0},
        {"1e", false, 0},
        {"1e+", false, 0},
        {"1.5.", false, 0},
        {"1..5", false, 0},
        {"infinit", false, 0},
        {"infx", false, 0},
        {"--1", false, 0},
        {" 1", false, 0},
        {"1 ", false, 0},
        {"0x1p3", false, 0},
        {"1_000", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto v = qs::parse_float_literal(c.text);
        ASSERT_EQ(v.has_value(), c.ok);
        if (c.ok) {
            EXPECT_EQ(*v, c.value);
        }
    }
    auto nan = qs::parse_float_literal("-nAn");
    ASSERT_TRUE(nan);
    EXPECT_TRUE(std::isnan(*nan));
    auto negative_zero = qs::parse_float_literal("-0.0");
    ASSERT_TRUE(negative_zero);
    EXPECT_TRUE(std::signbit(*negative_zero));
}

TEST(Fraction, ToText) {
    struct Case {
        Fraction f;
        const char* text;
    } cases[] = {
        {raw(4, 1), "4."},
        {raw(0, 1), "0."},
        {raw(-1, 1), "-1."},
        {raw(7, 2), "3.+1/2"},
        {raw(5, 3), "1.+2/3"},
        {raw(-7, 2), "-3.+-1/2"},
        {raw(1, 2), "1/2"},
        {raw(-1, 2), "-1/2"},
        {raw(MIN, 1), "-9223372036854775808."},
        {Fraction(MIN, 3), "-3074457345618258602.+-2/3"},
        {raw(1, MAX), "1/9223372036854775807"},
    };
    for (const auto& c : cases) EXPECT_EQ(qs::to_text(c.f), c.text);
}

TEST(Fraction, Floor) {
    struct Case {
        Fraction f;
        I want;
    } cases[] = {
        {raw(7, 2), 3},   {raw(-7, 2), -4},   {raw(-4, 1), -4},         {raw(0, 1), 0},
        {raw(-1, 3), -1}, {raw(MIN, 1), MIN}, {Fraction(MIN, 3), MIN / 3 - 1}, {raw(MAX, 2), MAX / 2},
        {raw(MIN + 1, MAX), -1},
    };
    for (const auto& c : cases) EXPECT_EQ(qs::floor(c.f), c.want) << qs::to_text(c.f);
}

TEST(Fraction, Arithmetic) {
    struct Case {
        Fraction a, b, sum, difference, product, quotient;
    } cases[] = {
        {raw(1, 6), raw(1, 3), raw(1, 2), raw(-1, 6), raw(1, 18), raw(1, 2)},
        {raw(1, 2), raw(1, 2), raw(1, 1), raw(0, 1), raw(1, 4), raw(1, 1)},
        {raw(3, 1), raw(-5, 1), raw(-2, 1), raw(8, 1), raw(-15, 1), raw(-3, 5)},
        {raw(-3, 4), raw(5, 6), raw(1, 12), raw(-19, 12), raw(-5, 8), raw(-9, 10)},
        {raw(0, 1), raw(7, 3), raw(7, 3), raw(-7, 3), raw(0, 1), raw(0, 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(qs::to_text(c.a) + " and " + qs::to_text(c.b));
        EXPECT_EQ(c.a + c.b, c.sum);
        EXPECT_EQ(c.a - c.b, c.difference);
        EXPECT_EQ(c.a * c.b, c.product);
        EXPECT_EQ(c.a / c.b, c.quotient);
        EXPECT_EQ(-(c.a - c.b), c.b - c.a);
    }
    // Large components whose cross products would overflow; the gcd steps avoid it.
    EXPECT_EQ(raw(MAX, 2) * raw(2, MAX), raw(1, 1));
    EXPECT_EQ(raw(MAX, 3) / raw(MAX, 5), raw(5, 3));
    EXPECT_EQ(raw(MAX - 1, MAX) - raw(MAX - 2, MAX), raw(1, MAX));
    EXPECT_EQ(raw(1, MAX) + raw(1, MAX), raw(2, MAX));
    EXPECT_EQ(raw(1, I{1} << 40) + raw(1, I{1} << 41), raw(3, I{1} << 41));
}

TEST(Fraction, WrapAroundAndMinimumValueStayDefined) {
    // Overflowing components wrap (two's complement); nothing traps. Results
    // that are still representable must stay normalised.
    const Fraction min = raw(MIN, 1), max = raw(MAX, 1), minus_one = raw(-1, 1);
    EXPECT_EQ(max + raw(1, 1), min);
    EXPECT_EQ(min - raw(1, 1), max);
    EXPECT_EQ(-min, min);
    EXPECT_EQ(min * minus_one, min);
    EXPECT_EQ(min / minus_one, min);
    EXPECT_EQ(min / min, raw(1, 1));
    EXPECT_EQ(min * raw(1, 2), raw(MIN / 2, 1));
    EXPECT_EQ(Fraction(MIN, 3) / Fraction(MIN, 3), raw(1, 1));
    EXPECT_EQ(qs::compare(min, max), -1);
    EXPECT_EQ(qs::compare(Fraction(MIN, 3), Fraction(MIN + 1, 3)), -1);
    EXPECT_EQ(qs::compare(raw(MIN, MAX), raw(-1, 1)), -1);

    const Fraction extremes[] = {min, max, minus_one, raw(0, 1), raw(1, MAX), raw(-1, MAX), Fraction(MIN, 3),
                                 raw(MAX, MAX - 1), raw(MAX - 1, MAX), raw(MIN + 1, 2), raw(3, I{1} << 62)};
    for (const auto& a : extremes) {
        expect_normalised(-a);
        (void)qs::floor(a);
        (void)qs::to_text(a);
        (void)qs::to_float(a);
        expect_normalised(qs::from_float(qs::to_float(a)));
        for (const auto& b : extremes) {
            // A wrapped denominator of 0 or 2^63 is refused; anything else is normalised.
            auto run = [](auto op) {
                try {
                    expect_normalised(op());
                } catch (const qs::CheckFailure& e) {
                    const std::string what = e.what();
                    EXPECT_TRUE(what == "denominator out of range" || what == "denominator == 0") << what;
                }
            };
            run([&] { return a + b; });
            run([&] { return a - b; });
            run([&] { return a * b; });
            if (b.numerator != 0) run([&] { return a / b; });
            EXPECT_EQ(qs::compare(a, b), reference_compare(a, b));
            expect_normalised(qs::limit_denominator(a, b.numerator));
        }
    }
}

TEST(Fraction, CompareIsExact) {
    // 9223372036854775806/2 normalises to 4611686018427387903/1.
    EXPECT_GT(Fraction(MAX, 2), Fraction(MAX - 1, 2));
    EXPECT_GT(raw(MAX - 1, MAX), raw(MAX - 2, MAX - 1));
    EXPECT_GT(raw(MAX - 1, MAX - 2), raw(MAX, MAX - 1));
    EXPECT_EQ(qs::compare(raw(2, 3), raw(2, 3)), 0);
    EXPECT_EQ(qs::compare(raw(-2, 3), raw(-2, 5)), -1);
    EXPECT_EQ(qs::compare(raw(2, 3), raw(2, 5)), 1);
    EXPECT_EQ(qs::compare(raw(-1, 2), raw(1, 2)), -1);

    // Against a 128-bit reference over values near the limits and small ones.
    std::mt19937_64 rng(12345);
    auto pick = [&](bool huge) -> I {
        I v = static_cast<I>(rng() >> (huge ? 1 : 52));
        return (rng() & 1) ? -v : v;
    };
    for (int i = 0; i < 20000; ++i) {
        const bool huge = i % 2;
        I da = pick(huge), db = pick(huge);
        da = da == 0 ? 1 : (da < 0 ? -da : da);
        db = db == 0 ? 1 : (db < 0 ? -db : db);
        if (i % 5 == 0) db = da;
        Fraction a(pick(huge), da), b(pick(huge), db);
        if (i % 7 == 0) b = Fraction(a.numerator, db);
        ASSERT_EQ(qs::compare(a, b), reference_compare(a, b)) << qs::to_text(a) << " vs " << qs::to_text(b);
    }
}

TEST(Fraction, ArithmeticMatchesReferenceWhenInRange) {
    std::mt19937_64 rng(777);
    for (int i = 0; i < 20000; ++i) {
        auto small = [&] { return static_cast<I>(rng() % 2000001) - 1000000; };
        I d1 = static_cast<I>(rng() % 100000) + 1, d2 = static_cast<I>(rng() % 100000) + 1;
        Fraction a(small(), d1), b(small(), d2);
        auto check = [&](const Fraction& got, __int128 n, __int128 d) {
            // got == n/d exactly, and got is normalised.
            expect_normalised(got);
            ASSERT_EQ(static_cast<__int128>(got.numerator) * d, n * got.denominator);
        };
        const __int128 an = a.numerator, ad = a.denominator, bn = b.numerator, bd = b.denominator;
        check(a + b, an * bd + bn * ad, ad * bd);
        check(a - b, an * bd - bn * ad, ad * bd);
        check(a * b, an * bn, ad * bd);
        if (bn != 0) check(a / b, an * bd, ad * bn);
    }
}

TEST(Fraction, LimitDenominator) {
    struct Case {
        Fraction f;
        I bound;
        Fraction want;
    } cases[] = {
        {raw(314159, 100000), 1000, raw(355, 113)},
        {raw(314159, 100000), 100, raw(311, 99)},
        {raw(1, 3), 1, raw(0, 1)},
        {raw(2, 3), 1, raw(1, 1)},
        {raw(7, 2), 1, raw(3, 1)},  // tie goes to the convergent
        {raw(3, 7), 7, raw(3, 7)},
        {raw(MIN, 1), 5, raw(MIN, 1)},
        {raw(MAX - 1, MAX), MAX, raw(MAX - 1, MAX)},
        {raw(MAX - 1, MAX), MAX - 1, raw(1, 1)},
        {raw(1, MAX), 1000000, raw(0, 1)},
        // Bounds below 1 admit no denominator; they act as 1.
        {raw(1, 3), 0, raw(0, 1)},
        {raw(2, 3), -5, raw(1, 1)},
        {raw(-2, 3), MIN, raw(-1, 1)},
        // Negative values mirror positive ones, never keeping an over-bound denominator.
        {raw(-7, 3), 2, raw(-5, 2)},
        {raw(-314159, 100000), 1000, raw(-355, 113)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(qs::to_text(c.f) + " bound " + std::to_string(c.bound));
        EXPECT_EQ(qs::limit_denominator(c.f, c.bound), c.want);
    }
    EXPECT_LE(qs::limit_denominator(Fraction(MIN, 3), 2).denominator, 2);
    EXPECT_LE(qs::limit_denominator(Fraction(MIN + 1, MAX - 1), 1000).denominator, 1000);
}

TEST(Fraction, LimitDenominatorFindsTheNearest) {
    // Brute force over small values: the result is as near as any fraction
    // whose denominator is within the bound.
    for (I d = 1; d <= 60; ++d) {
        for (I n = -130; n <= 130; ++n) {
            const Fraction v(n, d);
            for (I bound = 1; bound <= 12; ++bound) {
                const Fraction got = qs::limit_denominator(v, bound);
                ASSERT_LE(got.denominator, bound);
                ASSERT_EQ(qs::limit_denominator(-v, bound), -got);
                // |got - v| <= |p/q - v| for the best p of every q <= bound.
                const Fraction err = got > v ? got - v : v - got;
                for (I q = 1; q <= bound; ++q) {
                    const I p = qs::floor(v * raw(q, 1));
                    for (I pp : {p, p + 1}) {
                        const Fraction c(pp, q);
                        const Fraction e = c > v ? c - v : v - c;
                        ASSERT_LE(err, e) << qs::to_text(v) << " bound " << bound;
                    }
                }
            }
        }
    }
}

TEST(Fraction, HashAgreesWithEquality) {
    std::unordered_set<Fraction, qs::FractionHash> set;
    set.insert(Fraction(2, 4));
    set.insert(Fraction(-3, -6));
    set.insert(qs::from_float(0.5));
    EXPECT_EQ(set.size(), 1u);
}

}  // namespace

// Exact rational numbers over signed 64-bit integers.
//
// Every value that leaves a constructor or an operation is normalised: positive
// denominator, lowest terms, zero stored as 0/1. Sums and products of components
// wrap in two's complement (computed through unsigned arithmetic, never UB); a zero
// denominator throws CheckFailure("denominator == 0"). A denominator of -2^63 with an
// odd numerator has no form with a positive 64-bit denominator and throws
// CheckFailure("denominator out of range").
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace qs {

struct Fraction {
    std::int64_t numerator = 0;
    std::int64_t denominator = 1;

    constexpr Fraction() = default;
    // Normalises; throws CheckFailure("denominator == 0") when d == 0.
    Fraction(std::int64_t n, std::int64_t d);

    // Builds from parts already known to be normalised (no check, no gcd).
    static constexpr Fraction raw(std::int64_t n, std::int64_t d) {
        Fraction f;
        f.numerator = n;
        f.denominator = d;
        return f;
    }

    friend bool operator==(const Fraction&, const Fraction&) = default;
};

// Stein's binary gcd; exact over the whole unsigned range, so |INT64_MIN| works.
inline std::uint64_t gcd_u64(std::uint64_t a, std::uint64_t b) {
    if (a == 0) return b;
    if (b == 0) return a;
    const int shift = std::countr_zero(a | b);
    a >>= std::countr_zero(a);
    do {
        b >>= std::countr_zero(b);
        if (a > b) std::swap(a, b);
        b -= a;
    } while (b != 0);
    return a << shift;
}

Fraction from_integer(std::int64_t n);
Fraction from_float(double x);
// Quotient "a/b", integer, or decimal float literal; nothing when unreadable.
// "a/0" throws CheckFailure.
std::optional<Fraction> parse(std::string_view text);
double to_float(const Fraction& f);
std::string to_text(const Fraction& f);
std::int64_t floor(const Fraction& f);
// Nearest fraction whose denominator is at most the bound (candidates are compared in
// floating point; a tie goes to the convergent). A bound below 1 admits no
// denominator at all, so it is treated as 1 (the nearest integer). Negative values
// give the negation of the result for their magnitude.
Fraction limit_denominator(const Fraction& f, std::int64_t max_denominator);

Fraction operator+(const Fraction& a, const Fraction& b);
Fraction operator-(const Fraction& a, const Fraction& b);
Fraction operator*(const Fraction& a, const Fraction& b);
Fraction operator/(const Fraction& a, const Fraction& b);
Fraction operator-(const Fraction& a);

// The comparison for any pair, positive denominators or not (no products).
int compare_general(const Fraction& a, const Fraction& b);
// Exact three-way comparison: negative, zero or positive. Normalised values compare
// by 128-bit cross products, which cannot overflow and need no division.
inline int compare(const Fraction& a, const Fraction& b) {
    if (a.denominator > 0 && b.denominator > 0) {
        const __int128 l = static_cast<__int128>(a.numerator) * b.denominator;
        const __int128 r = static_cast<__int128>(b.numerator) * a.denominator;
        return (l > r) - (l < r);
    }
    return compare_general(a, b);
}
inline bool operator<(const Fraction& a, const Fraction& b) { return compare(a, b) < 0; }
inline bool operator>(const Fraction& a, const Fraction& b) { return compare(a, b) > 0; }
inline bool operator<=(const Fraction& a, const Fraction& b) { return compare(a, b) <= 0; }
inline bool operator>=(const Fraction& a, const Fraction& b) { return compare(a, b) >= 0; }

struct FractionHash {
    std::size_t operator()(const Fraction& f) const noexcept {
        std::uint64_t h = static_cast<std::uint64_t>(f.numerator) * 0x9E3779B97F4A7C15ull;
        h ^= static_cast<std::uint64_t>(f.denominator) + 0x7F4A7C159E3779B9ull + (h << 6) + (h >> 2);
        return static_cast<std::size_t>(h);
    }
};

// Decimal float literal as the chart formats write it: optional sign, digits with an
// optional point (at least one digit), optional exponent; or inf / infinity / nan in
// any case. The whole text must match; nearest double.
std::optional<double> parse_float_literal(std::string_view text);
// Optional single sign, one or more ASCII digits, no overflow.
std::optional<std::int64_t> parse_int64(std::string_view text);
std::optional<std::int32_t> parse_int32(std::string_view text);

}  // namespace qs

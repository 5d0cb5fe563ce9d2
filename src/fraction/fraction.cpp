#include "fraction/fraction.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

#include "common/check.h"
#include "text/unicode.h"

namespace qs {

namespace {

constexpr std::int64_t INT64_MAX_V = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t INT64_MIN_V = std::numeric_limits<std::int64_t>::min();
constexpr double TWO_POW_63 = 9223372036854775808.0;

// Two's-complement wrap-around without signed overflow.
inline std::int64_t wrap_add(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
inline std::int64_t wrap_sub(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}
inline std::int64_t wrap_mul(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b));
}
inline std::int64_t wrap_neg(std::int64_t a) {
    return static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(a));
}
inline std::uint64_t magnitude(std::int64_t a) {
    return a < 0 ? 0 - static_cast<std::uint64_t>(a) : static_cast<std::uint64_t>(a);
}
// Signed value of a magnitude and a sign, wrapping when it does not fit.
inline std::int64_t with_sign(std::uint64_t mag, bool negative) {
    return static_cast<std::int64_t>(negative ? 0 - mag : mag);
}

// x / g for a g known to divide x (g = 0 means "no divisor": x is returned).
inline std::int64_t div_by_gcd(std::int64_t x, std::uint64_t g) {
    if (g == 0) return x;
    if (g > static_cast<std::uint64_t>(INT64_MAX_V)) {
        // g = 2^63 divides only 0 and INT64_MIN.
        return x == 0 ? 0 : -1;
    }
    return x / static_cast<std::int64_t>(g);
}

// Truncating division that never traps (INT64_MIN / -1 wraps).
inline std::int64_t div_trunc(std::int64_t x, std::int64_t y) {
    if (y == 0) fail_check("denominator == 0");
    if (y == -1) return wrap_neg(x);
    return x / y;
}

// Floor quotient and the matching remainder (sign of y, or zero).
inline void floor_divmod(std::int64_t x, std::int64_t y, std::int64_t& q, std::int64_t& r) {
    if (y == 0) fail_check("denominator == 0");
    if (y == -1) {
        q = wrap_neg(x);
        r = 0;
        return;
    }
    q = x / y;
    r = x % y;
    if (r != 0 && ((r < 0) != (y < 0))) {
        q -= 1;
        r += y;
    }
}

inline int cmp_int(std::int64_t a, std::int64_t b) { return (a > b) - (a < b); }

Fraction normalise(std::int64_t n, std::int64_t d) {
    if (d == 0) fail_check("denominator == 0");
    if (d == 1) return Fraction::raw(n, 1);
    if (n == 0) return Fraction::raw(0, 1);
    if (n == d) return Fraction::raw(1, 1);
    std::uint64_t g = gcd_u64(magnitude(n), magnitude(d));
    // g < 2^63 here: g = 2^63 needs n = d = INT64_MIN, caught by n == d.
    if (g != 1) {
        n /= static_cast<std::int64_t>(g);
        d /= static_cast<std::int64_t>(g);
    }
    if (d < 0) {
        // 2^63 has no positive 64-bit form; anything else flips sign.
        if (d == INT64_MIN_V) fail_check("denominator out of range");
        n = wrap_neg(n);
        d = -d;
    }
    return Fraction::raw(n, d);
}

// Saturating double -> int64 with truncation toward zero; NaN gives 0.
std::int64_t saturate_to_int64(double x) {
    if (std::isnan(x)) return 0;
    if (x >= TWO_POW_63) return INT64_MAX_V;
    if (x <= -TWO_POW_63) return INT64_MIN_V;
    return static_cast<std::int64_t>(x);
}

inline bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

bool equals_ignore_case(std::string_view text, std::string_view lower_word) {
    if (text.size() != lower_word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower_word[i]) return false;
    }
    return true;
}

}  // namespace

Fraction::Fraction(std::int64_t n, std::int64_t d) { *this = normalise(n, d); }

Fraction from_integer(std::int64_t n) { return Fraction::raw(n, 1); }

Fraction from_float(double x) {
    if (std::isnan(x) || std::fabs(x) > TWO_POW_63) return Fraction::raw(saturate_to_int64(x), 1);

    const bool negative = std::signbit(x);
    const double y = std::fabs(x);
    double q = y;
    std::int64_t h_prev = 0, k_prev = 1, h = 1, k = 0;

    for (int step = 0; step < 30; ++step) {
        if (q < -TWO_POW_63 || q >= TWO_POW_63) break;
        const double whole = std::trunc(q);
        const std::int64_t a = static_cast<std::int64_t>(whole);
        const double f = q - whole;
        // All of h, k, h_prev, k_prev and a are non-negative here.
        if (a != 0 && (h > INT64_MAX_V / a || k > INT64_MAX_V / a || a * h > INT64_MAX_V - h_prev ||
                       a * k > INT64_MAX_V - k_prev)) {
            break;
        }
        const std::int64_t h_new = a * h + h_prev;
        const std::int64_t k_new = a * k + k_prev;
        h_prev = h;
        k_prev = k;
        const std::uint64_t g = gcd_u64(static_cast<std::uint64_t>(h_new), static_cast<std::uint64_t>(k_new));
        h = div_by_gcd(h_new, g);
        k = div_by_gcd(k_new, g);
        if (std::fabs(static_cast<double>(h_new) / static_cast<double>(k_new) - y) < 1e-19) break;
        if (f < 1.0842021724855044e-19) break;
        q = 1.0 / f;
    }

    if (k == 0) return Fraction::raw(saturate_to_int64(x), 1);
    Fraction r = normalise(h, k);
    if (negative) r.numerator = wrap_neg(r.numerator);
    return r;
}

std::optional<std::int64_t> parse_int64(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) return std::nullopt;
    const std::uint64_t limit = negative ? static_cast<std::uint64_t>(INT64_MAX_V) + 1
                                         : static_cast<std::uint64_t>(INT64_MAX_V);
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (!is_ascii_digit(c)) return std::nullopt;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (limit - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return with_sign(value, negative);
}

std::optional<std::int32_t> parse_int32(std::string_view text) {
    auto v = parse_int64(text);
    if (!v || *v < std::numeric_limits<std::int32_t>::min() || *v > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*v);
}

std::optional<double> parse_float_literal(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        i = 1;
    }
    const std::string_view body = text.substr(i);
    if (equals_ignore_case(body, "inf") || equals_ignore_case(body, "infinity")) {
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    if (equals_ignore_case(body, "nan")) {
        return std::copysign(std::numeric_limits<double>::quiet_NaN(), negative ? -1.0 : 1.0);
    }

    // Validate the shape ourselves: from_chars is more permissive in places
    // (and stricter about '+').
    const std::size_t start = i;
    std::size_t int_digits = 0, frac_digits = 0;
    while (i < text.size() && is_ascii_digit(text[i])) ++i, ++int_digits;
    const std::size_t int_end = i;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && is_ascii_digit(text[i])) ++i, ++frac_digits;
    }
    if (int_digits + frac_digits == 0) return std::nullopt;
    const std::size_t mantissa_end = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t exp_digits = 0;
        while (i < text.size() && is_ascii_digit(text[i])) ++i, ++exp_digits;
        if (exp_digits == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;

    double value = 0.0;
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Too large rounds to infinity, too small to zero. Decide which from the
        // decimal exponent of the leading significant digit.
        std::int64_t lead = 0;
        bool found = false;
        for (std::size_t p = start; p < int_end; ++p) {
            if (text[p] != '0') {
                lead = static_cast<std::int64_t>(int_end - p) - 1;
                found = true;
                break;
            }
        }
        if (!found) {
            std::int64_t pos = 0;
            for (std::size_t p = int_end + 1; p < mantissa_end; ++p) {
                --pos;
                if (text[p] != '0') {
                    lead = pos;
                    found = true;
                    break;
                }
            }
        }
        std::int64_t exponent = 0;
        if (mantissa_end < text.size()) {
            std::size_t p = mantissa_end + 1;
            bool exp_negative = false;
            if (text[p] == '+' || text[p] == '-') exp_negative = text[p++] == '-';
            for (; p < text.size(); ++p) {
                if (exponent < 1000000000) exponent = exponent * 10 + (text[p] - '0');
            }
            if (exp_negative) exponent = -exponent;
        }
        value = (found && lead + exponent > 0) ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc() || ptr != last) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::optional<Fraction> parse(std::string_view text) {
    text = text::trim(text);
    const std::size_t slash = text.find('/');
    if (slash != std::string_view::npos) {
        auto left = parse_int64(text::trim(text.substr(0, slash)));
        if (!left) return std::nullopt;
        auto right = parse_int64(text::trim(text.substr(slash + 1)));
        if (!right) return std::nullopt;
        return Fraction(*left, *right);
    }
    if (auto n = parse_int64(text)) return Fraction::raw(*n, 1);
    if (auto x = parse_float_literal(text)) return from_float(*x);
    return std::nullopt;
}

double to_float(const Fraction& f) {
    return static_cast<double>(f.numerator) / static_cast<double>(f.denominator);
}

std::string to_text(const Fraction& f) {
    std::string out;
    out.reserve(48);
    auto put_int = [&out](std::int64_t v) {
        char buf[24];  // 20 digits and a sign at most
        out.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
    };

    const std::int64_t i = div_trunc(f.numerator, f.denominator);
    if (f.denominator == 1) {
        put_int(i);
        out += '.';
    } else if (i != 0) {
        put_int(i);
        out += ".+";
        // The remainder keeps the value's sign and is already in lowest terms.
        put_int(wrap_sub(f.numerator, wrap_mul(i, f.denominator)));
        out += '/';
        put_int(f.denominator);
    } else {
        put_int(f.numerator);
        out += '/';
        put_int(f.denominator);
    }
    return out;
}

std::int64_t floor(const Fraction& f) {
    std::int64_t q, r;
    floor_divmod(f.numerator, f.denominator, q, r);
    return q;
}

Fraction limit_denominator(const Fraction& f, std::int64_t max_denominator) {
    const std::int64_t bound = max_denominator < 1 ? 1 : max_denominator;
    if (f.denominator <= bound && f.denominator > 0) return f;

    // Work on the magnitude so a negative value gets the mirror image of the
    // positive one (truncating steps on negatives can stop at an over-bound value).
    const bool negative = f.numerator < 0;
    const std::uint64_t m = static_cast<std::uint64_t>(bound);
    std::uint64_t n = magnitude(f.numerator);
    std::uint64_t d = magnitude(f.denominator);
    if (d == 0) fail_check("denominator == 0");
    const double x = std::fabs(to_float(f));

    std::uint64_t p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    for (;;) {
        const std::uint64_t a = n / d;
        const std::uint64_t q2 = q0 + a * q1;
        if (q2 > m) break;
        const std::uint64_t p2 = p0 + a * p1;
        p0 = p1;
        q0 = q1;
        p1 = p2;
        q1 = q2;
        const std::uint64_t r = n - a * d;
        n = d;
        d = r;
        if (d == 0) break;
    }
    // The first step always succeeds (q2 = 1 <= m), so q1 >= 1.
    const std::uint64_t k = (m - q0) / q1;
    const std::uint64_t c1n = p0 + k * p1, c1d = q0 + k * q1;
    const double e2 = std::fabs(static_cast<double>(p1) / static_cast<double>(q1) - x);
    const double e1 = std::fabs(static_cast<double>(c1n) / static_cast<double>(c1d) - x);
    const bool take_second = e2 <= e1;
    const std::uint64_t rn = take_second ? p1 : c1n;
    const std::uint64_t rd = take_second ? q1 : c1d;
    return normalise(with_sign(rn, negative), static_cast<std::int64_t>(rd));
}

Fraction operator+(const Fraction& a, const Fraction& b) {
    if (a.denominator == b.denominator) return normalise(wrap_add(a.numerator, b.numerator), a.denominator);
    const std::uint64_t g = gcd_u64(magnitude(a.denominator), magnitude(b.denominator));
    const std::int64_t m = with_sign(magnitude(wrap_mul(a.denominator, div_by_gcd(b.denominator, g))), false);
    return normalise(wrap_add(wrap_mul(a.numerator, div_trunc(m, a.denominator)),
                              wrap_mul(b.numerator, div_trunc(m, b.denominator))),
                     m);
}

Fraction operator-(const Fraction& a, const Fraction& b) {
    if (a.denominator == b.denominator) return normalise(wrap_sub(a.numerator, b.numerator), a.denominator);
    const std::uint64_t g = gcd_u64(magnitude(a.denominator), magnitude(b.denominator));
    const std::int64_t m = with_sign(magnitude(wrap_mul(a.denominator, div_by_gcd(b.denominator, g))), false);
    return normalise(wrap_sub(wrap_mul(a.numerator, div_trunc(m, a.denominator)),
                              wrap_mul(b.numerator, div_trunc(m, b.denominator))),
                     m);
}

Fraction operator*(const Fraction& a, const Fraction& b) {
    if (a.denominator == 1 && b.denominator == 1) return Fraction::raw(wrap_mul(a.numerator, b.numerator), 1);
    const std::uint64_t g1 = gcd_u64(magnitude(a.numerator), magnitude(b.denominator));
    const std::uint64_t g2 = gcd_u64(magnitude(a.denominator), magnitude(b.numerator));
    return normalise(wrap_mul(div_by_gcd(a.numerator, g1), div_by_gcd(b.numerator, g2)),
                     wrap_mul(div_by_gcd(a.denominator, g2), div_by_gcd(b.denominator, g1)));
}

Fraction operator/(const Fraction& a, const Fraction& b) {
    if (b.numerator == 0) fail_check("denominator == 0");
    const std::uint64_t g1 = gcd_u64(magnitude(a.numerator), magnitude(b.numerator));
    const std::uint64_t g2 = gcd_u64(magnitude(a.denominator), magnitude(b.denominator));
    return normalise(wrap_mul(div_by_gcd(a.numerator, g1), div_by_gcd(b.denominator, g2)),
                     wrap_mul(div_by_gcd(a.denominator, g2), div_by_gcd(b.numerator, g1)));
}

Fraction operator-(const Fraction& a) { return Fraction::raw(wrap_neg(a.numerator), a.denominator); }

int compare_general(const Fraction& x, const Fraction& y) {
    std::int64_t a = x.numerator, b = x.denominator, c = y.numerator, d = y.denominator;
    int sign = 1;
    // Continued-fraction walk: compare integer parts, then the reciprocals of the
    // remainders with the outcome reversed. No products, so no overflow.
    for (;;) {
        if (b == d) {
            const int r = cmp_int(a, c);
            return sign * (b < 0 ? -r : r);
        }
        if (a == c) {
            if (a == 0) return 0;
            const int r = cmp_int(d, b);
            return sign * (a < 0 ? -r : r);
        }
        std::int64_t qa, ra, qc, rc;
        floor_divmod(a, b, qa, ra);
        floor_divmod(c, d, qc, rc);
        if (qa != qc) return sign * cmp_int(qa, qc);
        if (ra == 0 && rc == 0) return 0;
        if (ra == 0) return -sign;
        if (rc == 0) return sign;
        a = b;
        b = ra;
        c = d;
        d = rc;
        sign = -sign;
    }
}

}  // namespace qs

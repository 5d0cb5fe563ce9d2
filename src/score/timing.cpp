// Bars to seconds and back. The table is built on first use from the finished event
// list; exact and float times are cached per bar because the drawing asks for the
// same bars many times.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "score/score.h"

namespace qs {
namespace {

constexpr std::int64_t TIME_DENOMINATOR_LIMIT = 1000000000;
constexpr std::int64_t FLOAT_DENOMINATOR_LIMIT = 1000000;

// Seconds per bar within a state; bpm and bar_length are present and non-zero in
// every accumulated state.
Fraction seconds_per_bar(const Event& state) {
    return (*state.bar_length * from_integer(60)) / *state.bpm;
}

// The last entry at or before the bar; the first one when the bar lies before it.
const TimingEntry& entry_for(const std::vector<TimingEntry>& table, const Fraction& q) {
    auto it = std::upper_bound(table.begin(), table.end(), q, [](const Fraction& x, const TimingEntry& e) {
        return compare(x, e.state.bar) < 0;
    });
    return it == table.begin() ? table.front() : *(it - 1);
}


// bar + offset × rate, rounded to the bar denominator limit. The offset comes from
// from_float and carries denominators near 2^53, so the product and sum overflow 64
// bits for ordinary tempos and positions; wrapping there would put a note seconds
// away from its time. The value is formed exactly in 128 bits instead, then rounded
// with the same steps as limit_denominator. Only when even 128 bits cannot hold it
// (absurd inputs) does the wrapping 64-bit arithmetic decide.
using Int128 = __int128;
using Uint128 = unsigned __int128;

Uint128 magnitude128(Int128 v) { return v < 0 ? Uint128(0) - Uint128(v) : Uint128(v); }

Uint128 gcd128(Uint128 a, Uint128 b) {
    while (b != 0) {
        Uint128 r = a % b;
        a = b;
        b = r;
    }
    return a;
}

struct Wide {
    Int128 n;
    Int128 d;  // positive
};

Wide reduced(Int128 n, Int128 d) {
    Uint128 g = gcd128(magnitude128(n), magnitude128(d));
    if (g > 1) {
        n /= Int128(g);
        d /= Int128(g);
    }
    return Wide{n, d};
}

std::optional<Wide> add_mul(const Fraction& a, const Fraction& b, const Fraction& c) {
    Wide p = reduced(Int128(b.numerator) * c.numerator, Int128(b.denominator) * c.denominator);
    Int128 g = Int128(gcd128(Uint128(a.denominator), Uint128(p.d)));
    Int128 lcm, left, right, n;
    if (__builtin_mul_overflow(Int128(a.denominator) / g, p.d, &lcm)) return std::nullopt;
    if (__builtin_mul_overflow(Int128(a.numerator), lcm / a.denominator, &left)) return std::nullopt;
    if (__builtin_mul_overflow(p.n, lcm / p.d, &right)) return std::nullopt;
    if (__builtin_add_overflow(left, right, &n)) return std::nullopt;
    return reduced(n, lcm);
}

std::optional<Fraction> limited(const Wide& w, std::int64_t bound) {
    const Uint128 limit = std::numeric_limits<std::int64_t>::max();
    const bool negative = w.n < 0;
    Uint128 n = magnitude128(w.n), d = Uint128(w.d);
    if (d <= Uint128(bound)) {
        if (n > limit) return std::nullopt;
        return Fraction::raw(negative ? -std::int64_t(n) : std::int64_t(n), std::int64_t(d));
    }
    const double x = static_cast<double>(n) / static_cast<double>(d);
    const Uint128 m = Uint128(bound);
    Uint128 p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    for (;;) {
        const Uint128 a = n / d;
        const Uint128 q2 = q0 + a * q1;
        if (q2 > m) break;
        const Uint128 p2 = p0 + a * p1;
        p0 = p1;
        q0 = q1;
        p1 = p2;
        q1 = q2;
        const Uint128 r = n - a * d;
        n = d;
        d = r;
        if (d == 0) break;
    }
    const Uint128 k = (m - q0) / q1;
    const Uint128 c1n = p0 + k * p1, c1d = q0 + k * q1;
    const double e2 = std::fabs(static_cast<double>(p1) / static_cast<double>(q1) - x);
    const double e1 = std::fabs(static_cast<double>(c1n) / static_cast<double>(c1d) - x);
    const Uint128 rn = e2 <= e1 ? p1 : c1n;
    const Uint128 rd = e2 <= e1 ? q1 : c1d;
    if (rn > limit) return std::nullopt;
    const std::int64_t sn = std::int64_t(rn);
    return Fraction(negative ? -sn : sn, std::int64_t(rd));
}

}  // namespace

const std::vector<TimingEntry>& build_timing_table(Score& score) {
    if (score.timing_table) return *score.timing_table;
    std::vector<TimingEntry> table;
    Event state = initial_timing_state();
    if (score.events.empty()) {
        table.push_back(TimingEntry{Fraction(), state});
    } else {
        table.reserve(score.events.size());
        Fraction time;
        Fraction previous_bar;
        for (const Event& e : score.events) {
            Fraction seconds = (e.bar - previous_bar) * seconds_per_bar(state);
            time = limit_denominator(time + seconds, TIME_DENOMINATOR_LIMIT);
            merge_event_into(state, e);
            previous_bar = e.bar;
            table.push_back(TimingEntry{time, state});
        }
    }
    score.timing_table = std::move(table);
    return *score.timing_table;
}

namespace {

Fraction compute_exact_time(Score& score, const Fraction& bar) {
    const TimingEntry& e = entry_for(build_timing_table(score), bar);
    return limit_denominator(e.start_time + seconds_per_bar(e.state) * (bar - e.state.bar), TIME_DENOMINATOR_LIMIT);
}

}  // namespace

Fraction exact_time(Score& score, const Fraction& bar) {
    if (auto it = score.exact_time_cache.find(bar); it != score.exact_time_cache.end()) return it->second;
    Fraction t = compute_exact_time(score, bar);
    score.exact_time_cache.emplace(bar, t);
    return t;
}

double float_time(Score& score, const Fraction& bar) {
    if (auto it = score.float_time_cache.find(bar); it != score.float_time_cache.end()) return it->second;
    double t = to_float(limit_denominator(exact_time(score, bar), FLOAT_DENOMINATOR_LIMIT));
    score.float_time_cache.emplace(bar, t);
    return t;
}

double compute_float_time(Score& score, const Fraction& bar) {
    return to_float(limit_denominator(compute_exact_time(score, bar), FLOAT_DENOMINATOR_LIMIT));
}

void release_time_caches(Score& score) {
    decltype(score.exact_time_cache)().swap(score.exact_time_cache);
    decltype(score.float_time_cache)().swap(score.float_time_cache);
}

Event event_at(Score& score, const Fraction& bar) {
    return entry_for(build_timing_table(score), bar).state;
}

Fraction time_delta(Score& score, const Fraction& bar_from, const Fraction& bar_to) {
    Fraction from = exact_time(score, bar_from);
    return exact_time(score, bar_to) - from;
}

Fraction bar_at_time(std::span<const Event> events, double time) {
    Event state = initial_timing_state();
    double elapsed = 0.0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        merge_event_into(state, events[i]);
        if (i + 1 == events.size()) break;
        Fraction duration = seconds_per_bar(state) * (events[i + 1].bar - state.bar);
        double end = elapsed + to_float(duration);
        if (time < end) break;
        elapsed = end;
    }
    const Fraction offset = from_float(time - elapsed);
    const Fraction rate = *state.bpm / (*state.bar_length * from_integer(60));
    if (auto exact = add_mul(state.bar, offset, rate)) {
        if (auto bar = limited(*exact, FLOAT_DENOMINATOR_LIMIT)) return *bar;
    }
    return limit_denominator(state.bar + offset * rate, FLOAT_DENOMINATOR_LIMIT);
}

}  // namespace qs

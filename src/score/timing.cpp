// Bars to seconds and back. The table is built on first use from the finished event
// list; exact and float times are cached per bar because the drawing asks for the
// same bars many times.
#include <algorithm>

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

Fraction exact_time(Score& score, const Fraction& bar) {
    if (auto it = score.exact_time_cache.find(bar); it != score.exact_time_cache.end()) return it->second;
    const TimingEntry& e = entry_for(build_timing_table(score), bar);
    Fraction t = e.start_time + seconds_per_bar(e.state) * (bar - e.state.bar);
    t = limit_denominator(t, TIME_DENOMINATOR_LIMIT);
    score.exact_time_cache.emplace(bar, t);
    return t;
}

double float_time(Score& score, const Fraction& bar) {
    if (auto it = score.float_time_cache.find(bar); it != score.float_time_cache.end()) return it->second;
    double t = to_float(limit_denominator(exact_time(score, bar), FLOAT_DENOMINATOR_LIMIT));
    score.float_time_cache.emplace(bar, t);
    return t;
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
    Fraction result = state.bar + from_float(time - elapsed) * (*state.bpm / (*state.bar_length * from_integer(60)));
    return limit_denominator(result, FLOAT_DENOMINATOR_LIMIT);
}

}  // namespace qs

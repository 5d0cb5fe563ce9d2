// The timing map: bars to exact and float seconds, states, and seconds back to bars.
#include <gtest/gtest.h>

#include "score/score.h"

namespace qs {
namespace {

Fraction F(std::int64_t n, std::int64_t d = 1) { return Fraction(n, d); }

Event tempo(Fraction bar, Fraction bpm) {
    Event e;
    e.bar = bar;
    e.bpm = bpm;
    return e;
}

Score with_events(std::vector<Event> events) {
    Score s;
    s.events = std::move(events);
    finish_events(s);
    return s;
}

TEST(Timing, NoEvents) {
    Score s;
    EXPECT_EQ(exact_time(s, F(1)), F(2));
    EXPECT_EQ(exact_time(s, F(1, 2)), F(1));
    EXPECT_EQ(event_at(s, F(5)), initial_timing_state());
    EXPECT_EQ(bar_at_time({}, 3.0), F(3, 2));
    ASSERT_TRUE(s.timing_table.has_value());
    EXPECT_EQ(s.timing_table->size(), 1u);
}

TEST(Timing, TwoTempos) {
    Score s = with_events({tempo(F(0), F(60)), tempo(F(2), F(120))});
    struct {
        Fraction bar, seconds;
    } cases[] = {{F(2), F(8)}, {F(3), F(10)}, {F(-1), F(-4)}, {F(1, 3), F(4, 3)}, {F(0), F(0)}};
    for (const auto& c : cases) EXPECT_EQ(exact_time(s, c.bar), c.seconds) << to_text(c.bar);
    EXPECT_EQ(time_delta(s, F(2), F(3)), F(2));
    EXPECT_EQ(time_delta(s, F(3), F(2)), F(-2));
    EXPECT_EQ(bar_at_time(s.events, 9.0), F(5, 2));
    EXPECT_EQ(bar_at_time(s.events, 2.0), F(1, 2));
    EXPECT_EQ(event_at(s, F(1)).bpm, F(60));
    EXPECT_EQ(event_at(s, F(-3)).bpm, F(60));
    Event later = event_at(s, F(7, 2));
    EXPECT_EQ(later.bar, F(2));  // the entry's bar, not the asked one
    EXPECT_EQ(later.bpm, F(120));
}

TEST(Timing, ZeroTempoIsIgnored) {
    Score s = with_events({tempo(F(0), F(60)), tempo(F(1), F(0))});
    EXPECT_EQ(exact_time(s, F(2)), F(8));
    EXPECT_EQ(event_at(s, F(2)).bpm, F(60));
}

TEST(Timing, EventsAtOneBarAccumulate) {
    Event length;
    length.bar = F(1);
    length.bar_length = F(3);
    Event skill;
    skill.bar = F(1);
    skill.text = "SKILL";
    Score s = with_events({tempo(F(1), F(150)), length, skill, tempo(F(4), F(100))});
    Event at = event_at(s, F(1));
    EXPECT_EQ(at.bpm, F(150));
    EXPECT_EQ(at.bar_length, F(3));
    EXPECT_EQ(at.sentence_length, 4);
    EXPECT_EQ(event_at(s, F(9)).text, "SKILL");  // texts stay until replaced
    // Bar 0 to 1 at 120/4: 2 s; then 3 beats at 150: 1.2 s per bar.
    EXPECT_EQ(exact_time(s, F(2)), F(16, 5));
    EXPECT_EQ(exact_time(s, F(5)), F(2) + F(36, 10) + F(18, 10));
}

TEST(Timing, FirstEventAfterBarZero) {
    Score s = with_events({tempo(F(2), F(60))});
    EXPECT_EQ(exact_time(s, F(2)), F(4));
    EXPECT_EQ(exact_time(s, F(1)), F(0));  // extrapolated back with the first entry's tempo
    EXPECT_EQ(bar_at_time(s.events, 0.0), F(2));
}

TEST(Timing, FloatTimeAndRounding) {
    Score s = with_events({tempo(F(0), F(7))});
    const Fraction q = F(1, 3);
    Fraction exact = exact_time(s, q);  // 4 * 60 / 7 / 3 = 80/7
    EXPECT_EQ(exact, F(80, 7));
    EXPECT_EQ(float_time(s, q), to_float(limit_denominator(exact, 1000000)));
    // The same answer without the caches, which it leaves alone.
    Score fresh = with_events({tempo(F(0), F(7))});
    EXPECT_EQ(compute_float_time(fresh, q), float_time(s, q));
    EXPECT_TRUE(fresh.exact_time_cache.empty() && fresh.float_time_cache.empty());
    // Times are rounded to denominators up to 10^9.
    Score odd = with_events({tempo(F(0), F(999999937))});
    Fraction t = exact_time(odd, F(1, 999999929));
    EXPECT_LE(t.denominator, 1000000000);
    EXPECT_EQ(odd.exact_time_cache.size(), 1u);
    EXPECT_EQ(odd.exact_time_cache.at(F(1, 999999929)), t);
}

TEST(Timing, CachesAreClearedWhenEventsChange) {
    Score s = with_events({tempo(F(0), F(60))});
    EXPECT_EQ(exact_time(s, F(1)), F(4));
    EXPECT_EQ(float_time(s, F(1)), 4.0);
    s.events = {tempo(F(0), F(240))};
    finish_events(s);
    EXPECT_EQ(exact_time(s, F(1)), F(1));
    EXPECT_EQ(float_time(s, F(1)), 1.0);
    // Released caches fill again with the same answers.
    release_time_caches(s);
    EXPECT_TRUE(s.exact_time_cache.empty() && s.float_time_cache.empty());
    EXPECT_EQ(float_time(s, F(1)), 1.0);
    EXPECT_EQ(s.float_time_cache.size(), 1u);
}

TEST(Timing, BarAtTimeWalksTheList) {
    std::vector<Event> events = {tempo(F(0), F(120)), tempo(F(1), F(60)), tempo(F(2), F(240))};
    struct {
        double time;
        Fraction bar;
    } cases[] = {{0.0, F(0)}, {1.0, F(1, 2)}, {2.0, F(1)}, {4.0, F(3, 2)}, {6.0, F(2)}, {7.0, F(3)}, {-2.0, F(-1)}};
    for (const auto& c : cases) EXPECT_EQ(bar_at_time(events, c.time), c.bar) << c.time;
    EXPECT_EQ(bar_at_time(events, 1.0 / 3.0).denominator <= 1000000, true);
}

// The remaining seconds come from from_float with denominators near 2^53; the final
// sum and product must not wrap (they did in 64 bits for this ordinary tempo map).
TEST(Timing, BarAtTimeDoesNotWrapOnFineOffsets) {
    Event length;
    length.bar = F(0);
    length.bar_length = F(4);
    std::vector<Event> events = {length, tempo(F(0), F(410)), tempo(F(1), F(277, 2)), tempo(F(9), F(138)),
                                 tempo(F(13), F(275, 2))};
    Score s = with_events(events);
    for (std::int64_t i = 0; i < 16 * 96; i += 7) {
        const Fraction bar = F(i, 96);
        EXPECT_EQ(bar_at_time(s.events, to_float(exact_time(s, bar))), bar) << to_text(bar);
    }
}

}  // namespace
}  // namespace qs

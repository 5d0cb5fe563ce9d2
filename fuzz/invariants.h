// Checks shared by the fuzz targets: a finished chart is internally consistent.
#pragma once

#include <cstddef>
#include <variant>

#include "fraction/fraction.h"
#include "score/score.h"

namespace qs_fuzz {

inline void require(bool ok) {
    if (!ok) __builtin_trap();
}

inline void check_fraction(const qs::Fraction& f) {
    require(f.denominator > 0);
    if (f.numerator == 0) require(f.denominator == 1);
}

inline void check_link(qs::NoteIndex i, std::size_t count) { require(i == qs::NO_INDEX || i < count); }

// Links point into the chart, fractions are normalised, events are in bar order.
inline void check_score(const qs::Score& score) {
    const std::size_t n = score.notes.size();
    for (qs::NoteIndex i : score.active_notes) require(i < n);
    for (const qs::Note& note : score.notes) {
        check_fraction(qs::bar(note));
        if (const auto* d = std::get_if<qs::DirectionalNote>(&note)) check_link(d->tap, n);
        if (const auto* s = std::get_if<qs::SlideStep>(&note)) {
            check_link(s->tap, n);
            check_link(s->directional, n);
            check_link(s->next, n);
            check_link(s->head, n);
            if (s->next != qs::NO_INDEX) require(std::holds_alternative<qs::SlideStep>(score.notes[s->next]));
            if (s->head != qs::NO_INDEX) require(std::holds_alternative<qs::SlideStep>(score.notes[s->head]));
        }
    }
    for (std::size_t i = 0; i < score.events.size(); ++i) {
        const qs::Event& e = score.events[i];
        check_fraction(e.bar);
        if (e.bpm) check_fraction(*e.bpm);
        if (e.bar_length) check_fraction(*e.bar_length);
        if (i > 0) require(score.events[i - 1].bar <= e.bar);
    }
}

// Asks the timing map about the events and a bounded number of notes.
inline void exercise_timing(qs::Score& score) {
    std::size_t asked = 0;
    for (const qs::Event& e : score.events) {
        if (++asked > 64) break;
        check_fraction(qs::exact_time(score, e.bar));
        (void)qs::event_at(score, e.bar);
    }
    asked = 0;
    for (qs::NoteIndex i : score.active_notes) {
        if (++asked > 64) break;
        const qs::Fraction& b = qs::bar(score.notes[i]);
        double t = qs::float_time(score, b);
        check_fraction(qs::bar_at_time(score.events, t));
        check_fraction(qs::time_delta(score, qs::Fraction(), b));
    }
}

}  // namespace qs_fuzz

// Small hand-built charts for the drawing tests.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "score/score.h"

namespace qs::testing {

inline Fraction F(std::int64_t n, std::int64_t d = 1) { return Fraction(n, d); }

inline Note tap(Fraction at, int lane, int width, int type = 1) {
    TapNote t;
    t.bar = at;
    t.lane = lane;
    t.width = width;
    t.note_type = type;
    return t;
}

inline Note flick(Fraction at, int lane, int width, int type = 1) {
    DirectionalNote d;
    d.bar = at;
    d.lane = lane;
    d.width = width;
    d.note_type = type;
    return d;
}

inline Note step(Fraction at, int lane, int width, int type, int channel = 0, bool guide = false) {
    SlideStep s;
    s.bar = at;
    s.lane = lane;
    s.width = width;
    s.note_type = type;
    s.channel = channel;
    s.is_guide = guide;
    return s;
}

inline Event tempo(Fraction at, std::int64_t bpm) {
    Event e;
    e.bar = at;
    e.bpm = Fraction(bpm, 1);
    return e;
}

// A finished chart, as a reader would leave it.
inline Score chart(std::vector<Note> notes, std::vector<Event> events = {}) {
    Score s;
    s.notes = std::move(notes);
    s.events = std::move(events);
    finish_notes(s);
    finish_events(s);
    return s;
}

// Index of the first note of the given kind at a bar (after finishing).
template <class Kind>
NoteIndex find_note(const Score& s, Fraction at) {
    for (NoteIndex i = 0; i < s.notes.size(); ++i) {
        if (std::holds_alternative<Kind>(s.notes[i]) && bar(s.notes[i]) == at) return i;
    }
    return NO_INDEX;
}

inline std::size_t count(std::string_view text, std::string_view piece) {
    std::size_t n = 0;
    for (std::size_t at = text.find(piece); at != std::string_view::npos; at = text.find(piece, at + 1)) ++n;
    return n;
}

}  // namespace qs::testing

// Note glyphs: note bars, trace marks, flick arrows and slides, written into the
// layers of one column.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drawing/options.h"
#include "drawing/text_forms.h"
#include "score/score.h"

namespace qs {

// The independent texts of one column, stacked in the order of the fields.
struct ColumnLayers {
    TextBuffer main;
    TextBuffer slides;
    TextBuffer taps;
    TextBuffer decorations;
    TextBuffer flicks;                    // one text per arrow, emitted in reverse order
    std::vector<std::size_t> flick_ends;  // end offset of each arrow's text
    TextBuffer ticks;
    TextBuffer speeds;
};

// One column being drawn: bars start..end, end at the top.
struct ColumnContext {
    const DrawingOptions& options;
    Score& score;
    std::int64_t start;
    std::int64_t end;
    double end_time;  // seconds at bar `end`
    ColumnLayers layers;
    // Seconds of each note's bar, by note index, shared by the columns of a rendering
    // (NaN until first asked); null to ask the score every time.
    std::vector<double>* note_times = nullptr;

    ColumnContext(const DrawingOptions& o, Score& s, std::int64_t a, std::int64_t b);
    // Height of a bar position: later bars are higher up, bar `end` at margin_y.
    double y(const Fraction& p);
    // Height of a note of score.notes.
    double y(const Note& n);
};

// The note a link names, or nullptr for NO_INDEX (and for a link out of range).
inline const Note* linked(const std::vector<Note>& notes, NoteIndex i) {
    return i < notes.size() ? &notes[i] : nullptr;
}

bool is_critical(const std::vector<Note>& notes, const Note& n);

enum class TickKind { none, plain, labelled };
TickKind tick_kind(const std::vector<Note>& notes, const Note& n);

void draw_tap_glyph(ColumnContext& c, const Note& n);
void draw_flick_arrow(ColumnContext& c, const Note& n);
// Body path into the slide layer, relay markers into the decoration layer.
void draw_slide(ColumnContext& c, NoteIndex first);

}  // namespace qs

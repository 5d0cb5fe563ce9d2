// Note glyphs: note bars, trace marks, flick arrows and slides, written into the
// layers of one column.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drawing/options.h"
#include "score/score.h"

namespace qs {

// The independent texts of one column, stacked in the order of the fields.
struct ColumnLayers {
    std::string main;
    std::string slides;
    std::string taps;
    std::string decorations;
    std::vector<std::string> flicks;  // emitted in reverse order of creation
    std::string ticks;
    std::string speeds;
};

// One column being drawn: bars start..end, end at the top.
struct ColumnContext {
    const DrawingOptions& options;
    Score& score;
    std::int64_t start;
    std::int64_t end;
    double end_time;  // seconds at bar `end`
    ColumnLayers layers;

    ColumnContext(const DrawingOptions& o, Score& s, std::int64_t a, std::int64_t b);
    // Height of a bar position: later bars are higher up, bar `end` at margin_y.
    double y(const Fraction& p);
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

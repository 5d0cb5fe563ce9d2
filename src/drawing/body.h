// The chart body: one column of bars with its lines, marks, ticks and notes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drawing/glyphs.h"
#include "drawing/options.h"
#include "lyric/lyric.h"
#include "score/score.h"

namespace qs {

// What every column of one rendering shares: per-note tick kinds and tick partners,
// the slides with their bar extents, and the lyric words in bar order. Built once per
// rendering so that drawing all columns stays linear in the chart.
struct ChartIndex {
    static constexpr std::uint32_t NONE = static_cast<std::uint32_t>(-1);

    struct Slide {
        NoteIndex head = NO_INDEX;
        bool tested = false;   // has a step the visibility walk looks at
        Fraction lo, hi;       // extent of those steps
        std::vector<std::uint32_t> positions;  // its active steps, as positions in active_notes
    };

    bool active_sorted = true;                 // active_notes in bar order
    std::vector<TickKind> ticks;               // per position in active_notes
    std::vector<std::uint32_t> next_labelled;  // next labelled position with a greater bar
    std::vector<std::uint32_t> slide_of;       // per position: slide id, or NONE
    std::vector<Slide> slides;
    std::vector<std::uint32_t> slides_by_lo;
    bool events_sorted = true;
    std::vector<std::uint32_t> words_by_bar;   // lyric word indices, stable by bar
    std::vector<double> note_times;            // seconds by note index, NaN until asked
    std::vector<Fraction> tick_values;         // interval label value per position, once known
    std::vector<bool> tick_known;
    std::size_t length_entry = SIZE_MAX;       // timing entry that answered the last bar length

    // Sweep over columns taken in order: slides that may reach the current column.
    std::size_t sweep_next = 0;
    std::vector<std::uint32_t> sweep_open;
    std::int64_t sweep_start = INT64_MIN;
    std::int64_t sweep_end = INT64_MIN;
};

ChartIndex build_chart_index(const Score& score, const Lyric* lyric);

struct RenderedColumn {
    ColumnLayers layers;
    double width = 0.0;
    double height = 0.0;

    std::size_t size() const;
    // The column's text: its layers stacked bottom to top.
    void append_to(std::string& out) const;
    void append_to(TextBuffer& out) const;
    std::string text() const;
};

// Width of every column; height of the column of bars start..end.
double column_width(const DrawingOptions& options);
double column_height(const DrawingOptions& options, Score& score, std::int64_t start, std::int64_t end);

// Writes the column's text to `out`: the main layer straight in, the upper layers
// through `scratch`, whose buffers keep their room from one column to the next.
// Columns are cheapest when taken in increasing order.
void write_column(const DrawingOptions& options, Score& score, const Lyric* lyric, std::int64_t start,
                  std::int64_t end, ChartIndex& index, TextBuffer& out, ColumnLayers& scratch);

// Bars start..end (start < end), as one text in layers.main.
RenderedColumn render_column(const DrawingOptions& options, Score& score, const Lyric* lyric,
                             std::int64_t start, std::int64_t end, ChartIndex& index);
// The same for a single column, with an index of its own.
RenderedColumn render_column(const DrawingOptions& options, Score& score, const Lyric* lyric,
                             std::int64_t start, std::int64_t end);

// Whether the slide starting at `head` reaches into bars [start - 1, end + 1).
bool slide_reaches(const std::vector<Note>& notes, NoteIndex head, std::int64_t start, std::int64_t end);

}  // namespace qs

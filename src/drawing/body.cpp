#include "drawing/body.h"

#include <algorithm>
#include <limits>
#include <variant>

#include "drawing/text_forms.h"

namespace qs {

namespace {

constexpr std::uint32_t NONE = ChartIndex::NONE;

// The step the visibility walk of a slide step starts from: its head.
NoteIndex walk_start(const std::vector<Note>& notes, NoteIndex v) {
    const auto& s = std::get<SlideStep>(notes[v]);
    if (s.head < notes.size() && std::holds_alternative<SlideStep>(notes[s.head])) return s.head;
    return v;
}

// Calls fn(bar) for every step of the slide that the visibility walk tests (relay
// markers and type-0 steps are passed over); fn returns true to stop.
template <class Fn>
void walk_tested(const std::vector<Note>& notes, NoteIndex head, Fn fn) {
    std::size_t budget = notes.size();  // links never cycle; this only bounds a damaged chart
    NoteIndex cur = head;
    while (cur < notes.size() && budget-- > 0) {
        const Note& n = notes[cur];
        const auto* s = std::get_if<SlideStep>(&n);
        const bool passed = note_type(n) == 0 ||
                            (s != nullptr && s->note_type == 3 && linked(notes, s->tap) != nullptr &&
                             linked(notes, s->directional) == nullptr);
        if (!passed && fn(bar(n))) return;
        if (s == nullptr) return;
        cur = s->next;
    }
}

// Bar length of the timing state in effect at q (the state event_at reports).
Fraction bar_length_at(Score& score, const Fraction& q, ChartIndex& index) {
    if (!index.events_sorted) {
        Event e = event_at(score, q);
        return e.bar_length ? *e.bar_length : from_integer(4);
    }
    const std::vector<TimingEntry>& table = build_timing_table(score);
    // Bars are asked in rising order, so the entry of the last question usually holds.
    std::size_t k = index.length_entry;
    const bool holds = k < table.size() && (k == 0 || !(q < table[k].state.bar)) &&
                       (k + 1 == table.size() || q < table[k + 1].state.bar);
    if (!holds) {
        auto it = std::upper_bound(table.begin(), table.end(), q,
                                   [](const Fraction& x, const TimingEntry& e) { return x < e.state.bar; });
        std::size_t count = static_cast<std::size_t>(it - table.begin());
        k = count > 0 ? count - 1 : 0;
        index.length_entry = k;
    }
    const Event& state = table[k].state;
    return state.bar_length ? *state.bar_length : from_integer(4);
}

std::int64_t ceiling(const Fraction& f) {
    std::int64_t fl = floor(f);
    return f.denominator == 1 ? fl : fl + 1;
}

}  // namespace

std::size_t RenderedColumn::size() const {
    return layers.main.size() + layers.slides.size() + layers.taps.size() + layers.decorations.size() +
           layers.flicks.size() + layers.ticks.size() + layers.speeds.size();
}

namespace {

template <class Buf>
void append_layers(const ColumnLayers& layers, Buf& out) {
    for (const TextBuffer* b : {&layers.main, &layers.slides, &layers.taps, &layers.decorations}) {
        out.append(b->data(), b->size());
    }
    // Later arrows lie under earlier ones.
    for (std::size_t i = layers.flick_ends.size(); i-- > 0;) {
        const std::size_t from = i > 0 ? layers.flick_ends[i - 1] : 0;
        out.append(layers.flicks.data() + from, layers.flick_ends[i] - from);
    }
    out.append(layers.ticks.data(), layers.ticks.size());
    out.append(layers.speeds.data(), layers.speeds.size());
}

}  // namespace

void RenderedColumn::append_to(std::string& out) const { append_layers(layers, out); }
void RenderedColumn::append_to(TextBuffer& out) const { append_layers(layers, out); }

std::string RenderedColumn::text() const {
    std::string out;
    out.reserve(size());
    append_to(out);
    return out;
}

bool slide_reaches(const std::vector<Note>& notes, NoteIndex head, std::int64_t start, std::int64_t end) {
    const Fraction lo = from_integer(start - 1);
    const Fraction hi = from_integer(end + 1);
    bool below = false;
    bool handled = false;
    walk_tested(notes, head, [&](const Fraction& q) {
        if (lo <= q && q < hi) {
            handled = true;
            return true;
        }
        bool now_below = q < lo;
        if (!now_below && below) {
            // A jump from before the range to its far side crosses the whole column,
            // including a landing exactly on end + 1.
            if (q >= hi) {
                handled = true;
                return true;
            }
            now_below = true;
        }
        below = now_below;
        return false;
    });
    return handled;
}

ChartIndex build_chart_index(const Score& score, const Lyric* lyric) {
    ChartIndex index;
    const std::vector<Note>& notes = score.notes;
    const std::vector<NoteIndex>& active = score.active_notes;
    const std::size_t n = active.size();
    index.ticks.assign(n, TickKind::none);
    index.note_times.assign(notes.size(), std::numeric_limits<double>::quiet_NaN());
    index.tick_values.assign(n, Fraction());
    index.tick_known.assign(n, false);
    index.slide_of.assign(n, NONE);
    std::vector<std::uint32_t> slide_of_head(notes.size(), NONE);

    for (std::size_t i = 0; i < n; ++i) {
        const NoteIndex idx = active[i];
        if (idx >= notes.size()) {
            index.active_sorted = false;
            continue;
        }
        const Note& note = notes[idx];
        index.ticks[i] = tick_kind(notes, note);
        if (i > 0 && active[i - 1] < notes.size() && bar(notes[active[i - 1]]) > bar(note)) {
            index.active_sorted = false;
        }
        if (!std::holds_alternative<SlideStep>(note)) continue;
        const NoteIndex head = walk_start(notes, idx);
        std::uint32_t id = slide_of_head[head];
        if (id == NONE) {
            id = static_cast<std::uint32_t>(index.slides.size());
            slide_of_head[head] = id;
            ChartIndex::Slide slide;
            slide.head = head;
            walk_tested(notes, head, [&](const Fraction& q) {
                if (!slide.tested) {
                    slide.lo = q;
                    slide.hi = q;
                    slide.tested = true;
                } else {
                    if (q < slide.lo) slide.lo = q;
                    if (q > slide.hi) slide.hi = q;
                }
                return false;
            });
            index.slides.push_back(std::move(slide));
        }
        index.slide_of[i] = id;
        index.slides[id].positions.push_back(static_cast<std::uint32_t>(i));
    }

    // Next labelled note with a greater bar, from the right; equal bars share an answer.
    index.next_labelled.assign(n, NONE);
    std::vector<std::uint32_t> next_raw(n, NONE);
    std::uint32_t last = NONE;
    for (std::size_t i = n; i-- > 0;) {
        next_raw[i] = last;
        if (index.ticks[i] == TickKind::labelled) last = static_cast<std::uint32_t>(i);
    }
    for (std::size_t i = n; i-- > 0;) {
        if (active[i] >= notes.size()) continue;
        const Fraction& p = bar(notes[active[i]]);
        std::uint32_t j = next_raw[i];
        while (j != NONE) {
            const int cmp = compare(bar(notes[active[j]]), p);
            if (cmp > 0) break;
            j = cmp == 0 ? index.next_labelled[j] : next_raw[j];
        }
        index.next_labelled[i] = j;
    }

    for (std::uint32_t id = 0; id < index.slides.size(); ++id) {
        if (index.slides[id].tested) index.slides_by_lo.push_back(id);
    }
    std::stable_sort(index.slides_by_lo.begin(), index.slides_by_lo.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return index.slides[a].lo < index.slides[b].lo; });

    for (std::size_t i = 1; i < score.events.size(); ++i) {
        if (score.events[i - 1].bar > score.events[i].bar) index.events_sorted = false;
    }

    if (lyric != nullptr) {
        index.words_by_bar.resize(lyric->words.size());
        for (std::uint32_t i = 0; i < index.words_by_bar.size(); ++i) index.words_by_bar[i] = i;
        std::stable_sort(index.words_by_bar.begin(), index.words_by_bar.end(), [&](std::uint32_t a, std::uint32_t b) {
            return lyric->words[a].bar < lyric->words[b].bar;
        });
    }
    return index;
}

namespace {

// Positions in active_notes handled by the column, in list order.
std::vector<std::uint32_t> select_notes(const Score& score, ChartIndex& index, std::int64_t start,
                                        std::int64_t end) {
    const std::vector<Note>& notes = score.notes;
    const std::vector<NoteIndex>& active = score.active_notes;
    const Fraction lo = from_integer(start - 1);
    const Fraction hi = from_integer(end + 1);
    std::vector<std::uint32_t> chosen;

    std::size_t first = 0;
    std::size_t last = active.size();
    if (index.active_sorted) {
        auto bar_at = [&](std::size_t i) -> const Fraction& { return bar(notes[active[i]]); };
        std::size_t a = 0, b = active.size();
        while (a < b) {
            std::size_t m = a + (b - a) / 2;
            if (bar_at(m) < lo) a = m + 1; else b = m;
        }
        first = a;
        b = active.size();
        while (a < b) {
            std::size_t m = a + (b - a) / 2;
            if (bar_at(m) < hi) a = m + 1; else b = m;
        }
        last = a;
    }
    for (std::size_t i = first; i < last; ++i) {
        if (active[i] >= notes.size()) continue;
        const Note& note = notes[active[i]];
        if (std::holds_alternative<SlideStep>(note)) continue;
        if (lo <= bar(note) && bar(note) < hi) chosen.push_back(static_cast<std::uint32_t>(i));
    }

    // Slides that may reach the column: their extents overlap it.
    if (start < index.sweep_start || end < index.sweep_end) {
        index.sweep_next = 0;
        index.sweep_open.clear();
    }
    index.sweep_start = start;
    index.sweep_end = end;
    while (index.sweep_next < index.slides_by_lo.size() &&
           index.slides[index.slides_by_lo[index.sweep_next]].lo < hi) {
        index.sweep_open.push_back(index.slides_by_lo[index.sweep_next++]);
    }
    std::erase_if(index.sweep_open, [&](std::uint32_t id) { return index.slides[id].hi < lo; });
    const std::size_t before = chosen.size();
    for (std::uint32_t id : index.sweep_open) {
        const ChartIndex::Slide& slide = index.slides[id];
        if (slide_reaches(notes, slide.head, start, end)) {
            chosen.insert(chosen.end(), slide.positions.begin(), slide.positions.end());
        }
    }
    if (chosen.size() != before) std::sort(chosen.begin(), chosen.end());
    return chosen;
}

// Interval to the next labelled note, as a fraction of four beats.
Fraction tick_value(Score& score, ChartIndex& index, std::uint32_t pos) {
    const std::vector<Note>& notes = score.notes;
    const std::vector<NoteIndex>& active = score.active_notes;
    const Fraction& p = bar(notes[active[pos]]);
    Fraction d = from_integer(floor(p) + 1) - p;
    const std::uint32_t j = index.next_labelled[pos];
    if (j != NONE) {
        const Fraction& q = bar(notes[active[j]]);
        const Fraction gap = q - p;
        if (gap <= Fraction::raw(1, 2) || (gap <= from_integer(1) && floor(q) == floor(p))) d = gap;
    }
    const Fraction length = bar_length_at(score, p, index);
    return limit_denominator(d * length / from_integer(4), 100);
}

void draw_tick(ColumnContext& c, ChartIndex& index, std::uint32_t pos, double xl) {
    const TickKind kind = index.ticks[pos];
    if (kind == TickKind::none) return;
    const DrawingOptions& o = c.options;
    const std::vector<Note>& notes = c.score.notes;
    const std::vector<NoteIndex>& active = c.score.active_notes;
    const double y = c.y(notes[active[pos]]);
    TextBuffer& out = c.layers.ticks;
    if (kind == TickKind::plain) {
        put(out, "<line x1=\"", Rounded{static_cast<double>(o.margin_x) - o.tick_length}, "\" y1=\"",
            Rounded{y}, "\" x2=\"", Rounded{xl}, "\" y2=\"", Rounded{y}, "\" class=\"tick-line\"/>");
        return;
    }

    if (!index.tick_known[pos]) {
        index.tick_values[pos] = tick_value(c.score, index, pos);
        index.tick_known[pos] = true;
    }
    const Fraction value = index.tick_values[pos];
    if (value.numerator == 0) return;
    put(out, "<line x1=\"", Rounded{static_cast<double>(o.margin_x) - o.tick_label_length}, "\" y1=\"",
        Rounded{y}, "\" x2=\"", Rounded{xl}, "\" y2=\"", Rounded{y}, "\" class=\"tick-line\"/>");
    put(out, "<text x=\"", Rounded{o.margin_x - 4.0}, "\" y=\"", Rounded{y - 2.0}, "\" class=\"tick-text\">");
    if (value.numerator != 1) append_int(out, value.numerator);
    put(out, '/', Int{value.denominator}, "</text>");
}

void draw_note(ColumnContext& c, NoteIndex idx) {
    const std::vector<Note>& notes = c.score.notes;
    const Note& v = notes[idx];
    if (std::holds_alternative<TapNote>(v)) {
        draw_tap_glyph(c, v);
        return;
    }
    if (std::holds_alternative<DirectionalNote>(v)) {
        draw_flick_arrow(c, v);
        draw_tap_glyph(c, v);
        return;
    }
    const auto& s = std::get<SlideStep>(v);
    const bool has_directional = linked(notes, s.directional) != nullptr;
    if (s.is_guide) {
        if (s.note_type == 1) draw_slide(c, idx);
        if (const Note* tap = linked(notes, s.tap)) {
            draw_tap_glyph(c, *tap);
            if (has_directional) draw_flick_arrow(c, v);
        }
        return;
    }
    if (s.note_type == 1) {
        draw_slide(c, idx);
        draw_tap_glyph(c, v);
    } else if (s.note_type == 2) {
        if (has_directional) draw_flick_arrow(c, v);
        draw_tap_glyph(c, v);
    }
}

}  // namespace

double column_width(const DrawingOptions& options) {
    return static_cast<double>(options.lane_width) * options.lane_count + 2.0 * options.margin_x;
}

double column_height(const DrawingOptions& options, Score& score, std::int64_t start, std::int64_t end) {
    return options.time_height * (float_time(score, from_integer(end)) - float_time(score, from_integer(start))) +
           2.0 * options.margin_y;
}

void write_column(const DrawingOptions& options, Score& score, const Lyric* lyric, std::int64_t start,
                  std::int64_t end, ChartIndex& index, TextBuffer& main, ColumnLayers& scratch) {
    const DrawingOptions& o = options;
    ColumnContext c(o, score, start, end);
    if (index.note_times.size() == score.notes.size()) c.note_times = &index.note_times;
    ColumnLayers& layers = c.layers;
    layers = std::move(scratch);
    for (TextBuffer* b : {&layers.main, &layers.slides, &layers.taps, &layers.decorations, &layers.flicks,
                          &layers.ticks, &layers.speeds}) {
        b->clear();
    }
    layers.flick_ends.clear();

    const double mx = o.margin_x;
    const double lw = o.lane_width;
    const double lanes_width = lw * o.lane_count;
    const double cw = column_width(o);
    const double ch = column_height(o, score, start, end);
    const std::int64_t xl = round_even(mx);
    const std::int64_t xr = round_even(mx + lanes_width);
    const Fraction lo = from_integer(start - 1);
    const Fraction hi = from_integer(end + 1);

    // 1. Notes: ticks and glyphs.
    for (std::uint32_t pos : select_notes(score, index, start, end)) {
        draw_tick(c, index, pos, static_cast<double>(xl));
        draw_note(c, score.active_notes[pos]);
    }

    // 2. Background and lane area.
    put(main, "<rect x=\"0\" y=\"0\" width=\"", Rounded{cw}, "\" height=\"", Rounded{ch},
        "\" class=\"background\"/><rect x=\"", Int{o.margin_x}, "\" y=\"0\" width=\"", Rounded{lanes_width},
        "\" height=\"", Rounded{ch}, "\" class=\"lane\"/>");

    // 3. Skill/fever overlay.
    const Fraction fifth = from_float(0.2);
    const Fraction low_cut = from_integer(start) - fifth;
    const Fraction high_cut = from_integer(end) + fifth;
    const Fraction text_cut = from_integer(end) + Fraction::raw(1, 10);
    for (const Overlay& item : o.overlays) {
        if (const auto* r = std::get_if<OverlayRect>(&item)) {
            const Fraction& f = r->from > low_cut ? r->from : low_cut;
            const Fraction& t = r->to < high_cut ? r->to : high_cut;
            if (!(t > f)) continue;
            put(main, "<rect x=\"", Int{o.margin_x}, "\" y=\"", Rounded{c.y(t)}, "\" width=\"", Rounded{lanes_width},
                "\" height=\"", Rounded{o.time_height * (float_time(score, t) - float_time(score, f))},
                "\" class=\"", Esc{r->cls}, "\"/>");
        } else {
            const auto& t = std::get<OverlayText>(item);
            if (!(low_cut <= t.at && t.at < text_cut)) continue;
            const std::int64_t x = round_even(cw - 3.0);
            const std::int64_t yp = round_even(c.y(t.at));
            put(main, "<text x=\"", Int{x}, "\" y=\"", Int{yp}, "\" transform=\"rotate(-90, ", Int{x}, ", ", Int{yp},
                ")\" class=\"", Esc{t.cls}, "\">", Esc{t.text}, "</text>");
        }
    }

    // 4. Lane lines.
    const std::int64_t ch_rounded = round_even(ch);
    for (std::int32_t i = 0; i <= o.lane_count; ++i) {
        const std::int64_t x = round_even(mx + lw * i);
        put(main, "<line x1=\"", Int{x}, "\" y1=\"0\" x2=\"", Int{x}, "\" y2=\"", Int{ch_rounded},
            "\" class=\"lane-line\"/>");
    }

    // 5. Bar and beat lines.
    for (std::int64_t n = start; n <= end; ++n) {
        const Fraction at = from_integer(n);
        const std::int64_t y = round_even(c.y(at));
        put(main, "<line x1=\"", Int{xl}, "\" y1=\"", Int{y}, "\" x2=\"", Int{xr}, "\" y2=\"", Int{y},
            "\" class=\"bar-line\"/>");
        const Fraction length = bar_length_at(score, at, index);
        const std::int64_t beats = std::min(ceiling(length), MAX_BEAT_LINES_PER_BAR + 1);
        for (std::int64_t j = 1; j < beats; ++j) {
            const std::int64_t yb = round_even(c.y(at + from_integer(j) / length));
            put(main, "<line x1=\"", Int{xl}, "\" y1=\"", Int{yb}, "\" x2=\"", Int{xr}, "\" y2=\"", Int{yb},
                "\" class=\"beat-line\"/>");
        }
    }

    // 6. Events: speed marks, flags, then the labels of the merged groups.
    std::vector<Event> bare(static_cast<std::size_t>(end - start + 1));
    for (std::size_t i = 0; i < bare.size(); ++i) bare[i].bar = from_integer(start + static_cast<std::int64_t>(i));
    std::vector<const Event*> marks;
    marks.reserve(bare.size() + score.events.size());
    if (index.events_sorted) {
        std::size_t i = 0, j = 0;
        while (i < bare.size() || j < score.events.size()) {
            if (j == score.events.size() || (i < bare.size() && bare[i].bar <= score.events[j].bar)) {
                marks.push_back(&bare[i++]);
            } else {
                marks.push_back(&score.events[j++]);
            }
        }
    } else {
        for (const Event& e : bare) marks.push_back(&e);
        for (const Event& e : score.events) marks.push_back(&e);
        std::stable_sort(marks.begin(), marks.end(), [](const Event* a, const Event* b) { return a->bar < b->bar; });
    }
    const Fraction sixteenth = Fraction::raw(1, 16);
    std::vector<Event> groups;
    for (const Event* e : marks) {
        const double y = c.y(e->bar);
        if (e->speed) {
            const std::int64_t ys = round_even(y);
            put(layers.speeds, "<line x1=\"", Int{xl}, "\" y1=\"", Int{ys}, "\" x2=\"", Int{xr}, "\" y2=\"", Int{ys},
                "\" class=\"speed-line\"/><text x=\"", Rounded{mx + lanes_width - 2.0}, "\" y=\"", Rounded{y - 2.0},
                "\" class=\"speed-text\">", Num{*e->speed}, "x</text>");
            continue;
        }
        if (!groups.empty() && e->bar - groups.back().bar <= sixteenth) {
            groups.back() = merge_event(groups.back(), *e);
        } else {
            groups.push_back(*e);
        }
        const bool marked = e->bpm || e->bar_length || e->section || e->text;
        const std::int64_t yf = round_even(y);
        put(main, "<line x1=\"0\" y1=\"", Int{yf}, "\" x2=\"", Int{xl}, "\" y2=\"", Int{yf}, "\" class=\"",
            marked ? "event-flag" : "bar-count-flag", "\"/>");
    }
    std::string label;
    for (const Event& g : groups) {
        const Fraction& p = g.bar;
        if (!(lo <= p && p < hi)) continue;
        label.clear();
        auto separate = [&] {
            if (!label.empty()) label.append(", ");
        };
        if (p.denominator == 1) put(label, '#', Num{to_float(p)});
        if (g.bpm) {
            separate();
            put(label, Num{to_float(*g.bpm)}, " BPM");
        }
        if (g.bar_length) {
            separate();
            put(label, Num{to_float(*g.bar_length)}, "/4");
        }
        // Parts are joined even when empty, as a list join would.
        bool any = !label.empty();
        for (const std::optional<std::string>* part : {&g.section, &g.text}) {
            if (!*part) continue;
            if (any) label.append(", ");
            label.append(**part);
            any = true;
        }
        if (label.empty()) continue;
        const bool plain = !g.bpm && !g.bar_length && !g.section && !g.text && !g.speed;
        const double y = c.y(p);
        put(main, "<text x=\"", Rounded{mx + 8.0}, "\" y=\"", Rounded{y - 1.5 * lw}, "\" transform=\"rotate(-90, ",
            Int{xl}, ", ", Rounded{y}, ")\" class=\"", plain ? "bar-count-text" : "event-text", "\">", Esc{label},
            "</text>");
    }

    // 8. Lyric words.
    if (lyric != nullptr && !index.words_by_bar.empty()) {
        const auto& words = lyric->words;
        const auto& order = index.words_by_bar;
        auto first = std::lower_bound(order.begin(), order.end(), lo,
                                      [&](std::uint32_t w, const Fraction& x) { return words[w].bar < x; });
        auto last = std::lower_bound(first, order.end(), hi,
                                     [&](std::uint32_t w, const Fraction& x) { return words[w].bar < x; });
        std::vector<std::uint32_t> shown(first, last);
        std::sort(shown.begin(), shown.end());
        for (std::uint32_t w : shown) {
            const double y = c.y(words[w].bar);
            put(main, "<text x=\"", Int{xr}, "\" y=\"", Rounded{y + 16.0}, "\" transform=\"rotate(-90, ", Int{xr},
                ", ", Rounded{y}, ")\" class=\"lyric-text\">", Esc{words[w].text}, "</text>");
        }
    }

    append_layers(layers, main);  // its own main layer is empty
    scratch = std::move(layers);
}

RenderedColumn render_column(const DrawingOptions& options, Score& score, const Lyric* lyric,
                             std::int64_t start, std::int64_t end, ChartIndex& index) {
    RenderedColumn out;
    ColumnLayers scratch;
    write_column(options, score, lyric, start, end, index, out.layers.main, scratch);
    out.width = column_width(options);
    out.height = column_height(options, score, start, end);
    return out;
}

RenderedColumn render_column(const DrawingOptions& options, Score& score, const Lyric* lyric,
                             std::int64_t start, std::int64_t end) {
    ChartIndex index = build_chart_index(score, lyric);
    return render_column(options, score, lyric, start, end, index);
}

}  // namespace qs

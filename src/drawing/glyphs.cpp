#include "drawing/glyphs.h"

#include <cmath>
#include <variant>

#include "drawing/text_forms.h"

namespace qs {

namespace {

bool type_is(const Note* n, std::initializer_list<std::int32_t> types) {
    if (n == nullptr) return false;
    std::int32_t t = note_type(*n);
    for (std::int32_t v : types) {
        if (t == v) return true;
    }
    return false;
}

bool is_trace(const Note* n) { return type_is(n, {5, 6}); }
bool is_hidden(const Note* n) { return type_is(n, {7, 8}); }
bool critical_type(const Note* n) { return type_is(n, {2, 6, 8}); }

// The tap of a directional note, or nullptr when n is none or not a directional.
const Note* tap_of_directional(const std::vector<Note>& notes, const Note* n) {
    if (n == nullptr) return nullptr;
    const auto* d = std::get_if<DirectionalNote>(n);
    return d != nullptr ? linked(notes, d->tap) : nullptr;
}

bool step_critical(const std::vector<Note>& notes, const SlideStep& s) {
    return critical_type(linked(notes, s.tap)) ||
           critical_type(tap_of_directional(notes, linked(notes, s.directional)));
}

double bezier(double a, double b, double c, double d, double t) {
    double u = 1.0 - t;
    return u * u * u * a + 3.0 * u * u * t * b + 3.0 * u * t * t * c + t * t * t * d;
}

// Two-digit size index as the image names carry it ("03", "06"; "-1" stays).
void put_size_index(TextBuffer& out, std::int32_t f) {
    if (f >= 0 && f < 10) out.push_back('0');
    append_int(out, f);
}

struct Segment {
    double xl0, xr0, e, c1;  // start edges, start height, first control height
    double xl1, xr1, c2, f;  // end edges, second control height, end height
};

}  // namespace

ColumnContext::ColumnContext(const DrawingOptions& o, Score& s, std::int64_t a, std::int64_t b)
    : options(o), score(s), start(a), end(b), end_time(float_time(s, from_integer(b))) {}

double ColumnContext::y(const Fraction& p) {
    return options.time_height * (end_time - float_time(score, p)) + options.margin_y;
}

double ColumnContext::y(const Note& n) {
    if (note_times == nullptr) return y(bar(n));
    double& t = (*note_times)[static_cast<std::size_t>(&n - score.notes.data())];
    if (std::isnan(t)) t = compute_float_time(score, bar(n));
    return options.time_height * (end_time - t) + options.margin_y;
}

bool is_critical(const std::vector<Note>& notes, const Note& n) {
    if (std::holds_alternative<TapNote>(n)) return critical_type(&n);
    if (const auto* d = std::get_if<DirectionalNote>(&n)) return critical_type(linked(notes, d->tap));
    const auto& s = std::get<SlideStep>(n);
    if (step_critical(notes, s)) return true;
    const Note* head = linked(notes, s.head);
    const auto* hs = head != nullptr ? std::get_if<SlideStep>(head) : nullptr;
    return hs != nullptr && step_critical(notes, *hs);
}

TickKind tick_kind(const std::vector<Note>& notes, const Note& n) {
    if (std::holds_alternative<TapNote>(n)) {
        if (is_trace(&n)) return TickKind::none;
        if (is_hidden(&n)) return TickKind::plain;
        return TickKind::labelled;
    }
    if (const auto* d = std::get_if<DirectionalNote>(&n)) {
        const Note* tap = linked(notes, d->tap);
        return tap == nullptr || !is_trace(tap) ? TickKind::labelled : TickKind::none;
    }
    const auto& s = std::get<SlideStep>(n);
    const Note* tap = linked(notes, s.tap);
    const Note* dir = linked(notes, s.directional);
    if (!s.is_guide) {
        if (is_hidden(tap)) return TickKind::plain;
        if (s.note_type == 5) return TickKind::plain;
        if (is_trace(tap) || is_trace(tap_of_directional(notes, dir))) return TickKind::none;
        if (s.note_type == 3) return TickKind::none;
        return TickKind::labelled;
    }
    if (is_hidden(tap)) return TickKind::plain;
    if (tap != nullptr && !type_is(tap, {5, 6, 7, 8})) return TickKind::labelled;
    if (dir == nullptr) return tap == nullptr ? TickKind::plain : TickKind::none;
    const auto* d = std::get_if<DirectionalNote>(dir);
    if (d == nullptr) return TickKind::none;
    const Note* dtap = linked(notes, d->tap);
    if (dtap == nullptr) return TickKind::labelled;
    return is_trace(dtap) ? TickKind::none : TickKind::labelled;
}

void draw_tap_glyph(ColumnContext& c, const Note& n) {
    const DrawingOptions& o = c.options;
    const std::vector<Note>& notes = c.score.notes;
    const bool is_tap = std::holds_alternative<TapNote>(n);
    const bool is_directional = std::holds_alternative<DirectionalNote>(n);
    const auto* step = std::get_if<SlideStep>(&n);

    bool trace;
    if (is_tap) {
        if (is_hidden(&n)) return;
        trace = is_trace(&n);
    } else if (is_directional) {
        trace = is_trace(linked(notes, std::get<DirectionalNote>(n).tap));
    } else {
        const Note* tap = linked(notes, step->tap);
        if (is_hidden(tap)) return;
        trace = is_trace(tap) || is_trace(tap_of_directional(notes, linked(notes, step->directional)));
    }

    const double lw = o.lane_width;
    const double mx = o.margin_x;
    const std::int32_t l = lane(n);
    const std::int32_t w = width(n);
    const double yc = c.y(n);
    const bool critical = is_critical(notes, n);
    TextBuffer& out = c.layers.taps;

    int k;
    if (trace) {
        const double s = 0.75 * lw;
        const char* name = critical         ? "notes_friction_among_crtcl"
                           : is_directional ? "notes_friction_among_flick"
                                            : "notes_friction_among_long";
        put(out, "<image href=\"", o.note_host, '/', name, '.', o.note_asset_extension, "\" x=\"",
            Rounded{(l + w / 2.0 - 2.0) * lw + mx - s / 2.0}, "\" y=\"", Rounded{yc - s / 2.0},
            "\" width=\"", Rounded{s}, "\" height=\"", Rounded{s}, "\"/>");
        k = critical ? 5 : is_directional ? 6 : 4;
    } else if (critical) {
        k = 0;
    } else if (is_directional) {
        k = 3;
    } else if (is_tap) {
        k = 2;
    } else {
        k = step->note_type == 2 && linked(notes, step->directional) != nullptr ? 3 : 1;
    }

    const double h = lw / 64.0 * 56.0 * 2.0;
    put(out, "<use href=\"#notes-", Int{k}, '-', Int{w}, "\" x=\"", Rounded{(l - 2.5) * lw + mx},
        "\" y=\"", Rounded{yc - h / 2.0}, "\" width=\"", Rounded{lw * (w + 1.0)}, "\" height=\"",
        Rounded{h}, "\"/>");
}

void draw_flick_arrow(ColumnContext& c, const Note& n) {
    const DrawingOptions& o = c.options;
    const std::vector<Note>& notes = c.score.notes;
    std::int32_t d;
    if (const auto* dn = std::get_if<DirectionalNote>(&n)) {
        d = dn->note_type;
    } else if (const auto* s = std::get_if<SlideStep>(&n)) {
        if (is_hidden(linked(notes, s->tap))) return;
        const Note* dir = linked(notes, s->directional);
        if (dir == nullptr) return;
        d = note_type(*dir);
    } else {
        return;
    }
    if (d == 2 || d == 5 || d == 6) return;

    const std::int32_t l = lane(n);
    const std::int32_t w = width(n);
    const std::int32_t f = w <= 5 ? w : 6;
    const double size = o.flick_arrow_size;
    const double height = size * std::pow((f + 3.0) / 3.0, 0.75);
    const double wide = size * 1.5 * std::pow((f + 0.5) / 3.0, 0.75);
    const double centre = (l - 2.0 + w / 2.0) * o.lane_width + o.margin_x;
    const double quarter = o.note_size / 4.0;
    const double shift = d == 3 ? -quarter : d == 4 ? quarter : 0.0;
    const double yc = c.y(n);

    TextBuffer& t = c.layers.flicks;
    put(t, "<image href=\"", o.note_host, "/notes_flick_arrow", is_critical(notes, n) ? "_crtcl" : "", '_');
    put_size_index(t, f);
    put(t, d == 3 || d == 4 ? "_diagonal" : "", '.', o.note_asset_extension, "\" x=\"",
        Rounded{centre - wide / 2.0 + shift}, "\" y=\"", Rounded{yc + quarter - height}, "\" width=\"",
        Rounded{wide}, "\" height=\"", Rounded{height}, '"');
    if (d == 4) {
        put(t, " transform-origin=\"", Rounded{centre + shift}, " 0\" transform=\"scale(-1, 1)\"");
    }
    put(t, "/>");
    c.layers.flick_ends.push_back(t.size());
}

void draw_slide(ColumnContext& c, NoteIndex first) {
    const DrawingOptions& o = c.options;
    const std::vector<Note>& notes = c.score.notes;
    const auto* s0 = first < notes.size() ? std::get_if<SlideStep>(&notes[first]) : nullptr;
    if (s0 == nullptr) return;

    const double lw = o.lane_width;
    const double mx = o.margin_x;
    const double g = s0->is_guide ? 0.0 : o.slide_inset;
    auto left = [&](const Note& n) { return (lane(n) - 2.0) * lw + mx - g; };
    auto right = [&](const Note& n) { return (lane(n) + width(n) - 2.0) * lw + mx + g; };

    std::vector<Segment> segments;
    std::vector<const Note*> markers;
    // Links come from the readers and never cycle; the bound only keeps a damaged
    // chart from looping.
    std::size_t budget = notes.size() + 1;
    const SlideStep* s = s0;
    const Note* s_note = &notes[first];
    while (budget > 0) {
        const Note* reached = linked(notes, s->next);
        if (reached == nullptr) break;
        markers.clear();
        while (true) {
            --budget;
            if (note_type(*reached) == 3) markers.push_back(reached);
            const auto* rs = std::get_if<SlideStep>(reached);
            const Note* after = rs != nullptr ? linked(notes, rs->next) : nullptr;
            const bool relay = rs != nullptr &&
                               ((rs->note_type == 3 && linked(notes, rs->tap) != nullptr &&
                                 linked(notes, rs->directional) == nullptr) ||
                                rs->note_type == 0);
            if (after == nullptr || !relay || budget == 0) break;
            reached = after;
        }

        Segment seg;
        seg.e = c.y(*s_note);
        seg.f = c.y(*reached);
        const double m = (seg.e + seg.f) / 2.0;
        seg.c1 = seg.e;
        seg.c2 = seg.f;
        if (const Note* dir = linked(notes, s->directional)) {
            const std::int32_t dt = note_type(*dir);
            seg.c1 = dt != 2 ? seg.e : m;
            seg.c2 = dt == 5 || dt == 6 ? m : seg.f;
        }
        seg.xl0 = (s->lane - 2.0) * lw + mx - g;
        seg.xr0 = (s->lane + s->width - 2.0) * lw + mx + g;
        seg.xl1 = left(*reached);
        seg.xr1 = right(*reached);
        segments.push_back(seg);

        for (const Note* marker : markers) {
            const double yb = c.y(*marker);
            double lo = 0.0;
            double hi = 1.0;
            double t = 0.5;
            for (int i = 0; i < 100; ++i) {
                const double yt = bezier(seg.e, seg.c1, seg.c2, seg.f, t);
                if (std::fabs(yt - yb) <= 0.1) break;
                // Heights fall as the curve runs on when the slide goes up the column.
                if ((yt > yb) == (seg.e >= seg.f)) {
                    lo = t;
                } else {
                    hi = t;
                }
                t = (lo + hi) / 2.0;
            }
            const double centre = (bezier(seg.xl0, seg.xl0, seg.xl1, seg.xl1, t) +
                                   bezier(seg.xr0, seg.xr0, seg.xr1, seg.xr1, t)) /
                                  2.0;
            put(c.layers.decorations, "<image href=\"", o.note_host, '/',
                is_critical(notes, *marker) ? "notes_long_among_crtcl" : "notes_long_among", '.',
                o.note_asset_extension, "\" x=\"", Rounded{centre - lw / 2.0}, "\" y=\"",
                Rounded{yb - lw / 2.0}, "\" width=\"", Int{o.lane_width}, "\" height=\"",
                Int{o.lane_width}, "\"/>");
        }

        const auto* rs = std::get_if<SlideStep>(reached);
        if (rs == nullptr || rs->note_type == 2 || linked(notes, rs->next) == nullptr) break;
        s = rs;
        s_note = reached;
    }

    // A start with nothing after it has no body to draw.
    if (segments.empty()) return;

    TextBuffer& out = c.layers.slides;
    put(out, "<path d=\"M", Rounded{segments.front().xl0}, ',', Rounded{segments.front().e});
    for (const Segment& seg : segments) {
        put(out, 'C', Rounded{seg.xl0}, ',', Rounded{seg.c1}, ',', Rounded{seg.xl1}, ',', Rounded{seg.c2},
            ',', Rounded{seg.xl1}, ',', Rounded{seg.f});
    }
    put(out, 'L', Rounded{segments.back().xr1}, ',', Rounded{segments.back().f});
    for (auto it = segments.rbegin(); it != segments.rend(); ++it) {
        put(out, 'C', Rounded{it->xr1}, ',', Rounded{it->c2}, ',', Rounded{it->xr0}, ',', Rounded{it->c1},
            ',', Rounded{it->xr0}, ',', Rounded{it->e});
    }
    const bool critical = is_critical(notes, notes[first]);
    const char* cls = s0->is_guide ? (critical ? "decoration-critical" : "decoration")
                                   : (critical ? "slide-critical" : "slide");
    put(out, "z\" class=\"", cls, "\"/>");
}

}  // namespace qs

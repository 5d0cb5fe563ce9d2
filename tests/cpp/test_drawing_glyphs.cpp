// Note glyphs: critical and tick predicates, note bars, trace marks, flick arrows, slides.
#include <gtest/gtest.h>

#include <string>

#include "drawing/glyphs.h"
#include "drawing/options.h"
#include "drawing_charts.h"

namespace qs {
namespace {

using namespace qs::testing;

const std::string HOST = "https://static.quorvel.example/live/note/custom01";

std::string flicks_text(const ColumnLayers& l) { return std::string(l.flicks.view()); }

TEST(Critical, ByKindAndLinks) {
    Score s = chart({tap(F(0), 2, 2, 2), tap(F(1), 2, 2, 6), tap(F(2), 2, 2, 1), tap(F(3), 4, 2, 2),
                     flick(F(3), 4, 2), flick(F(4), 4, 2)});
    const auto& n = s.notes;
    EXPECT_TRUE(is_critical(n, n[find_note<TapNote>(s, F(0))]));
    EXPECT_TRUE(is_critical(n, n[find_note<TapNote>(s, F(1))]));
    EXPECT_FALSE(is_critical(n, n[find_note<TapNote>(s, F(2))]));
    EXPECT_TRUE(is_critical(n, n[find_note<DirectionalNote>(s, F(3))]));   // critical tap under it
    EXPECT_FALSE(is_critical(n, n[find_note<DirectionalNote>(s, F(4))]));  // no tap

    // A slide whose head carries a critical tap is critical at every step.
    Score slide = chart({tap(F(0), 2, 2, 2), step(F(0), 2, 2, 1), step(F(1, 2), 2, 2, 3), step(F(1), 2, 2, 2)});
    for (NoteIndex i : slide.active_notes) EXPECT_TRUE(is_critical(slide.notes, slide.notes[i]));
    Score plain = chart({tap(F(0), 2, 2, 1), step(F(0), 2, 2, 1), step(F(1), 2, 2, 2)});
    for (NoteIndex i : plain.active_notes) EXPECT_FALSE(is_critical(plain.notes, plain.notes[i]));
}

TEST(TickKind, TapsAndDirectionals) {
    const std::pair<int, TickKind> taps[] = {{1, TickKind::labelled}, {2, TickKind::labelled},
                                             {5, TickKind::none},     {6, TickKind::none},
                                             {7, TickKind::plain},    {8, TickKind::plain},
                                             {3, TickKind::labelled}};
    for (const auto& [type, want] : taps) {
        Score s = chart({tap(F(0), 2, 2, type)});
        EXPECT_EQ(tick_kind(s.notes, s.notes[s.active_notes[0]]), want) << type;
    }
    Score bare = chart({flick(F(0), 2, 2)});
    EXPECT_EQ(tick_kind(bare.notes, bare.notes[bare.active_notes[0]]), TickKind::labelled);
    Score traced = chart({tap(F(0), 2, 2, 5), flick(F(0), 2, 2)});
    EXPECT_EQ(tick_kind(traced.notes, traced.notes[traced.active_notes[0]]), TickKind::none);
}

TEST(TickKind, SlideSteps) {
    // start (tap hidden) -> relay 3 -> invisible relay 5 -> end with trace tap
    Score s = chart({tap(F(0), 2, 2, 7), step(F(0), 2, 2, 1), step(F(1, 4), 2, 2, 3), step(F(1, 2), 2, 2, 5),
                     tap(F(1), 2, 2, 5), step(F(1), 2, 2, 2)});
    const auto kind_at = [&](Fraction at) { return tick_kind(s.notes, s.notes[find_note<SlideStep>(s, at)]); };
    EXPECT_EQ(kind_at(F(0)), TickKind::plain);
    EXPECT_EQ(kind_at(F(1, 4)), TickKind::none);
    EXPECT_EQ(kind_at(F(1, 2)), TickKind::plain);
    EXPECT_EQ(kind_at(F(1)), TickKind::none);
    Score plain = chart({step(F(0), 2, 2, 1), step(F(1), 2, 2, 2)});
    EXPECT_EQ(tick_kind(plain.notes, plain.notes[plain.active_notes[0]]), TickKind::labelled);

    // Guides: a bare step is plain, a step with an ordinary tap labelled, with a trace tap none.
    Score guide = chart({step(F(0), 2, 2, 1, 0, true), tap(F(1), 2, 2, 1), step(F(1), 2, 2, 2, 0, true),
                         tap(F(2), 2, 2, 5), step(F(2), 2, 2, 1, 1, true), step(F(3), 2, 2, 2, 1, true)});
    const auto guide_at = [&](Fraction at) { return tick_kind(guide.notes, guide.notes[find_note<SlideStep>(guide, at)]); };
    EXPECT_EQ(guide_at(F(0)), TickKind::plain);
    EXPECT_EQ(guide_at(F(1)), TickKind::labelled);
    EXPECT_EQ(guide_at(F(2)), TickKind::none);
}

TEST(TapGlyph, UseElementAtTheColumnTop) {
    Score s = chart({tap(F(4), 2, 3)});
    DrawingOptions o = build_options({});
    ColumnContext c(o, s, 0, 4);
    draw_tap_glyph(c, s.notes[s.active_notes[0]]);
    EXPECT_EQ(c.layers.taps.view(), "<use href=\"#notes-2-3\" x=\"32\" y=\"18\" width=\"64\" height=\"28\"/>");
}

TEST(TapGlyph, SymbolPerKind) {
    // critical tap 0, slide start 1, tap 2, flick 3, trace 4, critical trace 5, trace under a flick 6
    Score s = chart({tap(F(4), 2, 1, 2), tap(F(4), 3, 1, 1), flick(F(4), 4, 1), tap(F(4), 5, 1, 5),
                     tap(F(4), 6, 1, 6), tap(F(4), 7, 1, 5), flick(F(4), 7, 1), tap(F(4), 8, 1, 7),
                     step(F(4), 9, 1, 1), step(F(5), 9, 1, 2)});
    DrawingOptions o = build_options({});
    ColumnContext c(o, s, 0, 4);
    for (NoteIndex i : s.active_notes) {
        if (bar(s.notes[i]) == F(4)) draw_tap_glyph(c, s.notes[i]);
    }
    const std::string taps(c.layers.taps.view());
    for (int k : {0, 1, 2, 3, 4, 5, 6}) EXPECT_EQ(count(taps, "#notes-" + std::to_string(k) + "-1\""), 1u) << k;
    EXPECT_EQ(count(taps, "<use "), 7u);  // the hidden note draws nothing
    EXPECT_EQ(count(taps, "notes_friction_among_long.png"), 1u);
    EXPECT_EQ(count(taps, "notes_friction_among_crtcl.png"), 1u);
    EXPECT_EQ(count(taps, "notes_friction_among_flick.png"), 1u);
    // Trace mark of the lane-5 note: 12 units square, centred on the note.
    EXPECT_NE(taps.find("<image href=\"" + HOST + "/notes_friction_among_long.png\" x=\"90\" y=\"26\" width=\"12\" "
                        "height=\"12\"/><use href=\"#notes-4-1\""),
              std::string::npos)
        << taps;
}

TEST(FlickArrow, SizesDirectionsAndMirror) {
    struct Case {
        int width, type, tap_type;
        const char* want;
    };
    const Case cases[] = {
        {8, 1, 2, "/notes_flick_arrow_crtcl_06.png\" x=\"72\" y=\"-19\" width=\"64\" height=\"55\"/>"},
        {2, 1, 0, "/notes_flick_arrow_02.png\" x=\"40\" y=\"1\" width=\"31\" height=\"35\"/>"},
        {2, 3, 0, "/notes_flick_arrow_02_diagonal.png\" x=\"36\" y=\"1\" width=\"31\" height=\"35\"/>"},
        {1, 4, 0,
         "/notes_flick_arrow_01_diagonal.png\" x=\"41\" y=\"6\" width=\"21\" height=\"30\" "
         "transform-origin=\"52 0\" transform=\"scale(-1, 1)\"/>"},
    };
    DrawingOptions o = build_options({});
    for (const Case& k : cases) {
        std::vector<Note> notes{flick(F(4), 2, k.width, k.type)};
        if (k.tap_type != 0) notes.push_back(tap(F(4), 2, k.width, k.tap_type));
        Score s = chart(notes);
        ColumnContext c(o, s, 0, 4);
        draw_flick_arrow(c, s.notes[s.active_notes[0]]);
        EXPECT_EQ(flicks_text(c.layers), "<image href=\"" + HOST + k.want);
    }
    for (int curve : {2, 5, 6}) {
        Score s = chart({flick(F(4), 2, 2, curve)});
        ColumnContext c(o, s, 0, 4);
        draw_flick_arrow(c, s.notes[s.active_notes[0]]);
        EXPECT_TRUE(c.layers.flicks.empty()) << curve;
    }
}

struct SlideCase {
    const char* name;
    std::vector<Note> notes;
    const char* path;
    const char* decorations;
};

TEST(Slide, BodiesAndMarkers) {
    const std::string marker = "<image href=\"" + HOST + "/notes_long_among.png\" x=\"48\" y=\"384\" width=\"16\" height=\"16\"/>";
    const SlideCase cases[] = {
        {"straight", {step(F(0), 2, 2, 1), step(F(1), 4, 2, 2)},
         "<path d=\"M41,752C41,752,73,32,73,32L103,32C103,32,71,752,71,752z\" class=\"slide\"/>", ""},
        {"curve type 2 moves the first control", {step(F(0), 2, 2, 1), flick(F(0), 2, 2, 2), step(F(1), 4, 2, 2)},
         "<path d=\"M41,752C41,392,73,32,73,32L103,32C103,32,71,392,71,752z\" class=\"slide\"/>", ""},
        {"curve type 5 moves the second control", {step(F(0), 2, 2, 1), flick(F(0), 2, 2, 5), step(F(1), 4, 2, 2)},
         "<path d=\"M41,752C41,752,73,392,73,32L103,32C103,392,71,752,71,752z\" class=\"slide\"/>", ""},
        {"guide ignores the inset", {step(F(0), 2, 2, 1, 0, true), step(F(1), 4, 2, 2, 0, true)},
         "<path d=\"M40,752C40,752,72,32,72,32L104,32C104,32,72,752,72,752z\" class=\"decoration\"/>", ""},
        {"critical guide", {tap(F(0), 2, 2, 2), step(F(0), 2, 2, 1, 0, true), step(F(1), 4, 2, 2, 0, true)},
         "<path d=\"M40,752C40,752,72,32,72,32L104,32C104,32,72,752,72,752z\" class=\"decoration-critical\"/>", ""},
        {"critical slide", {tap(F(0), 2, 2, 2), step(F(0), 2, 2, 1), step(F(1), 4, 2, 2)},
         "<path d=\"M41,752C41,752,73,32,73,32L103,32C103,32,71,752,71,752z\" class=\"slide-critical\"/>", ""},
        {"relay without tap splits the body", {step(F(0), 2, 2, 1), step(F(1, 2), 2, 2, 3), step(F(1), 2, 2, 2)},
         "<path d=\"M41,752C41,752,41,392,41,392C41,392,41,32,41,32L71,32C71,32,71,392,71,392C71,392,71,752,71,752z\" "
         "class=\"slide\"/>",
         marker.c_str()},
        {"relay with tap keeps one segment", {step(F(0), 2, 2, 1), tap(F(1, 2), 2, 2), step(F(1, 2), 2, 2, 3), step(F(1), 2, 2, 2)},
         "<path d=\"M41,752C41,752,41,32,41,32L71,32C71,32,71,752,71,752z\" class=\"slide\"/>", marker.c_str()},
        {"invisible relay splits without marker", {step(F(0), 2, 2, 1), step(F(1, 2), 2, 2, 5), step(F(1), 2, 2, 2)},
         "<path d=\"M41,752C41,752,41,392,41,392C41,392,41,32,41,32L71,32C71,32,71,392,71,392C71,392,71,752,71,752z\" "
         "class=\"slide\"/>",
         ""},
        {"a start without a next step has no body", {step(F(0), 2, 2, 1)}, "", ""},
    };
    DrawingOptions o = build_options({});
    for (const SlideCase& k : cases) {
        Score s = chart(k.notes);
        ColumnContext c(o, s, 0, 1);
        draw_slide(c, find_note<SlideStep>(s, F(0)));
        EXPECT_EQ(c.layers.slides.view(), k.path) << k.name;
        EXPECT_EQ(c.layers.decorations.view(), k.decorations) << k.name;
    }
}

TEST(Slide, MarkerOnACurveFollowsTheCurve) {
    // Curve mark of type 2 on the start bends the body; the relay (with a tap, so no new
    // segment) sits where the curve crosses its height, about a third of the way along.
    Score s = chart({step(F(0), 2, 2, 1), flick(F(0), 2, 2, 2), tap(F(1, 2), 4, 2), step(F(1, 2), 4, 2, 3),
                     step(F(1), 6, 2, 2)});
    DrawingOptions o = build_options({});
    ColumnContext c(o, s, 0, 1);
    draw_slide(c, find_note<SlideStep>(s, F(0)));
    EXPECT_EQ(c.layers.decorations.view(),
              "<image href=\"" + HOST + "/notes_long_among.png\" x=\"66\" y=\"384\" width=\"16\" height=\"16\"/>");
}

}  // namespace
}  // namespace qs

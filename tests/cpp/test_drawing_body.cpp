// One column of the chart body: geometry, lines, events, ticks, overlays, lyrics and
// which notes a column draws.
#include <gtest/gtest.h>

#include <string>

#include "drawing/body.h"
#include "drawing/options.h"
#include "drawing_charts.h"

namespace qs {
namespace {

using namespace qs::testing;

std::string column(Score& s, std::int64_t a, std::int64_t b, const DrawingOptions& o, const Lyric* lyric = nullptr) {
    return render_column(o, s, lyric, a, b).text();
}

std::string column(Score& s, std::int64_t a, std::int64_t b) { return column(s, a, b, build_options({})); }

TEST(Column, GeometryAndLines) {
    Score s = chart({});
    DrawingOptions o = build_options({});
    RenderedColumn c = render_column(o, s, nullptr, 0, 4);
    EXPECT_EQ(c.width, 272.0);
    EXPECT_EQ(c.height, 2944.0);
    const std::string t = c.text();
    EXPECT_TRUE(t.starts_with("<rect x=\"0\" y=\"0\" width=\"272\" height=\"2944\" class=\"background\"/>"
                              "<rect x=\"40\" y=\"0\" width=\"192\" height=\"2944\" class=\"lane\"/>"
                              "<line x1=\"40\" y1=\"0\" x2=\"40\" y2=\"2944\" class=\"lane-line\"/>"))
        << t.substr(0, 300);
    EXPECT_EQ(count(t, "class=\"lane-line\""), 13u);
    EXPECT_NE(t.find("<line x1=\"40\" y1=\"32\" x2=\"232\" y2=\"32\" class=\"bar-line\"/>"), std::string::npos);
    EXPECT_NE(t.find("<line x1=\"40\" y1=\"2912\" x2=\"232\" y2=\"2912\" class=\"bar-line\"/>"
                     "<line x1=\"40\" y1=\"2732\" x2=\"232\" y2=\"2732\" class=\"beat-line\"/>"),
              std::string::npos);
    EXPECT_EQ(count(t, "class=\"bar-line\""), 5u);
    EXPECT_EQ(count(t, "class=\"beat-line\""), 15u);
}

TEST(Column, BeatLinesFollowTheBarLength) {
    for (const auto& [length, beats] : {std::pair{F(3), 2u}, std::pair{F(9, 2), 4u}, std::pair{F(1), 0u}}) {
        Event e;
        e.bar = F(0);
        e.bar_length = length;
        Score s = chart({}, {e});
        EXPECT_EQ(count(column(s, 0, 1), "class=\"beat-line\""), 2 * beats) << to_text(length);
    }
}

TEST(Column, EventGroupsMergeWithinASixteenth) {
    Score s = chart({}, {tempo(F(4), 150)});
    const std::string t = column(s, 0, 4);
    EXPECT_NE(t.find("<line x1=\"0\" y1=\"32\" x2=\"40\" y2=\"32\" class=\"bar-count-flag\"/>"
                     "<line x1=\"0\" y1=\"32\" x2=\"40\" y2=\"32\" class=\"event-flag\"/>"),
              std::string::npos);
    EXPECT_NE(t.find("<text x=\"48\" y=\"8\" transform=\"rotate(-90, 40, 32)\" class=\"event-text\">#4, 150 BPM</text>"),
              std::string::npos);
    EXPECT_NE(t.find("class=\"bar-count-text\">#0</text>"), std::string::npos);

    Score late = chart({}, {tempo(F(129, 32), 150)});
    const std::string u = column(late, 0, 4);
    EXPECT_NE(u.find("class=\"event-text\">150 BPM</text>"), std::string::npos);
    EXPECT_EQ(u.find("#4"), std::string::npos);

    Score apart = chart({}, {tempo(F(4) + F(1, 8), 150)});
    const std::string v = column(apart, 0, 4);
    EXPECT_NE(v.find("class=\"bar-count-text\">#4</text>"), std::string::npos);
    EXPECT_NE(v.find("class=\"event-text\">150 BPM</text>"), std::string::npos);
}

TEST(Column, EventLabelParts) {
    Event e;
    e.bar = F(1);
    e.bar_length = F(3);
    e.section = "Verse & <B>";
    e.text = "SKILL";
    Score s = chart({}, {e});
    EXPECT_NE(column(s, 0, 4).find("class=\"event-text\">#1, 3/4, Verse &amp; &lt;B&gt;, SKILL</text>"),
              std::string::npos);
}

TEST(Column, SpeedMarksTakeNoFlag) {
    Event e;
    e.bar = F(3, 2);
    e.speed = 1.5;
    Score s = chart({}, {e});
    const std::string t = column(s, 0, 4);
    EXPECT_TRUE(t.ends_with("<line x1=\"40\" y1=\"1832\" x2=\"232\" y2=\"1832\" class=\"speed-line\"/>"
                            "<text x=\"230\" y=\"1830\" class=\"speed-text\">1.5x</text>"));
    EXPECT_EQ(t.find("y1=\"1832\" x2=\"40\""), std::string::npos);
    EXPECT_EQ(count(t, "-flag\""), 5u);  // the five bare bar events only
}

TEST(Column, IntervalTickLabels) {
    struct Case {
        const char* name;
        std::vector<Note> notes;
        std::vector<Event> events;
        const char* label;
    };
    Event three;
    three.bar = F(0);
    three.bar_length = F(3);
    const Case cases[] = {
        {"a sixteenth", {tap(F(0), 2, 2), tap(F(1, 16), 4, 2)}, {}, "/16"},
        {"three eighths", {tap(F(0), 2, 2), tap(F(3, 8), 4, 2)}, {}, "3/8"},
        {"last note: to the bar line", {tap(F(1, 4), 2, 2)}, {}, "3/4"},
        {"same bar, gap above a half", {tap(F(0), 2, 2), tap(F(3, 4), 4, 2)}, {}, "3/4"},
        {"across a bar line, gap above a half: to the bar line", {tap(F(1, 4), 2, 2), tap(F(2), 4, 2)}, {}, "3/4"},
        {"bar length 3", {tap(F(0), 2, 2), tap(F(1, 3), 4, 2)}, {three}, "/4"},
        {"trace notes are skipped as partners", {tap(F(0), 2, 2), tap(F(1, 8), 4, 2, 5), tap(F(1, 4), 6, 2)}, {}, "/4"},
    };
    for (const Case& k : cases) {
        Score s = chart(k.notes, k.events);
        const std::string t = column(s, 0, 4);
        // The first note's label is the first tick text.
        const std::string want = std::string("class=\"tick-text\">") + k.label + "</text>";
        EXPECT_EQ(t.find("class=\"tick-text\""), t.find(want)) << k.name;
        EXPECT_NE(t.find(want), std::string::npos) << k.name;
    }
    Score s = chart({tap(F(0), 2, 2), tap(F(1, 16), 4, 2)});
    EXPECT_NE(column(s, 0, 4).find("<line x1=\"16\" y1=\"2912\" x2=\"40\" y2=\"2912\" class=\"tick-line\"/>"
                                   "<text x=\"36\" y=\"2910\" class=\"tick-text\">/16</text>"),
              std::string::npos);
    Score hidden = chart({tap(F(0), 2, 2, 7)});
    EXPECT_TRUE(column(hidden, 0, 4).find("<line x1=\"32\" y1=\"2912\" x2=\"40\" y2=\"2912\" class=\"tick-line\"/>") !=
                std::string::npos);
}

TEST(Column, OverlaysAreCutToTheColumn) {
    Score s = chart({});
    DrawingOptions o = build_options({});
    o.overlays.push_back(OverlayRect{"skill-great", F(1), F(3)});
    o.overlays.push_back(OverlayRect{"skill-duration", F(5), F(20)});
    o.overlays.push_back(OverlayText{"skill-score", "+1.00%", F(6)});
    o.overlays.push_back(OverlayText{"skill-score", "far", F(9)});
    const std::string t = column(s, 4, 8, o);
    EXPECT_EQ(t.find("skill-great"), std::string::npos);
    EXPECT_NE(t.find("<rect x=\"40\" y=\"-112\" width=\"192\" height=\"2304\" class=\"skill-duration\"/>"),
              std::string::npos);
    EXPECT_NE(t.find("<text x=\"269\" y=\"1472\" transform=\"rotate(-90, 269, 1472)\" class=\"skill-score\">+1.00%</text>"),
              std::string::npos);
    EXPECT_EQ(t.find(">far<"), std::string::npos);
}

TEST(Column, LyricsInRange) {
    Score s = chart({});
    Lyric lyric;
    lyric.words = {{"late", F(9)}, {"a<b", F(2)}, {"early", F(-2)}, {"edge", F(-1)}};
    const std::string t = column(s, 0, 4, build_options({}), &lyric);
    EXPECT_NE(t.find("<text x=\"232\" y=\"1488\" transform=\"rotate(-90, 232, 1472)\" class=\"lyric-text\">a&lt;b</text>"),
              std::string::npos);
    EXPECT_NE(t.find(">edge</text>"), std::string::npos);
    EXPECT_EQ(t.find(">late<"), std::string::npos);
    EXPECT_EQ(t.find(">early<"), std::string::npos);
    EXPECT_LT(t.find(">a&lt;b<"), t.find(">edge<"));  // text order, not bar order
}

TEST(Column, NotesNearTheColumnOnly) {
    Score s = chart({tap(F(-2), 2, 1), tap(F(-1), 3, 1), tap(F(4), 4, 1), tap(F(9, 2), 5, 1), tap(F(5), 6, 1)});
    const std::string t = column(s, 0, 4);
    EXPECT_EQ(count(t, "<use "), 3u);
    EXPECT_EQ(t.find("#notes-2-1\" x=\"0\""), std::string::npos);  // lane 2 at bar -2
    EXPECT_EQ(t.find("#notes-2-1\" x=\"88\""), std::string::npos);  // lane 6 at bar 5
}

TEST(Column, SlideVisibilityWalk) {
    // Column [4, 8): the range tested is [3, 9).
    struct Case {
        const char* name;
        std::vector<Note> notes;
        bool drawn;
    };
    const Case cases[] = {
        {"crosses the whole column", {step(F(1), 2, 2, 1), step(F(10), 2, 2, 2)}, true},
        {"ends before the range", {step(F(0), 2, 2, 1), step(F(2), 2, 2, 2)}, false},
        {"starts after the range", {step(F(9), 2, 2, 1), step(F(10), 2, 2, 2)}, false},
        {"ends inside", {step(F(0), 2, 2, 1), step(F(3), 2, 2, 2)}, true},
        {"lands exactly on end + 1", {step(F(1), 2, 2, 1), step(F(9), 2, 2, 2)}, true},
        {"a marker relay inside, decided by the others", {step(F(0), 2, 2, 1), tap(F(5), 2, 2), step(F(5), 2, 2, 3), step(F(20), 2, 2, 2)},
         true},
        {"an invisible relay inside", {step(F(0), 2, 2, 1), step(F(5), 2, 2, 5), step(F(20), 2, 2, 2)}, true},
    };
    for (const Case& k : cases) {
        Score s = chart(k.notes);
        const NoteIndex head = find_note<SlideStep>(s, bar(k.notes[0]));
        EXPECT_EQ(slide_reaches(s.notes, head, 4, 8), k.drawn) << k.name;
        const std::string t = column(s, 4, 8);
        EXPECT_EQ(t.find("<path ") != std::string::npos, k.drawn) << k.name;
    }
}

TEST(Column, MarkerRelaysDoNotDecideVisibility) {
    // Linked by hand: start at 0, a relay at 5 (inside [3, 9)), back to an end at 1.
    for (bool with_tap : {true, false}) {
        Score s;
        SlideStep start = std::get<SlideStep>(step(F(0), 2, 2, 1));
        start.head = 0;
        start.next = 2;
        SlideStep relay = std::get<SlideStep>(step(F(5), 2, 2, 3));
        relay.head = 0;
        relay.next = 3;
        relay.tap = with_tap ? 1 : NO_INDEX;
        SlideStep end = std::get<SlideStep>(step(F(1), 2, 2, 2));
        end.head = 0;
        s.notes = {start, tap(F(5), 2, 2), relay, end};
        EXPECT_EQ(slide_reaches(s.notes, 0, 4, 8), !with_tap);
    }
}

TEST(Column, SlideStepsDrawInListOrder) {
    // A long slide crossing the column plus taps inside it: the slide's steps are drawn
    // although they lie outside, and everything keeps the order of active_notes.
    Score s = chart({step(F(0), 2, 2, 1), tap(F(5), 6, 1), step(F(20), 2, 2, 2), tap(F(6), 7, 1)});
    const std::string t = column(s, 4, 8);
    const std::size_t slide_tap = t.find("#notes-1-2\"");
    const std::size_t first_tap = t.find("#notes-2-1\"");
    ASSERT_NE(slide_tap, std::string::npos);
    ASSERT_NE(first_tap, std::string::npos);
    EXPECT_LT(slide_tap, first_tap);
    EXPECT_EQ(count(t, "#notes-1-2\""), 2u);  // start and end glyphs
    // Same result for the columns taken one after another with one shared index.
    ChartIndex index = build_chart_index(s, nullptr);
    DrawingOptions o = build_options({});
    std::string joined;
    for (std::int64_t a = 0; a < 24; a += 4) joined += render_column(o, s, nullptr, a, a + 4, index).text();
    std::string alone;
    for (std::int64_t a = 0; a < 24; a += 4) alone += column(s, a, a + 4);
    EXPECT_EQ(joined, alone);
}

TEST(Column, LayerOrder) {
    Event e;
    e.bar = F(1);
    e.speed = 2.0;
    Score s = chart({step(F(0), 2, 2, 1), step(F(1), 2, 2, 2), flick(F(1), 6, 2), flick(F(2), 8, 2)}, {e});
    const std::string t = column(s, 0, 4);
    const std::size_t lanes = t.find("class=\"lane\"");
    const std::size_t body = t.find("<path ");
    const std::size_t glyph = t.find("<use ");
    const std::size_t arrow_late = t.find("notes_flick_arrow_02.png\" x=\"136\"");
    const std::size_t arrow_early = t.find("notes_flick_arrow_02.png\" x=\"104\"");
    const std::size_t tick = t.find("tick-line");
    const std::size_t speed = t.find("speed-line");
    ASSERT_NE(arrow_late, std::string::npos);
    ASSERT_NE(arrow_early, std::string::npos);
    EXPECT_LT(lanes, body);
    EXPECT_LT(body, glyph);
    EXPECT_LT(glyph, arrow_late);
    EXPECT_LT(arrow_late, arrow_early);
    EXPECT_LT(arrow_early, tick);
    EXPECT_LT(tick, speed);
}

}  // namespace
}  // namespace qs

#include "score_json/score_json.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "score/sus.h"

namespace {

using qs::DirectionalNote;
using qs::Fraction;
using qs::NO_INDEX;
using qs::Score;
using qs::SlideStep;
using qs::TapNote;

Score read_ok(const std::string& text) {
    auto r = qs::read_chart_json(text);
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error());
    return r.ok() ? std::move(r).value() : Score{};
}

// One note object; `extra` is appended inside the braces (start it with a comma).
std::string note(long id, long ticks, int lane_start, int lane_end, int category, int base,
                 long prev = -1, long next = -1, const std::string& extra = "") {
    return "{\"id\":" + std::to_string(id) + ",\"ticks\":" + std::to_string(ticks) +
           ",\"laneStart\":" + std::to_string(lane_start) + ",\"laneEnd\":" + std::to_string(lane_end) +
           ",\"category\":" + std::to_string(category) + ",\"noteBaseType\":" + std::to_string(base) +
           ",\"previousConnectionId\":" + std::to_string(prev) +
           ",\"nextConnectionId\":" + std::to_string(next) + extra + "}";
}

std::string chart(const std::vector<std::string>& notes, const std::string& events = "",
                  const std::string& root_extra = "") {
    std::string s = "{\"MusicScoreEventDataList\":[" + events + "],\"NoteList\":[";
    for (std::size_t i = 0; i < notes.size(); ++i) {
        if (i) s += ",";
        s += notes[i];
    }
    return s + "]" + root_extra + "}";
}

template <class T>
const T& as(const Score& s, qs::NoteIndex i) {
    EXPECT_LT(i, s.notes.size());
    EXPECT_TRUE(std::holds_alternative<T>(s.notes[i])) << "note " << i << " kind " << s.notes[i].index();
    static const T empty{};
    const T* p = std::get_if<T>(&s.notes[i]);
    return p ? *p : empty;
}

// ---- document shape ----------------------------------------------------------

TEST(ChartJson, EmptyObjectAndNonObjects) {
    Score s = read_ok("{}");
    EXPECT_TRUE(s.notes.empty());
    EXPECT_TRUE(s.active_notes.empty());
    EXPECT_TRUE(s.events.empty());
    EXPECT_FALSE(s.meta.title.has_value());
    EXPECT_FALSE(s.meta.songid.has_value());

    for (const char* text : {"[]", "5", "\"x\"", "null"}) {
        auto r = qs::read_chart_json(text);
        ASSERT_FALSE(r.ok()) << text;
        EXPECT_EQ(r.error(), "expected a JSON object");
    }
    auto bad = qs::read_chart_json("{\"NoteList\": [1,]}");
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error(), "trailing comma at line 1 column 17");
}

TEST(ChartJson, ChartWrapperAndTicksPerBeat) {
    // "chart" that is not an object: the root is the chart object.
    Score s = read_ok("{\"chart\":5,\"NoteList\":[" + note(1, 960, 0, 0, 0, 1) + "]}");
    ASSERT_EQ(s.active_notes.size(), 1u);
    EXPECT_EQ(qs::bar(s.notes[0]), Fraction(1, 2));

    // Wrapped chart; ticksPerBeat only counts at the top level.
    s = read_ok("{\"chart\":{\"ticksPerBeat\":960,\"NoteList\":[" + note(1, 960, 0, 0, 0, 1) + "]}}");
    EXPECT_EQ(qs::bar(s.notes.at(0)), Fraction(1, 2));
    s = read_ok("{\"ticksPerBeat\":\"960\",\"chart\":{\"NoteList\":[" + note(1, 960, 0, 0, 0, 1) + "]}}");
    EXPECT_EQ(qs::bar(s.notes.at(0)), Fraction(1, 4));
    for (const char* tpb : {"0", "-5"}) {
        s = read_ok(std::string("{\"ticksPerBeat\":") + tpb + ",\"NoteList\":[" + note(1, 2, 0, 0, 0, 1) + "]}");
        EXPECT_EQ(qs::bar(s.notes.at(0)), Fraction(1, 2)) << tpb;
    }
    // Wrong container types count as empty.
    s = read_ok("{\"NoteList\":{},\"MusicScoreEventDataList\":\"x\"}");
    EXPECT_TRUE(s.notes.empty());
    EXPECT_TRUE(s.events.empty());
}

TEST(ChartJson, TickMapWithBarLengthChanges) {
    std::string events = "{\"eventType\":3,\"ticks\":1920,\"changeValue\":\"3/4\"}";
    Score s = read_ok(chart({note(1, 3360, 0, 0, 0, 1), note(2, 960, 1, 1, 0, 1), note(3, -480, 2, 2, 0, 1),
                             note(4, 3840, 3, 3, 0, 1)},
                            events));
    ASSERT_EQ(s.notes.size(), 4u);
    // Creation order follows the (ticks, lane, id) order.
    EXPECT_EQ(qs::bar(s.notes[0]), Fraction(-1, 4));
    EXPECT_EQ(qs::bar(s.notes[1]), Fraction(1, 2));
    EXPECT_EQ(qs::bar(s.notes[2]), Fraction(2, 1));
    EXPECT_EQ(qs::bar(s.notes[3]), Fraction(7, 3));
    ASSERT_EQ(s.events.size(), 1u);
    EXPECT_EQ(s.events[0].bar, Fraction(1, 1));
    EXPECT_EQ(s.events[0].bar_length, Fraction(3, 1));

    // Bar-length values: 6/8 is 3 beats, a plain number counts as is, unreadable text gives 4.
    events =
        "{\"eventType\":3,\"ticks\":0,\"changeValue\":\"6/8\"},"
        "{\"eventType\":3,\"ticks\":1440,\"changeValue\":2},"
        "{\"eventType\":3,\"ticks\":2400,\"changeValue\":\"abc\"}";
    s = read_ok(chart({note(1, 1440 + 960 + 1920, 0, 0, 0, 1)}, events));
    EXPECT_EQ(qs::bar(s.notes.at(0)), Fraction(3, 1));
    ASSERT_EQ(s.events.size(), 3u);
    EXPECT_EQ(s.events[0].bar_length, Fraction(3, 1));
    EXPECT_EQ(s.events[1].bar, Fraction(1, 1));
    EXPECT_EQ(s.events[1].bar_length, Fraction(2, 1));
    EXPECT_EQ(s.events[2].bar, Fraction(2, 1));
    EXPECT_EQ(s.events[2].bar_length, Fraction(4, 1));
}

TEST(ChartJson, EventsMergeAtOnePosition) {
    std::string events =
        "{\"eventType\":0,\"ticks\":0,\"changeValue\":120},"
        "{\"eventType\":0,\"ticks\":0,\"changeValue\":150},"
        "{\"eventType\":1,\"ticks\":960,\"changeValue\":\"0.5\"},"
        "{\"eventType\":\"0\",\"ticks\":960,\"changeValue\":90.5},"
        "{\"eventType\":2,\"ticks\":1920,\"changeValue\":1},"
        "{\"ticks\":1920,\"changeValue\":1},"
        "7,"
        "{\"eventType\":\"1\",\"ticks\":2880},"
        "{\"eventType\":0,\"ticks\":3840,\"changeValue\":null}";
    Score s = read_ok(chart({}, events));
    ASSERT_EQ(s.events.size(), 4u);
    EXPECT_EQ(s.events[0].bar, Fraction(0, 1));
    EXPECT_EQ(s.events[0].bpm, Fraction(150, 1));
    EXPECT_FALSE(s.events[0].speed.has_value());
    EXPECT_EQ(s.events[1].bar, Fraction(1, 2));
    EXPECT_EQ(s.events[1].bpm, Fraction(181, 2));
    EXPECT_EQ(s.events[1].speed, 0.5);
    EXPECT_EQ(s.events[2].bar, Fraction(3, 2));
    EXPECT_EQ(s.events[2].speed, 1.0);
    EXPECT_EQ(s.events[3].bpm, Fraction(120, 1));
    for (const auto& e : s.events) {
        EXPECT_FALSE(e.section.has_value());
        EXPECT_FALSE(e.text.has_value());
        EXPECT_FALSE(e.sentence_length.has_value());
    }
}

TEST(ChartJson, MetadataSources) {
    std::string doc =
        "{\"title\":26.0,\"artist\":true,\"author\":5,\"designer\":\"d\","
        "\"userCustomMusicScoreInfoJson\":\"{\\\"title\\\":\\\"Custom\\\",\\\"artist\\\":null}\","
        "\"musicDifficultyType\":\"append\",\"MusicId\":42,"
        "\"chart\":{\"songId\":\"x\",\"playLevel\":31,\"title\":\"inner\"}}";
    Score s = read_ok(doc);
    EXPECT_EQ(s.meta.title, "Custom");
    EXPECT_EQ(s.meta.artist, "true");
    EXPECT_EQ(s.meta.designer, "5");
    EXPECT_EQ(s.meta.difficulty, "append");
    EXPECT_EQ(s.meta.playlevel, "31");
    EXPECT_EQ(s.meta.songid, "42");
    EXPECT_FALSE(s.meta.subtitle.has_value());
    EXPECT_FALSE(s.meta.basebpm.has_value());

    // Custom object form; unparsable custom text is ignored; chart object as last source.
    s = read_ok("{\"userCustomMusicScoreInfoJson\":{\"author\":\"me\"},\"designer\":\"d\","
                "\"chart\":{\"title\":\"inner\",\"musicId\":-3}}");
    EXPECT_EQ(s.meta.designer, "me");
    EXPECT_EQ(s.meta.title, "inner");
    EXPECT_EQ(s.meta.songid, "-3");
    s = read_ok("{\"userCustomMusicScoreInfoJson\":\"{bad\",\"title\":2.5e-7,\"designer\":\"d\"}");
    EXPECT_EQ(s.meta.title, "2.5e-7");
    EXPECT_EQ(s.meta.designer, "d");
    s = read_ok("{\"userCustomMusicScoreInfoJson\":\"[1]\",\"title\":[1],\"chart\":{\"title\":\"\"}}");
    EXPECT_EQ(s.meta.title, "");
}

// ---- note fields -------------------------------------------------------------

TEST(ChartJson, TruthSpeedAndSkipRules) {
    struct Case {
        const char* extra;
        int tap_type;
        bool has_speed;
        double speed;
    } cases[] = {
        {",\"type\":\"False\"", 1, false, 0},  {",\"type\":\"0\"", 1, false, 0},
        {",\"type\":\"\"", 1, false, 0},       {",\"type\":0", 1, false, 0},
        {",\"type\":\"yes\"", 2, false, 0},    {",\"type\":2", 2, false, 0},
        {",\"type\":true", 2, false, 0},       {",\"type\":null", 1, false, 0},
        {",\"speedRatio\":0", 1, false, 0},    {",\"speedRatio\":-1", 1, false, 0},
        {",\"speedRatio\":\"x\"", 1, false, 0}, {",\"speedRatio\":1.00005", 1, false, 0},
        {",\"speedRatio\":1.5", 1, true, 1.5}, {",\"speedRatio\":\"2\"", 1, true, 2.0},
    };
    for (const auto& c : cases) {
        Score s = read_ok(chart({note(1, 0, 0, 0, 0, 1, -1, -1, c.extra)}));
        ASSERT_EQ(s.notes.size(), 1u) << c.extra;
        const auto& t = as<TapNote>(s, 0);
        EXPECT_EQ(t.note_type, c.tap_type) << c.extra;
        EXPECT_EQ(t.speed.has_value(), c.has_speed) << c.extra;
        if (c.has_speed && t.speed) {
            EXPECT_EQ(*t.speed, c.speed) << c.extra;
        }
    }
}

TEST(ChartJson, NonObjectNoteAndIntegerRules) {
    // A non-object element is a note with every default: a tap at tick 0, lane 2.
    Score s = read_ok(chart({"\"junk\"", note(1, 480.0, 3, 4, 0, 1, -1, -1, ",\"ticks\":\"479.5\"")}));
    ASSERT_EQ(s.notes.size(), 2u);
    const auto& first = as<TapNote>(s, 0);
    EXPECT_EQ(first.bar, Fraction(0, 1));
    EXPECT_EQ(first.lane, 2);
    EXPECT_EQ(first.width, 1);
    EXPECT_EQ(first.note_type, 1);
    const auto& second = as<TapNote>(s, 1);
    EXPECT_EQ(second.bar, Fraction(1, 4));  // "479.5" rounds half away from zero to 480
    EXPECT_EQ(second.lane, 5);
    EXPECT_EQ(second.width, 2);
    // Lane values keep their low 32 bits.
    s = read_ok(chart({note(1, 0, 0, 0, 0, 1, -1, -1, ",\"laneStart\":4294967297,\"laneEnd\":4294967299")}));
    EXPECT_EQ(as<TapNote>(s, 0).lane, 3);
    EXPECT_EQ(as<TapNote>(s, 0).width, 3);
}

// ---- slides ------------------------------------------------------------------

TEST(ChartJson, SlideStepsLinksAndAttachedNotes) {
    // start (critical) -> invisible relay -> flick end (direction 1), curve on the start.
    Score s = read_ok(chart({
        note(10, 0, 0, 2, 1, 2, -1, 11, ",\"type\":1,\"noteLineType\":1"),
        note(11, 480, 1, 3, 13, 6, 10, 12),
        note(12, 960, 2, 4, 3, 3, 11, -1, ",\"direction\":1"),
    }));
    // step, tap 2, curve 5 | step | step, flick 3
    ASSERT_EQ(s.notes.size(), 6u);
    const auto& start = as<SlideStep>(s, 0);
    EXPECT_EQ(start.note_type, 1);
    EXPECT_EQ(start.lane, 2);
    EXPECT_EQ(start.width, 3);
    EXPECT_EQ(start.tap, 1u);
    EXPECT_EQ(start.directional, 2u);
    EXPECT_EQ(start.next, 3u);
    EXPECT_EQ(start.head, 0u);
    EXPECT_EQ(start.channel, 0);
    EXPECT_FALSE(start.is_guide);
    EXPECT_EQ(as<TapNote>(s, 1).note_type, 2);
    EXPECT_EQ(as<DirectionalNote>(s, 2).note_type, 5);
    EXPECT_EQ(as<DirectionalNote>(s, 2).tap, 1u);
    const auto& relay = as<SlideStep>(s, 3);
    EXPECT_EQ(relay.note_type, 5);
    EXPECT_EQ(relay.tap, NO_INDEX);
    EXPECT_EQ(relay.directional, NO_INDEX);
    EXPECT_EQ(relay.next, 4u);
    EXPECT_EQ(relay.head, 0u);
    const auto& end = as<SlideStep>(s, 4);
    EXPECT_EQ(end.note_type, 2);
    EXPECT_EQ(end.next, NO_INDEX);
    EXPECT_EQ(end.head, 0u);
    EXPECT_EQ(end.tap, NO_INDEX);
    EXPECT_EQ(end.directional, 5u);
    EXPECT_EQ(as<DirectionalNote>(s, 5).note_type, 3);
    EXPECT_EQ(as<DirectionalNote>(s, 5).tap, NO_INDEX);
    EXPECT_EQ(s.active_notes, (std::vector<qs::NoteIndex>{0, 3, 4}));
}

TEST(ChartJson, ConnectionCyclesAndDanglingIds) {
    // A -> B -> A with A having no previous: one slide A, B.
    Score s = read_ok(chart({note(1, 0, 0, 0, 1, 2, -1, 2), note(2, 480, 0, 0, 1, 1, 1, 1)}));
    ASSERT_EQ(s.active_notes.size(), 2u);
    EXPECT_EQ(as<SlideStep>(s, 0).note_type, 1);
    EXPECT_EQ(as<SlideStep>(s, 1).note_type, 2);
    // A next id that no note has ends the slide: a single step, which is its end.
    s = read_ok(chart({note(1, 0, 0, 0, 1, 2, -1, 99)}));
    ASSERT_EQ(s.notes.size(), 1u);
    EXPECT_EQ(as<SlideStep>(s, 0).note_type, 2);
    // Only a dangling previous id: a one-step slide from the second pass.
    s = read_ok(chart({note(1, 0, 0, 0, 1, 2, 77, -1), note(2, 0, 5, 5, 0, 1)}));
    ASSERT_EQ(s.notes.size(), 2u);
    EXPECT_EQ(as<SlideStep>(s, 0).note_type, 2);
    EXPECT_EQ(as<TapNote>(s, 1).note_type, 1);
    // Two notes sharing an id: the one visited through the chain walk is kept, the other dropped.
    s = read_ok(chart({note(1, 0, 0, 0, 1, 2, -1, 2), note(2, 480, 0, 0, 1, 1, 1, -1),
                       note(2, 960, 4, 4, 1, 1, 1, -1)}));
    EXPECT_EQ(s.active_notes.size(), 2u);
    EXPECT_EQ(as<SlideStep>(s, 1).bar, Fraction(1, 2));
}

TEST(ChartJson, ChainFilterDropsCloseTicks) {
    // Two tick-like relays one tick apart: the first is dropped; the last note never is.
    Score s = read_ok(chart({
        note(1, 0, 0, 0, 1, 2, -1, 2),
        note(2, 100, 0, 0, 2, 5, 1, 3, ",\"isSkip\":false"),
        note(3, 101, 0, 0, 2, 5, 2, 4, ",\"isSkip\":false"),
        note(4, 102, 0, 0, 2, 5, 3, -1, ",\"isSkip\":false"),
    }));
    std::vector<Fraction> bars;
    for (auto i : s.active_notes) bars.push_back(qs::bar(s.notes[i]));
    EXPECT_EQ(bars, (std::vector<Fraction>{Fraction(0, 1), Fraction(102, 1920)}));
}

TEST(ChartJson, SkippedTickRelocation) {
    // A skipped tick relay whose spot is taken by a single note moves to the nearest
    // free lane start (ties: the smaller first); it gets a type 3 tap.
    Score s = read_ok(chart({
        note(1, 0, 0, 0, 1, 2, -1, 2),
        note(2, 240, 4, 4, 2, 5, 1, 3),
        note(3, 480, 0, 0, 1, 1, 2, -1),
        note(9, 240, 4, 4, 0, 1),
    }));
    const auto& relay = as<SlideStep>(s, 1);
    EXPECT_EQ(relay.note_type, 3);
    EXPECT_EQ(relay.lane, 5);
    ASSERT_NE(relay.tap, NO_INDEX);
    EXPECT_EQ(as<TapNote>(s, relay.tap).note_type, 3);
    EXPECT_EQ(as<TapNote>(s, relay.tap).lane, 5);
    // Not skipped (isSkip false): no relocation, and a plain tick relay gets nothing.
    s = read_ok(chart({
        note(1, 0, 0, 0, 1, 2, -1, 2),
        note(2, 240, 4, 4, 0, 5, 1, 3, ",\"isSkip\":false"),
        note(3, 480, 0, 0, 1, 1, 2, -1),
        note(9, 240, 4, 4, 0, 1),
    }));
    const auto& kept = as<SlideStep>(s, 1);
    EXPECT_EQ(kept.lane, 6);
    EXPECT_EQ(kept.tap, NO_INDEX);
    // Wide notes (12 lanes) only try lane start 0.
    s = read_ok(chart({
        note(1, 0, 0, 11, 1, 2, -1, 2),
        note(2, 240, 0, 11, 2, 5, 1, 3),
        note(3, 480, 0, 11, 1, 1, 2, -1),
        note(9, 240, 0, 0, 0, 1),
    }));
    EXPECT_EQ(as<SlideStep>(s, 1).lane, 2);
    EXPECT_EQ(as<SlideStep>(s, 1).width, 12);
}

TEST(ChartJson, ThirtySevenOverlappingSlides) {
    std::vector<std::string> notes;
    for (int j = 0; j < 37; ++j) {
        notes.push_back(note(1000 + j, j, 0, 0, 1, 2, -1, 2000 + j));
        notes.push_back(note(2000 + j, 1000 - j, 0, 0, 1, 1, 1000 + j, -1));
    }
    Score s = read_ok(chart(notes));
    std::vector<int> channels;
    for (const auto& n : s.notes)
        if (const auto* st = std::get_if<SlideStep>(&n); st && st->note_type == 1) channels.push_back(st->channel);
    ASSERT_EQ(channels.size(), 37u);
    for (int j = 0; j < 36; ++j) EXPECT_EQ(channels[j], j);
    EXPECT_EQ(channels[36], 35);  // the slide ending first (tick 965)

    // A channel whose slide has ended is reused, lowest number first.
    s = read_ok(chart({note(1, 0, 0, 0, 1, 2, -1, 2), note(2, 10, 0, 0, 1, 1, 1, -1),
                       note(3, 5, 3, 3, 1, 2, -1, 4), note(4, 20, 3, 3, 1, 1, 3, -1),
                       note(5, 11, 6, 6, 1, 2, -1, 6), note(6, 30, 6, 6, 1, 1, 5, -1)}));
    channels.clear();
    for (const auto& n : s.notes)
        if (const auto* st = std::get_if<SlideStep>(&n); st && st->note_type == 1) channels.push_back(st->channel);
    EXPECT_EQ(channels, (std::vector<int>{0, 1, 0}));
}

TEST(ChartJson, CriticalSlidesAndGuides) {
    // A critical chain (9 ... 12/5) whose start coincides with a critical single tap.
    Score s = read_ok(chart({
        note(1, 0, 0, 1, 7, 9, -1, 2),
        note(2, 480, 0, 1, 5, 12, 1, -1),
        note(3, 0, 0, 1, 0, 1, -1, -1, ",\"type\":1"),
        note(4, 480, 0, 1, 0, 1, -1, -1, ",\"type\":1"),
    }));
    // step(start) + hidden tap 7 | step(end) + hidden tap 7 | single 2 | single 1
    ASSERT_EQ(s.notes.size(), 6u);
    EXPECT_EQ(as<SlideStep>(s, 0).note_type, 1);
    EXPECT_EQ(as<TapNote>(s, 1).note_type, 7);
    EXPECT_EQ(as<SlideStep>(s, 2).note_type, 2);
    EXPECT_EQ(as<TapNote>(s, 3).note_type, 7);
    EXPECT_EQ(as<TapNote>(s, 4).note_type, 2);  // at a critical start: stays critical
    EXPECT_EQ(as<TapNote>(s, 5).note_type, 1);  // at a plain slide position: demoted

    // A critical guide: every guide note gets a type 8 tap and an extra active tap.
    s = read_ok(chart({
        note(1, 0, 0, 1, 9, 10, -1, 2, ",\"type\":1"),
        note(2, 480, 0, 1, 9, 13, 1, -1, ",\"type\":1"),
    }));
    ASSERT_EQ(s.notes.size(), 6u);
    EXPECT_TRUE(as<SlideStep>(s, 0).is_guide);
    EXPECT_EQ(as<SlideStep>(s, 0).note_type, 1);
    EXPECT_EQ(as<TapNote>(s, 1).note_type, 8);
    EXPECT_EQ(as<SlideStep>(s, 2).note_type, 2);
    EXPECT_EQ(as<TapNote>(s, 4).note_type, 8);
    EXPECT_EQ(as<TapNote>(s, 5).note_type, 8);
    EXPECT_EQ(s.active_notes, (std::vector<qs::NoteIndex>{0, 4, 2, 5}));
}

TEST(ChartJson, SingleNoteKinds) {
    Score s = read_ok(chart({
        note(1, 0, 0, 0, 3, 3, -1, -1, ",\"direction\":2,\"type\":1"),  // critical flick
        note(2, 0, 2, 2, 4, 11),                                          // trace
        note(3, 0, 4, 4, 8, 4, -1, -1, ",\"direction\":1"),              // trace flick
        note(4, 0, 6, 6, 8, 1),                                           // category 8 tap
        note(5, 0, 8, 8, 6, 1, -1, -1, ",\"type\":1"),                   // critical trace
        note(6, 0, 10, 10, 0, 9),                                         // hidden
        note(7, 0, 11, 11, 0, 0, -1, -1, ",\"type\":1"),                 // unknown base
    }));
    ASSERT_EQ(s.notes.size(), 9u);
    EXPECT_EQ(as<TapNote>(s, 0).note_type, 2);
    EXPECT_EQ(as<DirectionalNote>(s, 1).note_type, 4);
    EXPECT_EQ(as<DirectionalNote>(s, 1).tap, 0u);
    EXPECT_EQ(as<TapNote>(s, 2).note_type, 5);
    EXPECT_EQ(as<TapNote>(s, 3).note_type, 5);
    EXPECT_EQ(as<DirectionalNote>(s, 4).note_type, 3);
    EXPECT_EQ(as<TapNote>(s, 5).note_type, 1);
    EXPECT_EQ(as<TapNote>(s, 6).note_type, 6);
    EXPECT_EQ(as<TapNote>(s, 7).note_type, 7);
    EXPECT_EQ(as<TapNote>(s, 8).note_type, 1);
    EXPECT_EQ(s.active_notes, (std::vector<qs::NoteIndex>{1, 2, 4, 5, 6, 7, 8}));
}

TEST(ChartJson, ActiveNotesOrderedByBarThenLane) {
    Score s = read_ok(chart({
        note(1, 960, 0, 0, 1, 2, -1, 2),
        note(2, 1920, 0, 0, 1, 1, 1, -1),
        note(3, 960, 5, 5, 0, 1),
        note(4, 0, 8, 8, 0, 1),
        note(5, 960, -1, -1, 0, 1),
    }));
    std::vector<std::pair<Fraction, int>> keys;
    for (auto i : s.active_notes) keys.emplace_back(qs::bar(s.notes[i]), qs::lane(s.notes[i]));
    EXPECT_EQ(keys, (std::vector<std::pair<Fraction, int>>{
                        {Fraction(0, 1), 10}, {Fraction(1, 2), 1}, {Fraction(1, 2), 2},
                        {Fraction(1, 2), 7}, {Fraction(1, 1), 2}}));
    // Notes themselves keep creation order: slides first, then singles.
    EXPECT_TRUE(std::holds_alternative<SlideStep>(s.notes[0]));
    EXPECT_EQ(qs::lane(s.notes[2]), 10);
}

// ---- real charts ---------------------------------------------------------------

std::string shared_path(const std::string& rel) { return std::string(QS_SHARED_DIR) + "/" + rel; }

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

TEST(ChartJsonShared, RealChartsReadConsistently) {
    const std::string dir = shared_path("charts/json");
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "shared charts folder not present";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".json") files.push_back(entry.path());
    ASSERT_FALSE(files.empty());
    for (const auto& path : files) {
        SCOPED_TRACE(path.string());
        auto r = qs::read_chart_json(slurp(path.string()));
        ASSERT_TRUE(r.ok()) << r.error();
        const Score& s = r.value();
        EXPECT_GT(s.active_notes.size(), 900u);
        EXPECT_FALSE(s.events.empty());
        // Links are valid, steps chain within a slide, active notes are in bar order.
        const auto n = s.notes.size();
        for (std::size_t i = 0; i < n; ++i) {
            if (const auto* st = std::get_if<SlideStep>(&s.notes[i])) {
                ASSERT_LT(st->head, n);
                EXPECT_TRUE(std::holds_alternative<SlideStep>(s.notes[st->head]));
                if (st->next != NO_INDEX) {
                    ASSERT_LT(st->next, n);
                    EXPECT_EQ(std::get<SlideStep>(s.notes[st->next]).head, st->head);
                    EXPECT_EQ(std::get<SlideStep>(s.notes[st->next]).channel, st->channel);
                }
                if (st->tap != NO_INDEX) {
                    EXPECT_TRUE(std::holds_alternative<TapNote>(s.notes.at(st->tap)));
                }
                if (st->directional != NO_INDEX) {
                    EXPECT_TRUE(std::holds_alternative<DirectionalNote>(s.notes.at(st->directional)));
                }
                EXPECT_GE(st->channel, 0);
                EXPECT_LT(st->channel, 36);
            } else if (const auto* d = std::get_if<DirectionalNote>(&s.notes[i])) {
                if (d->tap != NO_INDEX) {
                    EXPECT_TRUE(std::holds_alternative<TapNote>(s.notes.at(d->tap)));
                }
            }
        }
        for (std::size_t i = 1; i < s.active_notes.size(); ++i)
            EXPECT_LE(qs::bar(s.notes[s.active_notes[i - 1]]), qs::bar(s.notes[s.active_notes[i]]));
    }
}

TEST(ChartJsonShared, SameChartAsSus) {
    const std::string json_path = shared_path("charts/json/01-empurple-append.json");
    const std::string sus_path = shared_path("charts/sus/18-empurple-append.sus");
    if (!std::filesystem::exists(json_path) || !std::filesystem::exists(sus_path))
        GTEST_SKIP() << "shared charts folder not present";
    auto r = qs::read_chart_json(slurp(json_path));
    ASSERT_TRUE(r.ok()) << r.error();
    const Score& js = r.value();
    Score sus = qs::read_sus(slurp(sus_path));
    // 1004 JSON notes; the tempo, the speed events and the bar length agree.
    EXPECT_EQ(js.active_notes.size(), 1004u);
    ASSERT_EQ(js.events.size(), 3u);
    EXPECT_EQ(js.events[0].bpm, Fraction(136, 1));
    EXPECT_EQ(js.events[0].bar_length, Fraction(4, 1));
    EXPECT_EQ(js.events[0].speed, 1.0);
    EXPECT_EQ(js.events[1].speed, 10000.0);
    // Both readers see the same slides: equal counts of start and end steps.
    auto count_steps = [](const Score& s, int type) {
        int c = 0;
        for (auto i : s.active_notes)
            if (const auto* st = std::get_if<SlideStep>(&s.notes[i]); st && st->note_type == type) ++c;
        return c;
    };
    EXPECT_EQ(count_steps(js, 1), count_steps(sus, 1));
    EXPECT_EQ(count_steps(js, 2), count_steps(sus, 2));
    // The last note lies in the same bar.
    auto last_bar = [](const Score& s) { return qs::floor(qs::bar(s.notes[s.active_notes.back()])); };
    EXPECT_EQ(last_bar(js), last_bar(sus));
}

}  // namespace

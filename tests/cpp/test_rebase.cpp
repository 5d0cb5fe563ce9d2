#include "rebase/rebase.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using qs::DirectionalNote;
using qs::Event;
using qs::Fraction;
using qs::NO_INDEX;
using qs::Rebase;
using qs::Score;
using qs::SlideStep;
using qs::TapNote;

Rebase read_ok(const std::string& text) {
    auto r = qs::read_rebase_json(text);
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error());
    return r.ok() ? std::move(r).value() : Rebase{};
}

Event tempo(Fraction bar, std::int64_t bpm) {
    Event e;
    e.bar = bar;
    e.bpm = Fraction(bpm, 1);
    e.bar_length = Fraction(4, 1);
    return e;
}

template <class T>
T make(Fraction bar, int lane, int width, int type) {
    T n{};
    n.bar = bar;
    n.lane = lane;
    n.width = width;
    n.note_type = type;
    return n;
}

SlideStep step(Fraction bar, int lane, int width, int type, int channel) {
    auto s = make<SlideStep>(bar, lane, width, type);
    s.channel = channel;
    return s;
}

Score finished(std::vector<qs::Note> notes, std::vector<Event> events) {
    Score s;
    s.notes = std::move(notes);
    s.events = std::move(events);
    qs::finish_notes(s);
    qs::finish_events(s);
    return s;
}

// Everything but the caches, as text, to check that inputs stay unchanged.
std::string dump(const Score& s) {
    std::ostringstream out;
    for (const auto& n : s.notes) {
        const auto& c = qs::common(n);
        out << n.index() << ':' << qs::to_text(c.bar) << ',' << c.lane << ',' << c.width << ','
            << c.note_type << ',' << (c.speed ? *c.speed : -1.0);
        if (const auto* st = std::get_if<SlideStep>(&n))
            out << ',' << st->tap << ',' << st->directional << ',' << st->next << ',' << st->head << ','
                << st->channel << ',' << st->is_guide;
        if (const auto* d = std::get_if<DirectionalNote>(&n)) out << ',' << d->tap;
        out << ';';
    }
    out << '|';
    for (auto i : s.active_notes) out << i << ',';
    out << '|' << s.events.size() << '|' << s.meta.title.value_or("-");
    return out.str();
}

// ---- reading ---------------------------------------------------------------------

TEST(RebaseRead, EmptyAndNonObjectDocuments) {
    for (const char* text : {"{}", "5", "[]", "\"x\"", "null"}) {
        Rebase r = read_ok(text);
        EXPECT_EQ(r.offset, 0.0) << text;
        EXPECT_TRUE(r.events.empty()) << text;
        EXPECT_FALSE(r.meta.title.has_value()) << text;
    }
    auto bad = qs::read_rebase_json("{\"offset\": 1} x");
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error(), "trailing characters at line 1 column 15");
}

TEST(RebaseRead, OffsetAndEvents) {
    EXPECT_EQ(read_ok("{\"offset\":\"1.5\"}").offset, 0.0);
    EXPECT_EQ(read_ok("{\"offset\":2}").offset, 2.0);
    EXPECT_EQ(read_ok("{\"offset\":-0.25}").offset, -0.25);

    Rebase r = read_ok(
        "{\"events\":["
        "{\"bar\":4},"
        "{\"bar\":2.5,\"bpm\":150,\"barLength\":3,\"section\":\"A\",\"text\":\"t\",\"speed\":2},"
        "{\"bar\":\"4\",\"bpm\":\"120\",\"section\":5},"
        "7,"
        "{\"sentenceLength\":8},"
        "{\"sentenceLength\":8.0},"
        "{\"sentenceLength\":4294967304},"
        "{\"sentenceLength\":-3},"
        "{\"sentenceLength\":18446744073709551615}"
        "]}");
    ASSERT_EQ(r.events.size(), 9u);
    Event at_four;
    at_four.bar = Fraction(4, 1);
    EXPECT_EQ(r.events[0], at_four);
    const Event& full = r.events[1];
    EXPECT_EQ(full.bar, Fraction(5, 2));
    EXPECT_EQ(full.bpm, Fraction(150, 1));
    EXPECT_EQ(full.bar_length, Fraction(3, 1));
    EXPECT_EQ(full.section, "A");
    EXPECT_EQ(full.text, "t");
    EXPECT_FALSE(full.speed.has_value());  // never read from a description
    EXPECT_EQ(r.events[2], Event{});        // strings are not numbers, numbers not strings
    EXPECT_EQ(r.events[3], Event{});
    EXPECT_EQ(r.events[4].sentence_length, 8);
    EXPECT_FALSE(r.events[5].sentence_length.has_value());
    EXPECT_EQ(r.events[6].sentence_length, 8);
    EXPECT_EQ(r.events[7].sentence_length, -3);
    EXPECT_FALSE(r.events[8].sentence_length.has_value());

    // Order is kept as given, even when bars descend.
    r = read_ok("{\"events\":[{\"bar\":3},{\"bar\":1},{\"bar\":2}]}");
    ASSERT_EQ(r.events.size(), 3u);
    EXPECT_EQ(r.events[0].bar, Fraction(3, 1));
    EXPECT_EQ(r.events[1].bar, Fraction(1, 1));
    EXPECT_EQ(r.events[2].bar, Fraction(2, 1));
}

TEST(RebaseRead, Metadata) {
    Rebase r = read_ok(
        "{\"meta\":{\"title\":\"Song\",\"TITLE\":\"upper\",\"basebpm\":150,\"jacket\":null,"
        "\"playlevel\":26,\"difficulty\":2.5,\"waveoffset\":\"0.5\",\"movieoffset\":\"x\","
        "\"composer\":\"c\",\"artist\":[\"a\"],\"songid\":1e20}}");
    EXPECT_EQ(r.meta.title, "Song");
    EXPECT_EQ(r.meta.basebpm, 150.0);
    EXPECT_FALSE(r.meta.jacket.has_value());
    EXPECT_EQ(r.meta.playlevel, "26");
    EXPECT_EQ(r.meta.difficulty, "2.5");
    EXPECT_EQ(r.meta.waveoffset, "0.5");
    EXPECT_FALSE(r.meta.movieoffset.has_value());
    EXPECT_FALSE(r.meta.artist.has_value());
    EXPECT_EQ(r.meta.songid, "100000000000000000000");
    // Repeated keys: the last one counts.
    EXPECT_EQ(read_ok("{\"meta\":{\"title\":\"a\",\"title\":\"b\"}}").meta.title, "b");
    EXPECT_FALSE(read_ok("{\"meta\":[1]}").meta.title.has_value());
}

// ---- applying --------------------------------------------------------------------

TEST(RebaseApply, NoEventsUsesDefaultTiming) {
    // 60 BPM: bar 1 is at 4 s; under the default 120 BPM, 4 s is bar 2.
    Score source = finished({make<TapNote>(Fraction(1, 1), 4, 2, 1)}, {tempo(Fraction(0, 1), 60)});
    Score result = qs::apply_rebase(Rebase{}, source);
    ASSERT_EQ(result.active_notes.size(), 1u);
    EXPECT_EQ(qs::bar(result.notes[result.active_notes[0]]), Fraction(2, 1));
    EXPECT_TRUE(result.events.empty());
}

TEST(RebaseApply, SameTimingKeepsBars) {
    std::vector<Event> events = {tempo(Fraction(0, 1), 150), tempo(Fraction(3, 2), 90)};
    std::vector<qs::Note> notes;
    for (int i = 0; i < 12; ++i) notes.push_back(make<TapNote>(Fraction(i, 3), 2 + i % 12, 1, 1));
    Score source = finished(notes, events);
    Rebase rebase;
    rebase.events = events;
    Score result = qs::apply_rebase(rebase, source);
    ASSERT_EQ(result.active_notes.size(), 12u);
    for (std::size_t i = 0; i < 12; ++i)
        EXPECT_EQ(qs::bar(result.notes[result.active_notes[i]]), qs::bar(source.notes[source.active_notes[i]]));
    EXPECT_EQ(result.events, events);
}

TEST(RebaseApply, OffsetShiftsTimes) {
    // 120 BPM, 4 beats: 3.0 s is bar 3/2; minus 1 s lands at 2.0 s, bar 1.
    Score source = finished({make<TapNote>(Fraction(3, 2), 5, 3, 2)}, {tempo(Fraction(0, 1), 120)});
    Rebase rebase = read_ok("{\"offset\":1.0,\"events\":[{\"bar\":0,\"bpm\":120,\"barLength\":4}]}");
    Score result = qs::apply_rebase(rebase, source);
    ASSERT_EQ(result.active_notes.size(), 1u);
    const auto& tap = std::get<TapNote>(result.notes[result.active_notes[0]]);
    EXPECT_EQ(tap.bar, Fraction(1, 1));
    EXPECT_EQ(tap.lane, 5);
    EXPECT_EQ(tap.width, 3);
    EXPECT_EQ(tap.note_type, 2);
}

TEST(RebaseApply, SlidesAttachedNotesAndCarriedEvents) {
    auto speedy = make<TapNote>(Fraction(1, 2), 8, 1, 1);
    speedy.speed = 1.5;
    Event speed_and_tempo;
    speed_and_tempo.bar = Fraction(1, 2);
    speed_and_tempo.speed = 2.0;
    speed_and_tempo.bpm = Fraction(60, 1);  // the source timing stays 60 BPM
    Event section_only;
    section_only.bar = Fraction(1, 4);
    section_only.section = "A";
    Score source = finished(
        {
            step(Fraction(0, 1), 2, 2, 1, 0),
            make<TapNote>(Fraction(0, 1), 2, 2, 1),
            step(Fraction(1, 1), 2, 2, 2, 0),
            make<DirectionalNote>(Fraction(1, 1), 2, 2, 1),
            make<TapNote>(Fraction(1, 1), 2, 2, 2),
            make<TapNote>(Fraction(1, 1), 0, 1, 1),  // lane 0: a SKILL text event
            speedy,
        },
        {tempo(Fraction(0, 1), 60), section_only, speed_and_tempo});
    ASSERT_EQ(source.active_notes.size(), 3u);
    Rebase rebase;
    rebase.events = {tempo(Fraction(0, 1), 120)};
    rebase.meta.title = "From rebase";
    source.meta.title = "";
    const std::string before = dump(source);
    const std::string rebase_before = rebase.meta.title.value() + std::to_string(rebase.events.size());

    Score result = qs::apply_rebase(rebase, source);
    EXPECT_EQ(dump(source), before);
    EXPECT_EQ(rebase.meta.title.value() + std::to_string(rebase.events.size()), rebase_before);
    EXPECT_EQ(result.meta.title, "From rebase");

    // start step + its tap, speedy tap, end step + tap + flick: inactive source notes are gone.
    EXPECT_EQ(result.notes.size(), 6u);
    ASSERT_EQ(result.active_notes.size(), 3u);
    const auto& start = std::get<SlideStep>(result.notes[result.active_notes[0]]);
    EXPECT_EQ(start.bar, Fraction(0, 1));
    EXPECT_EQ(start.note_type, 1);
    ASSERT_NE(start.tap, NO_INDEX);
    ASSERT_NE(start.next, NO_INDEX);
    const auto& end = std::get<SlideStep>(result.notes.at(start.next));
    EXPECT_EQ(end.bar, Fraction(2, 1));  // 4 s at 60 BPM, then 120 BPM
    ASSERT_NE(end.directional, NO_INDEX);
    const auto& flick = std::get<DirectionalNote>(result.notes.at(end.directional));
    EXPECT_NE(flick.tap, NO_INDEX);
    EXPECT_EQ(end.tap, flick.tap);
    const auto& tap = std::get<TapNote>(result.notes[result.active_notes[1]]);
    EXPECT_EQ(tap.bar, Fraction(1, 1));
    EXPECT_FALSE(tap.speed.has_value());
    for (const auto& n : result.notes) EXPECT_FALSE(qs::common(n).speed.has_value());

    // The section-only event is dropped; the speed+tempo event and the SKILL text are
    // carried (the tempo joins the new timing before the SKILL text is placed).
    ASSERT_EQ(result.events.size(), 3u);
    EXPECT_EQ(result.events[0], rebase.events[0]);
    EXPECT_EQ(result.events[1].bar, Fraction(1, 1));
    EXPECT_EQ(result.events[1].speed, 2.0);
    EXPECT_EQ(result.events[1].bpm, Fraction(60, 1));
    EXPECT_EQ(result.events[2].text, "SKILL");
    EXPECT_EQ(result.events[2].bar, Fraction(3, 2));  // 4 s: 2 s to bar 1, then 2 s at 60 BPM

    // A present title stays.
    source.meta.title = "Own";
    EXPECT_EQ(qs::apply_rebase(rebase, source).meta.title, "Own");
}

}  // namespace

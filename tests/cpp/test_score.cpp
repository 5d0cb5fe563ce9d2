// Metadata overlays, event overlays and the finishing steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "common/check.h"
#include "score/score.h"

namespace qs {
namespace {

Fraction F(std::int64_t n, std::int64_t d = 1) { return Fraction(n, d); }

// The fifteen fields in key order, numbers as text.
std::vector<std::optional<std::string>> fields(const Meta& m) {
    std::vector<std::optional<std::string>> out = {m.title, m.subtitle, m.artist, m.genre, m.designer,
                                                   m.difficulty, m.playlevel, m.songid, m.wave, m.waveoffset,
                                                   m.jacket, m.background, m.movie};
    for (auto v : {m.movieoffset, m.basebpm}) out.push_back(v ? std::optional(std::to_string(*v)) : std::nullopt);
    return out;
}

TEST(MergeMeta, PreferredWinsOnlyWhenFilled) {
    struct Case {
        std::optional<std::string> preferred, fallback, expected;
    } cases[] = {
        {"", "A", "A"},
        {"B", "A", "B"},
        {std::nullopt, std::nullopt, std::nullopt},
        {std::nullopt, "", ""},
        {"", std::nullopt, std::nullopt},  // an empty preferred value does not survive
    };
    for (const auto& c : cases) {
        Meta p, f;
        p.title = c.preferred;
        f.title = c.fallback;
        EXPECT_EQ(merge_meta(p, f).title, c.expected);
        merge_meta_into(p, std::move(f));
        EXPECT_EQ(p.title, c.expected);
    }
    Meta p, f;
    p.basebpm = 0.0;
    p.movieoffset = 1.5;
    f.basebpm = 150.0;
    f.movieoffset = 2.0;
    f.movie = "m";
    Meta m = merge_meta(p, f);
    EXPECT_EQ(m.basebpm, 150.0);
    EXPECT_EQ(m.movieoffset, 1.5);
    EXPECT_EQ(m.movie, "m");
}

TEST(MergeEvent, ZeroAndEmptyNeverOverride) {
    Event base;
    base.bar = F(1);
    base.bpm = F(120);
    base.bar_length = F(4);
    base.sentence_length = 3;
    base.speed = 2.0;
    base.section = "A";
    base.text = "T";
    Event overlay;
    overlay.bar = F(5, 2);
    overlay.bpm = F(0);
    overlay.bar_length = F(0);
    overlay.sentence_length = 0;
    overlay.speed = 0.0;
    overlay.section = "";
    overlay.text = "";
    Event m = merge_event(base, overlay);
    Event expected = base;
    expected.bar = F(5, 2);
    EXPECT_EQ(m, expected);

    Event absent;
    absent.bar = F(7);
    expected.bar = F(7);
    EXPECT_EQ(merge_event(base, absent), expected);

    Event set;
    set.bar = F(2);
    set.bpm = F(90);
    set.bar_length = F(3);
    set.sentence_length = 8;
    set.speed = -1.0;
    set.section = "B";
    set.text = "U";
    EXPECT_EQ(merge_event(base, set), set);
    Event in_place = base;
    merge_event_into(in_place, set);
    EXPECT_EQ(in_place, set);
    EXPECT_EQ(merge_event(Event{}, base), base);
}

TEST(SetMetaField, Keys) {
    Meta m;
    set_meta_field(m, "basebpm", "150");
    EXPECT_EQ(m.basebpm, 150.0);
    set_meta_field(m, "basebpm", "abc");
    EXPECT_EQ(m.basebpm, 150.0);
    set_meta_field(m, "basebpm", "1/3");
    EXPECT_EQ(m.basebpm, 1.0 / 3.0);
    set_meta_field(m, "movieoffset", " -0.5 ");
    EXPECT_EQ(m.movieoffset, -0.5);
    set_meta_field(m, "waveoffset", "0.5");
    EXPECT_EQ(m.waveoffset, "0.5");
    set_meta_field(m, "title", "");
    EXPECT_EQ(m.title, "");
    set_meta_field(m, "title", "x");
    EXPECT_EQ(m.title, "x");
    Meta before = m;
    set_meta_field(m, "composer", "y");
    set_meta_field(m, "TITLE", "y");
    EXPECT_EQ(fields(m), fields(before));
    EXPECT_THROW(set_meta_field(m, "basebpm", "1/0"), CheckFailure);
}

TEST(SetMetaField, EveryKeySetsItsOwnField) {
    for (std::size_t i = 0; i < std::size(META_KEYS); ++i) {
        Meta m;
        set_meta_field(m, META_KEYS[i], "7");
        auto f = fields(m);
        for (std::size_t j = 0; j < f.size(); ++j) {
            if (j == i) EXPECT_EQ(f[j], i < 13 ? "7" : "7.000000") << META_KEYS[i];
            else EXPECT_FALSE(f[j].has_value()) << META_KEYS[i] << " set field " << j;
        }
    }
}


// ---- finishing ----

Note tap(Fraction bar, int lane, int width = 1, int type = 1) {
    TapNote n;
    n.bar = bar;
    n.lane = lane;
    n.width = width;
    n.note_type = type;
    return n;
}
Note flick(Fraction bar, int lane, int width = 1, int type = 1) {
    DirectionalNote n;
    n.bar = bar;
    n.lane = lane;
    n.width = width;
    n.note_type = type;
    return n;
}
Note step(Fraction bar, int lane, int type, int channel = 0, bool guide = false, int width = 1) {
    SlideStep n;
    n.bar = bar;
    n.lane = lane;
    n.width = width;
    n.note_type = type;
    n.channel = channel;
    n.is_guide = guide;
    return n;
}

Score finished(std::vector<Note> notes) {
    Score s;
    s.notes = std::move(notes);
    finish_notes(s);
    finish_events(s);
    return s;
}

const SlideStep& slide_at(const Score& s, NoteIndex i) { return std::get<SlideStep>(s.notes.at(i)); }

std::vector<std::string> texts(const Score& s) {
    std::vector<std::string> out;
    for (const Event& e : s.events) out.push_back(to_text(e.bar) + " " + e.text.value_or("-"));
    return out;
}

TEST(FinishNotes, EmptyChart) {
    Score s = finished({});
    EXPECT_TRUE(s.active_notes.empty());
    EXPECT_TRUE(s.events.empty());
}

TEST(FinishNotes, OutOfFieldNotesBecomeTextEvents) {
    Score s = finished({tap(F(3), 0), tap(F(1), 15, 1, 1), tap(F(2), 15, 1, 2), step(F(4), 1, 3),
                        step(F(5), 1, 1), flick(F(6), 14, 1, 1), tap(F(7), 2), tap(F(7), 13)});
    EXPECT_EQ(texts(s), (std::vector<std::string>{"1. FEVER CHANCE!", "2. SUPER FEVER!!", "3. SKILL",
                                                  "4. SUPER FEVER!!", "5. FEVER CHANCE!", "6. FEVER CHANCE!"}));
    ASSERT_EQ(s.active_notes, (std::vector<NoteIndex>{6, 7}));
    EXPECT_EQ(lane(s.notes[6]), 2);
}

TEST(FinishNotes, SortIsStableByBar) {
    Score s = finished({tap(F(1), 5), tap(F(1, 2), 6), tap(F(1), 4), tap(F(0), 7)});
    std::vector<int> lanes;
    for (const Note& n : s.notes) lanes.push_back(lane(n));
    EXPECT_EQ(lanes, (std::vector<int>{7, 6, 5, 4}));
}

TEST(FinishNotes, FlickAbsorbsTapOfSamePlace) {
    // Tap at same place; a tap of another width stays on its own.
    Score s = finished({tap(F(1), 4, 2), tap(F(1), 4, 3), flick(F(1), 4, 2)});
    EXPECT_EQ(std::get<DirectionalNote>(s.notes[2]).tap, 0u);
    EXPECT_EQ(s.active_notes, (std::vector<NoteIndex>{1, 2}));
    // Two taps under one flick: both consumed, the later one linked.
    s = finished({tap(F(1), 4), tap(F(1), 4), flick(F(1), 4), flick(F(1), 4)});
    EXPECT_EQ(std::get<DirectionalNote>(s.notes[2]).tap, 1u);
    EXPECT_EQ(std::get<DirectionalNote>(s.notes[3]).tap, NO_INDEX);
    EXPECT_EQ(s.active_notes, (std::vector<NoteIndex>{2, 3}));
}

TEST(FinishNotes, SlideWithTapAtStart) {
    Score s = finished({step(F(0), 5, 1), step(F(1), 6, 2), tap(F(0), 5)});
    EXPECT_EQ(slide_at(s, 0).tap, 1u);
    EXPECT_EQ(slide_at(s, 0).next, 2u);
    EXPECT_EQ(slide_at(s, 0).head, 0u);
    EXPECT_EQ(slide_at(s, 2).head, 0u);
    EXPECT_EQ(slide_at(s, 2).next, NO_INDEX);
    EXPECT_EQ(s.active_notes, (std::vector<NoteIndex>{0, 2}));
}

TEST(FinishNotes, StepTakesFlickAndTheFlicksTap) {
    Score s = finished({tap(F(0), 5), flick(F(0), 5), step(F(0), 5, 1), step(F(1), 5, 2)});
    const SlideStep& st = slide_at(s, 2);
    EXPECT_EQ(st.directional, 1u);
    EXPECT_EQ(st.tap, 0u);
    EXPECT_EQ(std::get<DirectionalNote>(s.notes[1]).tap, 0u);
    EXPECT_EQ(s.active_notes, (std::vector<NoteIndex>{2, 3}));
}

TEST(FinishNotes, SlideChains) {
    // Two slides one after the other on channel 0, a guide on the same channel, and a
    // slide on channel 1 interleaved.
    Score s = finished({step(F(0), 5, 1), step(F(1, 2), 8, 1, 1), step(F(1), 5, 3), step(F(1), 2, 1, 0, true),
                        step(F(2), 5, 2), step(F(3), 5, 1), step(F(4), 2, 2, 0, true), step(F(5), 8, 2, 1),
                        step(F(6), 5, 2)});
    auto next = [&](NoteIndex i) { return slide_at(s, i).next; };
    auto head = [&](NoteIndex i) { return slide_at(s, i).head; };
    EXPECT_EQ(next(0), 2u);
    EXPECT_EQ(next(2), 4u);
    EXPECT_EQ(next(4), NO_INDEX);  // an end searches no further
    EXPECT_EQ(head(4), 0u);
    EXPECT_EQ(head(5), 5u);  // the second slide starts its own chain
    EXPECT_EQ(next(5), 8u);
    EXPECT_EQ(head(8), 5u);
    EXPECT_EQ(next(3), 6u);  // guide links only to guide
    EXPECT_EQ(head(6), 3u);
    EXPECT_EQ(next(1), 7u);
    EXPECT_EQ(head(7), 1u);
}

TEST(FinishNotes, StartCanBeChosenAsNextStep) {
    Score s = finished({step(F(0), 5, 1), step(F(1), 5, 1), step(F(2), 5, 2)});
    EXPECT_EQ(slide_at(s, 0).next, 1u);
    EXPECT_EQ(slide_at(s, 1).head, 0u);
    EXPECT_EQ(slide_at(s, 2).head, 0u);
}

// The literal form of the linking rules, to check the indexed one against.
void naive_finish_notes(Score& score) {
    std::stable_sort(score.notes.begin(), score.notes.end(),
                     [](const Note& a, const Note& b) { return bar(a) < bar(b); });
    auto& notes = score.notes;
    const std::size_t n = notes.size();
    std::vector<bool> consumed(n);
    std::map<std::pair<std::int64_t, std::int64_t>, std::vector<NoteIndex>> at_bar;
    auto key = [](const Fraction& f) { return std::pair(f.numerator, f.denominator); };
    for (NoteIndex j = 0; j < n; ++j) {
        const NoteCommon& c = common(notes[j]);
        if (c.lane < 2 || c.lane > 13) {
            consumed[j] = true;
            Event e;
            e.bar = c.bar;
            e.text = c.lane == 0 ? "SKILL" : c.note_type == 1 ? "FEVER CHANCE!" : "SUPER FEVER!!";
            score.events.push_back(e);
        } else {
            at_bar[key(c.bar)].push_back(j);
        }
    }
    auto same_place = [&](NoteIndex a, NoteIndex b) {
        return bar(notes[a]) == bar(notes[b]) && lane(notes[a]) == lane(notes[b]) && width(notes[a]) == width(notes[b]);
    };
    for (NoteIndex k = 0; k < n && !at_bar.empty(); ++k) {
        if (consumed[k] || !std::holds_alternative<DirectionalNote>(notes[k])) continue;
        for (NoteIndex p : at_bar[key(bar(notes[k]))])
            if (!consumed[p] && std::holds_alternative<TapNote>(notes[p]) && same_place(p, k)) {
                consumed[p] = true;
                std::get<DirectionalNote>(notes[k]).tap = p;
            }
    }
    for (NoteIndex l = 0; l < n; ++l) {
        if (consumed[l] || !std::holds_alternative<SlideStep>(notes[l])) continue;
        if (std::get<SlideStep>(notes[l]).head == NO_INDEX) std::get<SlideStep>(notes[l]).head = l;
        if (!at_bar.empty()) {
            const auto& list = at_bar[key(bar(notes[l]))];
            for (NoteIndex p : list)
                if (!consumed[p] && std::holds_alternative<TapNote>(notes[p]) && same_place(p, l)) {
                    consumed[p] = true;
                    std::get<SlideStep>(notes[l]).tap = p;
                }
            for (NoteIndex p : list)
                if (!consumed[p] && std::holds_alternative<DirectionalNote>(notes[p]) && same_place(p, l)) {
                    consumed[p] = true;
                    std::get<SlideStep>(notes[l]).directional = p;
                    if (std::get<DirectionalNote>(notes[p]).tap != NO_INDEX)
                        std::get<SlideStep>(notes[l]).tap = std::get<DirectionalNote>(notes[p]).tap;
                }
        }
        SlideStep& s = std::get<SlideStep>(notes[l]);
        if (s.note_type != 2 && l + 1 < n) {
            for (NoteIndex j = l + 1; j < n; ++j) {
                auto* t = std::get_if<SlideStep>(&notes[j]);
                if (!consumed[j] && t && t->channel == s.channel && t->is_guide == s.is_guide) {
                    s.next = j;
                    t->head = s.head;
                    break;
                }
            }
        }
    }
    score.active_notes.clear();
    for (NoteIndex j = 0; j < n; ++j)
        if (!consumed[j]) score.active_notes.push_back(j);
}

std::string describe(const Note& n) {
    std::string out = std::to_string(n.index()) + ":" + to_text(bar(n)) + "," + std::to_string(lane(n)) + "," +
                      std::to_string(width(n)) + "," + std::to_string(note_type(n));
    if (auto* d = std::get_if<DirectionalNote>(&n)) out += " tap=" + std::to_string(d->tap);
    if (auto* s = std::get_if<SlideStep>(&n))
        out += " tap=" + std::to_string(s->tap) + " dir=" + std::to_string(s->directional) +
               " next=" + std::to_string(s->next) + " head=" + std::to_string(s->head) + " ch=" +
               std::to_string(s->channel) + (s->is_guide ? "g" : "");
    return out;
}

TEST(FinishNotes, MatchesLiteralRulesOnRandomCharts) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 400; ++round) {
        // Few bars, lanes and channels so that places and channels collide often.
        const int count = static_cast<int>(rng() % 60);
        const int bars = 1 + static_cast<int>(rng() % 6);
        std::vector<Note> notes;
        for (int i = 0; i < count; ++i) {
            Fraction b = F(static_cast<std::int64_t>(rng() % (bars * 2)), 2);
            int ln = static_cast<int>(rng() % 5) + (rng() % 8 == 0 ? 11 : 2);  // some out of field
            if (rng() % 10 == 0) ln = static_cast<int>(rng() % 2);
            int w = 1 + static_cast<int>(rng() % 2);
            int type = 1 + static_cast<int>(rng() % 3);
            switch (rng() % 3) {
                case 0: notes.push_back(tap(b, ln, w, type)); break;
                case 1: notes.push_back(flick(b, ln, w, type)); break;
                default: notes.push_back(step(b, ln, type, static_cast<int>(rng() % 3), rng() % 4 == 0, w)); break;
            }
        }
        Score fast, slow;
        fast.notes = notes;
        slow.notes = notes;
        finish_notes(fast);
        naive_finish_notes(slow);
        ASSERT_EQ(fast.active_notes, slow.active_notes) << "round " << round;
        ASSERT_EQ(fast.events, slow.events) << "round " << round;
        for (std::size_t i = 0; i < notes.size(); ++i)
            ASSERT_EQ(describe(fast.notes[i]), describe(slow.notes[i])) << "round " << round << " note " << i;
    }
}

TEST(FinishNotes, SortsLikeAStableSortByBar) {
    // Bars of every shape the bar sort takes apart: small and large denominators (the
    // latter past any common multiple), negative bars, ties, and spans too wide to bucket.
    std::mt19937 rng(777);
    const std::int64_t dens[] = {1, 2, 3, 4, 6, 7, 8, 12, 16, 48, 96, 192, 1000003, 2147483647, 4611686018427387847};
    for (int round = 0; round < 300; ++round) {
        const int count = static_cast<int>(rng() % 200);
        const std::int64_t wide = round % 5 == 0 ? 1000000000000 : 8;
        std::vector<Note> notes;
        for (int i = 0; i < count; ++i) {
            const std::int64_t d = dens[rng() % (round % 3 == 0 ? 15 : 10)];
            const std::int64_t whole = static_cast<std::int64_t>(rng() % 8) - 3 + (rng() % 50 == 0 ? wide : 0);
            const std::int64_t part = d > 1000 ? static_cast<std::int64_t>(rng() % 1000) * (d / 1000)
                                               : static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(d));
            notes.push_back(tap(from_integer(whole) + Fraction(part, d),
                                20 + i, 1, 1));  // out of field: kept in place, one event each
        }
        std::vector<Note> expected = notes;
        std::stable_sort(expected.begin(), expected.end(), [](const Note& a, const Note& b) { return bar(a) < bar(b); });
        Score s;
        s.notes = notes;
        finish_notes(s);
        ASSERT_EQ(s.notes.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(bar(s.notes[i]), bar(expected[i])) << "round " << round << " note " << i;
            ASSERT_EQ(lane(s.notes[i]), lane(expected[i])) << "round " << round << " note " << i;
        }
    }
}

TEST(FinishNotes, ManyNotesAtOneBarAndManyChannels) {
    // Would be quadratic with a plain scan; must finish quickly and link correctly.
    std::vector<Note> notes;
    const int n = 100000;
    for (int i = 0; i < n / 2; ++i) notes.push_back(tap(F(0), 2 + i % 12, 1 + i % 7));
    for (int i = 0; i < n / 2; ++i) notes.push_back(step(F(i, 7), 2 + i % 12, i < 36 ? 1 : 3, i % 36));
    Score s = finished(std::move(notes));
    EXPECT_GT(s.active_notes.size(), static_cast<std::size_t>(n / 2));
    auto it = std::find_if(s.notes.begin(), s.notes.end(),
                           [](const Note& x) { return std::holds_alternative<SlideStep>(x); });
    ASSERT_NE(it, s.notes.end());
    EXPECT_NE(std::get<SlideStep>(*it).tap, NO_INDEX);
    EXPECT_EQ(slide_at(s, std::get<SlideStep>(*it).next).head, static_cast<NoteIndex>(it - s.notes.begin()));
}

TEST(FinishEvents, SortsStablyAndDropsRepeats) {
    Score s;
    auto ev = [](Fraction bar, std::optional<Fraction> bpm, std::optional<std::string> text) {
        Event e;
        e.bar = bar;
        e.bpm = bpm;
        e.text = text;
        return e;
    };
    s.events = {ev(F(1), F(120), std::nullopt), ev(F(0), F(150), std::nullopt), ev(F(1), F(120), std::nullopt),
                ev(F(1), std::nullopt, "x"), ev(F(1), F(120), std::nullopt), ev(F(1, 2), F(60), "y")};
    s.timing_table.emplace();
    s.exact_time_cache[F(1)] = F(2);
    s.float_time_cache[F(1)] = 2.0;
    finish_events(s);
    EXPECT_EQ(s.events, (std::vector<Event>{ev(F(0), F(150), std::nullopt), ev(F(1, 2), F(60), "y"),
                                            ev(F(1), F(120), std::nullopt), ev(F(1), std::nullopt, "x"),
                                            ev(F(1), F(120), std::nullopt)}));
    EXPECT_FALSE(s.timing_table.has_value());
    EXPECT_TRUE(s.exact_time_cache.empty());
    EXPECT_TRUE(s.float_time_cache.empty());
}

}  // namespace
}  // namespace qs

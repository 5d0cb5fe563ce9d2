// The SUS reader: line classification, headers, every data row, speed tables.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "common/check.h"
#include "score/sus.h"

namespace qs {
namespace {

Fraction F(std::int64_t n, std::int64_t d = 1) { return Fraction(n, d); }

// "bar:bpm" / "bar:len" / "bar:speed" / "bar:text" per event, for compact checks.
std::vector<std::string> events_of(const Score& s) {
    std::vector<std::string> out;
    for (const Event& e : s.events) {
        std::string t = to_text(e.bar);
        if (e.bpm) t += " bpm=" + to_text(*e.bpm);
        if (e.bar_length) t += " len=" + to_text(*e.bar_length);
        if (e.speed) {
            std::ostringstream o;
            o << *e.speed;
            t += " speed=" + o.str();
        }
        if (e.text) t += " text=" + *e.text;
        out.push_back(t);
    }
    return out;
}

using Strings = std::vector<std::string>;

TEST(SusReader, EmptyText) {
    Score s = read_sus("");
    EXPECT_TRUE(s.notes.empty());
    EXPECT_TRUE(s.events.empty());
    EXPECT_TRUE(s.active_notes.empty());
    EXPECT_FALSE(s.meta.title.has_value());
}

TEST(SusReader, Headers) {
    struct Case {
        const char* text;
        std::optional<std::string> title;
    } cases[] = {
        {"#TITLE \"Song\"", "Song"},
        {"#title Song", "Song"},
        {"#TITLE Song \"x\"", "Song \"x\""},
        {"#TITLE 'Song'\n#TITLE Other", "Song"},
        {"#TITLE \"\"\n#TITLE Other", "Other"},
        {"#TITLE \"", "\""},                   // a lone quote is no pair and stays
        {"#TITLE\t  \" a \" ", " a "},         // inside of the quotes is not trimmed
        {"#TITLE 'x\"", "'x\""},               // mismatched quotes stay
        {"#TITLE", std::nullopt},              // no value: a comment
        {"#TITLE: x", std::nullopt},           // a data line matching no data row
        {"  #TITLE   Song  \r", "Song"},       // trimmed line, value after all spaces
        {"#TITLE\u3000Song", "Song"},          // ideographic space is white space
        {"#TİTLE Song", std::nullopt},         // lower-cases to "ti̇tle", not "title"
        {"TITLE Song", std::nullopt},
        {"# TITLE Song", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(read_sus(c.text).meta.title, c.title) << c.text;
    // Keys are compared after Unicode lower-casing: the Kelvin sign lowers to "k".
    EXPECT_EQ(read_sus("#BAC\u212AGROUND b.png").meta.background, "b.png");

    Score s = read_sus(
        "#SUBTITLE sub\n#ARTIST 'a'\n#GENRE g\n#DESIGNER d\n#DIFFICULTY 3\n#PLAYLEVEL 30+\n#SONGID id\n"
        "#WAVE w.mp3\n#WAVEOFFSET -0.25\n#JACKET j.png\n#BACKGROUND b\n#MOVIE m\n#MOVIEOFFSET 1/4\n"
        "#BASEBPM \"150\"\n#BASEBPM 90\n#COMPOSER c\n#HISPEED 2\n#NOSPEED x");
    const Meta& m = s.meta;
    EXPECT_EQ(m.subtitle, "sub");
    EXPECT_EQ(m.artist, "a");
    EXPECT_EQ(m.genre, "g");
    EXPECT_EQ(m.designer, "d");
    EXPECT_EQ(m.difficulty, "3");
    EXPECT_EQ(m.playlevel, "30+");
    EXPECT_EQ(m.songid, "id");
    EXPECT_EQ(m.wave, "w.mp3");
    EXPECT_EQ(m.waveoffset, "-0.25");
    EXPECT_EQ(m.jacket, "j.png");
    EXPECT_EQ(m.background, "b");
    EXPECT_EQ(m.movie, "m");
    EXPECT_EQ(m.movieoffset, 0.25);
    EXPECT_EQ(m.basebpm, 150.0);
    EXPECT_FALSE(m.title.has_value());
}

TEST(SusReader, EmptyMetaValueIsDroppedByTheNextHeader) {
    // Each header line is merged over the metadata read so far, and the merge keeps
    // only filled values of the current record.
    EXPECT_EQ(read_sus("#PLAYLEVEL \"\"").meta.playlevel, "");
    EXPECT_FALSE(read_sus("#PLAYLEVEL \"\"\n#TITLE x").meta.playlevel.has_value());
    EXPECT_FALSE(read_sus("#BASEBPM 0\n#TITLE x").meta.basebpm.has_value());
    EXPECT_EQ(read_sus("#BASEBPM 0\n#BASEBPM abc").meta.basebpm, std::nullopt);
}

TEST(SusReader, TicksPerBeatRequest) {
    const char* table = "\n#TIL00: \"1'480:2\"";
    struct Case {
        std::string request;
        std::string bar;
    } cases[] = {
        {"", "1.+1/4"},
        {"#REQUEST \"ticks_per_beat 960\"", "1.+1/8"},
        {"#request \"ticks_per_beat 960\"", "1.+1/4"},    // the request key is case-sensitive
        {"#REQUEST \"ticks_per_beat  \t240\"", "1.+1/2"},
        {"#REQUEST \"ticks_per_beat 960\" ", "1.+1/8"},   // the line is trimmed
        {"#REQUEST ticks_per_beat 960", "1.+1/4"},
        {"#REQUEST \"ticks_per_beat960\"", "1.+1/4"},
        {"#REQUEST \"ticks_per_beat 99999999999\"", "1.+1/4"},
        {"#REQUEST \"ticks_per_beat ٩٦٠\"", "1.+1/4"},     // digits, but not ASCII
        {"#REQUEST \"side_lane true\"", "1.+1/4"},
    };
    for (const auto& c : cases) EXPECT_EQ(events_of(read_sus(c.request + table)), Strings{c.bar + " speed=2"}) << c.request;
    EXPECT_THROW(read_sus("#REQUEST \"ticks_per_beat 0\"\n#TIL00: \"1'1:2\""), CheckFailure);
    EXPECT_NO_THROW(read_sus("#REQUEST \"ticks_per_beat 0\"\n#TIL00: \"\""));
}

TEST(SusReader, TempoAndBarLength) {
    struct Case {
        const char* text;
        Strings events;
    } cases[] = {
        {"#BPM01: 120\n#00008: 01", {"0. bpm=120."}},
        {"#00008: 01\n#BPM01: 120", {}},
        {"#BPM01: 120\n#BPM01: 1/3\n#00108: 0001", {"1.+1/2 bpm=1/3"}},
        {"#BPMzz: 90\n#00008: 00ZZ", {"1/2 bpm=90."}},   // ids are base-36 in either case
        {"#BPM01: x\n#00008: 01", {}},
        {"#BPM1: 120\n#00008: 01", {}},
        {"#BPM01: 60\n#BPM02: 90\n#01208: 01000200", {"12. bpm=60.", "12.+1/2 bpm=90."}},
        {"#00002: 3", {"0. len=3."}},
        {"#00102: x", {"1. len=4."}},
        {"#00102: 4.5", {"1. len=4."}},
        {"#00102:  -2 ", {"1. len=-2."}},
        {"#0002: 3", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(events_of(read_sus(c.text)), c.events) << c.text;
    EXPECT_THROW(read_sus("#BPM01: 120/0"), CheckFailure);
    EXPECT_THROW(read_sus("#BASEBPM 120/0"), CheckFailure);
    EXPECT_THROW(read_sus("#MOVIEOFFSET \"1/0\""), CheckFailure);
}

std::string note_text(const Note& n) {
    static const char* kinds[] = {"tap", "dir", "slide"};
    std::string t = std::string(kinds[n.index()]) + " " + to_text(bar(n)) + " l" + std::to_string(lane(n)) + " w" +
                    std::to_string(width(n)) + " t" + std::to_string(note_type(n));
    if (auto* s = std::get_if<SlideStep>(&n)) t += std::string(s->is_guide ? " g" : " c") + std::to_string(s->channel);
    return t;
}

Strings active_of(const Score& s) {
    Strings out;
    for (NoteIndex i : s.active_notes) out.push_back(note_text(s.notes[i]));
    return out;
}

TEST(SusReader, NoteRows) {
    struct Case {
        const char* text;
        Strings notes;
    } cases[] = {
        {"#00012: 1300", {"tap 0. l2 w3 t1"}},
        {"#0001a: 12", {"tap 0. l10 w2 t1"}},
        {"#0001D: 12", {"tap 0. l13 w2 t1"}},
        {"#00012: 123", {"tap 0. l2 w2 t1"}},                      // a final odd character counts in n
        {"#00012: 10002030", {"tap 0. l2 w0 t1", "tap 1/2 l2 w0 t2", "tap 3/4 l2 w0 t3"}},
        {"#00212: 1 2 3", {"tap 2. l2 w0 t1", "tap 2.+2/5 l2 w0 t2"}},  // spaces count
        {"#00052: 13", {"dir 0. l2 w3 t1"}},
        {"#001324: 1020", {"slide 1. l2 w0 t1 c4", "slide 1.+1/2 l2 w0 t2 c4"}},
        {"#00192x: 13", {"slide 1. l2 w3 t1 g33"}},
        {"#00032: 13", {}},                                          // a slide key without channel
        {"#0001: 13", {}},
        {"#000122: 13", {}},
        {"#00042: 13", {}},
        {"#٠٠١12: 13", {"tap 0. l2 w3 t1"}},                          // measure digits outside ASCII read 0
        {"#00012: ééé1", {"tap 0. l2 w0 t0", "tap 1/2 l2 w1 t0"}},  // characters, not bytes
    };
    for (const auto& c : cases) {
        EXPECT_EQ(active_of(read_sus(c.text)), c.notes) << c.text;
    }
}

TEST(SusReader, OutOfFieldNotesAndLinking) {
    Score s = read_sus("#00010: 41\n#0001f: 11\n#00013: 1100\n#00053: 1100\n#001320: 1010");
    EXPECT_EQ(events_of(s), (Strings{"0. text=SKILL", "0. text=FEVER CHANCE!"}));
    ASSERT_EQ(active_of(s), (Strings{"dir 0. l3 w1 t1", "slide 1. l2 w0 t1 c0", "slide 1.+1/2 l2 w0 t1 c0"}));
    const auto& flick = std::get<DirectionalNote>(s.notes[s.active_notes[0]]);
    ASSERT_NE(flick.tap, NO_INDEX);
    EXPECT_EQ(note_text(s.notes[flick.tap]), "tap 0. l3 w1 t1");
}

TEST(SusReader, SpeedTables) {
    struct Case {
        const char* text;
        Strings events;
    } cases[] = {
        {"#TIL00: \"0'0:1.0, 1'480:2.5\"", {"0. speed=1", "1.+1/4 speed=2.5"}},
        {"#TIL01: \"2'0:3,1'0:2, 1'0:4\"", {"1. speed=2", "1. speed=4", "2. speed=3"}},
        {"#TIL00: 1'2'3:x", {"2.+1/640 speed=1"}},                   // a match can start in a failed run
        {"#TIL00: '12'34:5,6'7:8 9'10:1e1'", {"6.+7/1920 speed=8", "9.+1/192 speed=10", "12.+17/960 speed=5"}},
        {"#TIL00: \"0'0:,1'0:2\"", {"1. speed=2"}},
        {"#TIL00: \"1'0:2'3:4\"", {"1. speed=1"}},                    // greedy third group, unreadable float
        {"#TIL00: \"99999999999'0:2\"", {"0. speed=2"}},
        {"#TIL00: \"٣'0:2\"", {"0. speed=2"}},
        {"#TIL00: \"1'0:-64\"", {"1. speed=-64"}},
        {"#TIL00: \"\"", {}},
        {"#TIL1ĉ: \"1'0:2\"", {"1. speed=2"}},                        // a Unicode word character in the id
        {"#TIL1˂: \"1'0:2\"", {}},                                     // not a word character: a comment
        {"#TIL0: \"1'0:2\"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(events_of(read_sus(c.text)), c.events) << c.text;
}

TEST(SusReader, LineEnds) {
    const std::string lf = "#TITLE A\n#BPM01: 120\n\n#00008: 01\n#00012: 13\n";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& text : {lf, crlf, lf.substr(0, lf.size() - 1), crlf + "\r\n"}) {
        Score s = read_sus(text);
        EXPECT_EQ(s.meta.title, "A");
        EXPECT_EQ(events_of(s), Strings{"0. bpm=120."});
        EXPECT_EQ(active_of(s), Strings{"tap 0. l2 w3 t1"});
    }
    // A lone carriage return is no line break.
    EXPECT_EQ(read_sus("#TITLE A\r#ARTIST B").meta.title, "A\r#ARTIST B");
}

TEST(SusReader, LongLinesStayLinear) {
    std::string value(200000, '1');
    Score s = read_sus("#00012: " + value);
    EXPECT_EQ(s.active_notes.size(), 100000u);
    EXPECT_EQ(bar(s.notes.back()), F(199998, 200000));
    // One long digit run that never completes a match, then one that does.
    std::string table = "#TIL00: " + std::string(1000000, '7') + "'" + std::string(1000000, '8') + " 1'0:2";
    EXPECT_EQ(events_of(read_sus(table)), Strings{"1. speed=2"});
}

TEST(SusReader, SharedCharts) {
    const std::filesystem::path dir = std::filesystem::path(QS_SHARED_DIR) / "charts" / "sus";
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "shared charts folder not present";
    // Note counts as listed with the charts.
    const std::map<std::string, std::size_t> expected_notes = {
        {"01-warning.sus", 4306}, {"02-kichireko.sus", 1987}, {"03-cyanine.sus", 2117},
        {"04-lyrith.sus", 3288}, {"05-hazard.sus", 611}, {"06-queen.sus", 2069},
        {"07-interrobang.sus", 2443}, {"08-n2u.sus", 1503}, {"09-ieo.sus", 1139},
        {"10-idol.sus", 2322}, {"11-finix.sus", 1957}, {"12-stargazer.sus", 1272},
        {"13-ainov.sus", 2345}, {"14-expert-crlf.sus", 965}, {"15-labo-ratori.sus", 1423},
        {"16-expert-oddkeys.sus", 969}, {"17-doping-dance.sus", 4615}, {"18-empurple-append.sus", 1316},
        {"19-intense-voice-append.sus", 4374}, {"20-rollinggirl-master.sus", 1787},
        {"21-nouten-master.sus", 1185}, {"22-asyoulikeit-append.sus", 1778},
        {"23-chounights-master.sus", 2021}, {"24-guides.sus", 3040}, {"25-unclose-human.sus", 2120},
        {"26-ikiru.sus", 518}, {"27-tempo.sus", 2857}};
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".sus") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Score s = read_sus(text);
        const std::string name = entry.path().filename().string();
        ++files;
        if (auto it = expected_notes.find(name); it != expected_notes.end()) {
            EXPECT_EQ(s.notes.size(), it->second) << name;
        }
        EXPECT_GT(s.active_notes.size(), s.notes.size() / 4) << name;
        EXPECT_LE(s.active_notes.size(), s.notes.size()) << name;
        EXPECT_FALSE(s.events.empty()) << name;
        for (std::size_t i = 1; i < s.events.size(); ++i) ASSERT_LE(s.events[i - 1].bar, s.events[i].bar) << name;
        for (const Note& n : s.notes) {
            if (auto* st = std::get_if<SlideStep>(&n)) {
                ASSERT_TRUE(st->next == NO_INDEX || st->next < s.notes.size()) << name;
                if (lane(n) >= 2 && lane(n) <= 13) {
                    ASSERT_LT(st->head, s.notes.size()) << name;
                }
            }
        }
    }
    EXPECT_GT(files, 20);
}

}  // namespace
}  // namespace qs

// Text forms and drawing options.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "drawing/options.h"
#include "drawing/text_forms.h"

namespace qs {
namespace {

TEST(EscapeXml, EntitiesInOrderAndNothingElse) {
    EXPECT_EQ(escape_xml("a&b<c>\"d'"), "a&amp;b&lt;c&gt;&quot;d'");
    EXPECT_EQ(escape_xml("&lt;"), "&amp;lt;");
    EXPECT_EQ(escape_xml(""), "");
    EXPECT_EQ(escape_xml("\x01 \xe3\x81\x82"), "\x01 \xe3\x81\x82");
}

TEST(FormatNumber, SixSignificantDigits) {
    const std::pair<double, const char*> cases[] = {
        {118, "118"},
        {-3, "-3"},
        {9.142857142857142, "9.14286"},
        {0.5, "0.5"},
        {141600, "141600"},
        {1234567, "1.23457e+06"},
        {0.00001234, "1.234e-05"},
        {0.0001, "0.0001"},
        {100, "100"},
        {999999.7, "1000000"},
        {0.000099999, "9.9999e-05"},
        {-0.0, "0"},
        {0.0, "0"},
        {150, "150"},
        {1.5, "1.5"},
        {-37200, "-37200"},
        {2.5e-300, "2.5e-300"},
        {1e300, "1e+300"},
        {-1234567, "-1.23457e+06"},
        {0.125, "0.125"},
    };
    for (const auto& [x, want] : cases) EXPECT_EQ(format_number(x), want) << x;
    std::string out = "x=";
    append_number(out, 2.25);
    EXPECT_EQ(out, "x=2.25");
}

TEST(RoundEven, TiesGoToEven) {
    const std::pair<double, std::int64_t> cases[] = {
        {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {12.5, 12}, {13.5, 14}, {0.49999999999999994, 0},
        {2.6, 3}, {-2.6, -3}, {1e300, INT64_MAX}, {-1e300, INT64_MIN},
    };
    for (const auto& [x, want] : cases) EXPECT_EQ(round_even(x), want) << x;
    EXPECT_EQ(round_even(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(NumberForms, IntegerPlainAndTwoDecimals) {
    std::string s;
    append_int(s, -42);
    s += '|';
    append_int(s, INT64_MIN);
    s += '|';
    for (double x : {32.0, 4.5, 1.0 / 3.0, 1e21, -0.0, 0.1}) {
        append_plain(s, x);
        s += '|';
    }
    for (double x : {5.0, 12.345, 0.125, 0.375, -0.005, 1234.5678}) {
        append_two_decimals(s, x);
        s += '|';
    }
    EXPECT_EQ(s,
              "-42|-9223372036854775808|32|4.5|0.3333333333333333|1000000000000000000000|-0|0.1|"
              "5.00|12.35|0.12|0.38|-0.01|1234.57|");
}

TEST(Join, SeparatorBetweenNeighboursOnly) {
    EXPECT_EQ(join(std::vector<std::string>{}, ", "), "");
    EXPECT_EQ(join(std::vector<std::string>{"a"}, ", "), "a");
    EXPECT_EQ(join(std::vector<std::string>{"a", "", "c"}, ", "), "a, , c");
}

// The style sheet rebuilt from its rule table; the hash was computed independently.
std::string style_sheet_from_table() {
    const std::string fonts =
        "font-family: \"\u30d2\u30e9\u30ae\u30ce\u89d2\u30b4 Pro W3\", \"Hiragino Kaku Gothic Pro\", Osaka, "
        "\u30e1\u30a4\u30ea\u30aa, Meiryo, \"\uff2d\uff33 \uff30\u30b4\u30b7\u30c3\u30af\", \"MS PGothic\", "
        "\"\uff2d\uff33 \u30b4\u30b7\u30c3\u30af\" , \"MS Gothic\", \"Noto Sans CJK JP\", TakaoPGothic, sans-serif;";
    struct Rule {
        const char* selector;
        std::vector<std::string> lines;
    };
    const std::vector<Rule> rules = {
        {".bar-line", {"stroke: #e2e2e2;", "stroke-width: 4;"}},
        {".bar-count-flag", {"stroke: #ffffff;", "stroke-width: 4;"}},
        {".bar-count-text", {"font-size: 12px;", "font-weight: 900;", "font-family: Avenir;", "fill: #ffffff;", "text-anchor: start;"}},
        {".beat-line", {"stroke: #e2e2e2;", "stroke-width: 1;"}},
        {".lane-line", {"stroke: #e2e2e2;", "stroke-width: 1;"}},
        {".event-flag", {"stroke: #fee300;", "stroke-width: 4;"}},
        {".event-text", {"font-size: 12px;", "font-weight: 900;", "font-family: Avenir;", "fill: #fee300;", "text-anchor: start;"}},
        {".speed-line", {"stroke: #ff33ff;", "stroke-width: 1;"}},
        {".speed-text", {"font-size: 12px;", "font-family: Avenir;", "fill: #ff33ff;", "text-anchor: end;"}},
        {".lyric-text", {"font-size: 12px;", fonts, "fill: #ffffff;", "text-anchor: start;"}},
        {".slide", {"fill: #c9fce2cc"}},
        {".slide-critical", {"fill: #fcf1c3cc"}},
        {".decoration", {"fill: url(#decoration-gradient);"}},
        {"#decoration-gradient", {"--color-start: #c9fce299;", "--color-stop: #c9fce233;"}},
        {".decoration-critical", {"fill: url(#decoration-critical-gradient);"}},
        {"#decoration-critical-gradient", {"--color-start: #fcf1c399;", "--color-stop: #fcf1c333;"}},
        {".tick-text", {"font-size: 12px;", "font-family: Avenir;", "fill: #e2e2e2;", "text-anchor: end;"}},
        {".tick-line", {"stroke: #e2e2e2;", "stroke-width: 1;"}},
        {".meta-line", {"stroke: #e2e2e2;", "stroke-width: 2;"}},
        {".title", {"font-size: 96px;", "font-weight: 900;", fonts, "fill: #ffffff;", "text-anchor: start;"}},
        {".subtitle", {"font-size: 48px;", "font-weight: 700;", fonts, "fill: #ffffff;", "text-anchor: start;"}},
        {".lane", {"fill: #CFD8DC;"}},
        {".background", {"fill: #FFFFFF;"}},
        {".meta", {"fill: #FFFFFF;"}},
        {nullptr, {}},
        {".skill-duration", {"fill: #78909C;"}},
        {".skill-perfect", {"fill: #90A4AE;"}},
        {".skill-great", {"fill: #B0BEC5;"}},
        {".skill-score", {"font-size: 38px;", "/*font-weight: 900;*/", "font-family: Osaka;", "fill: black;", "text-anchor: start;", "/*text-shadow: black 0.1em 0.1em 0.2em;*/"}},
        {".fever-duration", {"fill: #ECEFF1;"}},
    };
    std::vector<std::string> parts;
    for (const Rule& r : rules) {
        if (r.selector == nullptr) {
            parts.push_back("/* skill */");
            continue;
        }
        std::string p = std::string(r.selector) + " {\n";
        for (const std::string& l : r.lines) p += "    " + l + "\n";
        parts.push_back(p + "}");
    }
    return join(parts, "\n\n");
}

std::uint64_t fnv1a(std::string_view s) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

TEST(StyleSheet, MatchesItsRuleTable) {
    EXPECT_EQ(DEFAULT_STYLE_SHEET.size(), 2712u);
    EXPECT_EQ(fnv1a(DEFAULT_STYLE_SHEET), 0x82b694229a13cffaull);
    EXPECT_EQ(std::string(DEFAULT_STYLE_SHEET), style_sheet_from_table());
    EXPECT_TRUE(DEFAULT_STYLE_SHEET.starts_with(".bar-line {\n    stroke: #e2e2e2;\n"));
    EXPECT_TRUE(DEFAULT_STYLE_SHEET.ends_with("    fill: #ECEFF1;\n}"));
}

TEST(Gradients, TwoLinearGradients) {
    const std::string stops =
        "<stop offset=\"0\" stop-color=\"var(--color-start)\"/><stop offset=\"1\" "
        "stop-color=\"var(--color-stop)\"/></linearGradient>";
    EXPECT_EQ(std::string(GRADIENT_DEFINITIONS),
              "<linearGradient id=\"decoration-gradient\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">" + stops +
                  "<linearGradient id=\"decoration-critical-gradient\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">" + stops);
}

// An empty, never-grown buffer has no storage: appending it must not hand memcpy a null source.
TEST(TextBuffer, AppendingAnEmptyBufferIsANoOp) {
    TextBuffer empty, out;
    out.append(empty.data(), empty.size());
    out.append(std::string_view());
    EXPECT_TRUE(out.empty());
    out.append("ab", 2);
    out.append(empty.data(), empty.size());
    EXPECT_EQ(out.view(), "ab");
}

TEST(TextBuffer, ShrinkToFitKeepsTheText) {
    TextBuffer b;
    b.reserve(1000);
    b.append("abc", 3);
    b.shrink_to_fit();
    EXPECT_EQ(b.view(), "abc");
    EXPECT_EQ(b.capacity(), 3u);
    b.append("d", 1);  // grows again from the fitted size
    EXPECT_EQ(b.view(), "abcd");
    TextBuffer empty;
    empty.reserve(64);
    empty.shrink_to_fit();
    EXPECT_EQ(empty.capacity(), 0u);
}

TEST(Options, Defaults) {
    DrawingOptions o = build_options({});
    EXPECT_EQ(o.note_host, "https://static.quorvel.example/live/note/custom01");
    EXPECT_EQ(o.note_asset_extension, "png");
    EXPECT_EQ(o.generator, "Zelvatrix");
    EXPECT_EQ(o.style_sheet, DEFAULT_STYLE_SHEET);
    EXPECT_FALSE(o.skill);
    EXPECT_FALSE(o.music_meta);
    EXPECT_EQ(o.time_height, 360.0);
    EXPECT_EQ(o.lane_width, 16);
    EXPECT_EQ(o.margin_y, 32);
    EXPECT_EQ(std::string(ATTRIBUTION_TEXT) + "Generated by " + o.generator,
              "Chart data \xc2\xa9 its authors. Generated by Zelvatrix");
}

TEST(Options, SuppliedValuesAreNormalised) {
    OptionInputs in;
    in.note_host = "https://h.example/x/";
    in.style_sheet = "x;";
    in.generator = "Gen";
    in.note_asset_extension = "  .PNG ";
    in.font_paths = std::vector<std::string>{"", "  ", "a.ttf", " b.ttf"};
    in.font_dirs = std::vector<std::string>{"\xe3\x80\x80", "d"};  // ideographic space is blank
    in.skill = true;
    in.music_meta = MusicMeta{};
    DrawingOptions o = build_options(in);
    EXPECT_EQ(o.note_host, "https://h.example/x/");
    EXPECT_TRUE(o.style_sheet.ends_with("}\nx;"));
    EXPECT_EQ(o.style_sheet.size(), DEFAULT_STYLE_SHEET.size() + 3);
    EXPECT_EQ(o.generator, "Gen");
    EXPECT_EQ(o.note_asset_extension, "png");
    EXPECT_EQ(o.font_paths, (std::vector<std::string>{"a.ttf", " b.ttf"}));
    EXPECT_EQ(o.font_dirs, (std::vector<std::string>{"d"}));
    EXPECT_TRUE(o.skill);
    ASSERT_TRUE(o.music_meta);
    EXPECT_EQ(o.music_meta->fever_score, 0.0);

    in.note_asset_extension = "...";
    EXPECT_EQ(build_options(in).note_asset_extension, "");
    in.note_asset_extension = "Web\xc3\x89P";  // only ASCII letters change case
    EXPECT_EQ(build_options(in).note_asset_extension, "web\xc3\x89p");
}

TEST(Options, FontListEditing) {
    std::vector<std::string> list{"old"};
    replace_font_list(list, {" ", "n1", "\t\n"});
    EXPECT_EQ(list, (std::vector<std::string>{"n1"}));
    add_font_entry(list, "  ");
    add_font_entry(list, " x ");
    EXPECT_EQ(list, (std::vector<std::string>{"n1", " x "}));
    replace_font_list(list, {});
    EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace qs

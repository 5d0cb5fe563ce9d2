#include "json/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

using qs::json::Kind;
using qs::json::Value;

std::string error_of(const std::string& text) {
    auto r = qs::json::parse(text);
    if (r.ok()) return "<accepted>";
    return r.error().message();
}

Value parse_ok(const std::string& text) {
    auto r = qs::json::parse(text);
    EXPECT_TRUE(r.ok()) << text << " -> " << (r.ok() ? "" : r.error().message());
    return r.ok() ? std::move(r).value() : Value{};
}

struct FailureRow {
    int row;
    std::string input;
    std::string message;
};

TEST(JsonParse, FailureMessagesAndPositions) {
    const std::string deep_list(128, '[');
    const std::string deep_mixed = std::string(127, '[') + "{";
    const FailureRow rows[] = {
        {1, "", "EOF while parsing a value at line 1 column 0"},
        {2, "   ", "EOF while parsing a value at line 1 column 3"},
        {3, "\n\n", "EOF while parsing a value at line 3 column 0"},
        {4, "-", "EOF while parsing a value at line 1 column 1"},
        {5, "1e", "EOF while parsing a value at line 1 column 2"},
        {6, "1.", "EOF while parsing a value at line 1 column 2"},
        {7, "tru", "EOF while parsing a value at line 1 column 3"},
        {8, "[1,", "EOF while parsing a value at line 1 column 3"},
        {9, "{\"a\":", "EOF while parsing a value at line 1 column 5"},
        {10, "{\"a\":1,", "EOF while parsing a value at line 1 column 7"},
        {11, "[", "EOF while parsing a list at line 1 column 1"},
        {12, "[1", "EOF while parsing a list at line 1 column 2"},
        {13, "[1,\n2", "EOF while parsing a list at line 2 column 1"},
        {14, "{", "EOF while parsing an object at line 1 column 1"},
        {15, "{\"a\"", "EOF while parsing an object at line 1 column 4"},
        {16, "{\"a\":1", "EOF while parsing an object at line 1 column 6"},
        {17, "\"abc", "EOF while parsing a string at line 1 column 4"},
        {18, "\"\\", "EOF while parsing a string at line 1 column 2"},
        {19, "\"\\ud800", "EOF while parsing a string at line 1 column 7"},
        {20, "\"\\u12\"", "EOF while parsing a string at line 1 column 6"},
        {21, "{\"a\" 1}", "expected `:` at line 1 column 6"},
        {22, "[1 2]", "expected `,` or `]` at line 1 column 4"},
        {23, "{\"a\":1 \"b\":2}", "expected `,` or `}` at line 1 column 8"},
        {24, "trUe", "expected ident at line 1 column 3"},
        {25, "[nulx]", "expected ident at line 1 column 5"},
        {26, "fals", "EOF while parsing a value at line 1 column 4"},
        {27, "x", "expected value at line 1 column 1"},
        {28, "\xEF\xBB\xBF{}", "expected value at line 1 column 1"},
        {29, "[\"\xC3\xA9\", x]", "expected value at line 1 column 8"},
        {30, "[1,]", "trailing comma at line 1 column 4"},
        {31, "{\"a\":1,}", "trailing comma at line 1 column 8"},
        {32, "[1,\r\n]", "trailing comma at line 2 column 1"},
        {33, "{} x", "trailing characters at line 1 column 4"},
        {34, "{\"a\":1}\n\n   x", "trailing characters at line 3 column 4"},
        {35, "\"a\" \"b\"", "trailing characters at line 1 column 5"},
        {36, "\"\\x\"", "invalid escape at line 1 column 3"},
        {37, "\"\\uZZZZ\"", "invalid escape at line 1 column 7"},
        {38, "01", "invalid number at line 1 column 2"},
        {39, "-a", "invalid number at line 1 column 2"},
        {40, "1.e5", "invalid number at line 1 column 3"},
        {41, "1ex", "invalid number at line 1 column 3"},
        {42, "1.\n5", "invalid number at line 2 column 0"},
        {43, "1e400", "number out of range at line 1 column 5"},
        {44, "[-1e309]", "number out of range at line 1 column 7"},
        {45, "[1e99999999999]", "number out of range at line 1 column 13"},
        {46, "\"a\x01" "b\"",
         "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
        {47, "\"a\nb\"",
         "control character (\\u0000-\\u001F) found while parsing a string at line 2 column 0"},
        {48, "{1:2}", "key must be a string at line 1 column 2"},
        {49, "{\"a\":1,2:3}", "key must be a string at line 1 column 8"},
        {50, "{,}", "key must be a string at line 1 column 2"},
        {51, "\"\\udc00\"", "lone leading surrogate in hex escape at line 1 column 7"},
        {52, "\"\\ud800\\u0041\"", "lone leading surrogate in hex escape at line 1 column 13"},
        {53, "\"\\ud800x\"", "unexpected end of hex escape at line 1 column 8"},
        {54, "\"\\ud800\\n\"", "unexpected end of hex escape at line 1 column 9"},
        {55, deep_list, "recursion limit exceeded at line 1 column 128"},
        {56, deep_mixed, "recursion limit exceeded at line 1 column 128"},
        // Raw bytes that are not UTF-8 are reported at the closing quote.
        {57, std::string("\"\xFF\""), "invalid unicode code point at line 1 column 3"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(error_of(row.input), row.message) << "row " << row.row;
    }
}

TEST(JsonParse, ParseErrorFields) {
    auto r = qs::json::parse("[1,\n  x]");
    ASSERT_FALSE(r.ok());
    EXPECT_STREQ(r.error().description, "expected value");
    EXPECT_EQ(r.error().line, 2u);
    EXPECT_EQ(r.error().column, 3u);
}

TEST(JsonParse, AcceptedInputs) {
    {
        std::string text = std::string(127, '[') + std::string(127, ']');
        Value v = parse_ok(text);
        int depth = 0;
        const Value* cur = &v;
        while (const auto* a = cur->as_array()) {
            ++depth;
            if (a->empty()) break;
            cur = &a->front();
        }
        EXPECT_EQ(depth, 127);
    }
    {
        Value v = parse_ok("{\"a\"\n\n:1}");
        ASSERT_NE(v.find("a"), nullptr);
        EXPECT_EQ(*v.find("a")->as_uint(), 1u);
    }
    {
        Value v = parse_ok("-0");
        ASSERT_EQ(v.kind(), Kind::Float);
        EXPECT_EQ(*v.as_float(), 0.0);
        EXPECT_TRUE(std::signbit(*v.as_float()));
    }
    {
        Value v = parse_ok("18446744073709551615");
        ASSERT_EQ(v.kind(), Kind::UInt);
        EXPECT_EQ(*v.as_uint(), 18446744073709551615ull);
    }
    {
        Value v = parse_ok("18446744073709551616");
        ASSERT_EQ(v.kind(), Kind::Float);
        EXPECT_EQ(*v.as_float(), 18446744073709551616.0);
    }
    {
        Value v = parse_ok("-9223372036854775808");
        ASSERT_EQ(v.kind(), Kind::Int);
        EXPECT_EQ(*v.as_int(), std::numeric_limits<std::int64_t>::min());
    }
    {
        Value v = parse_ok("-9223372036854775809");
        ASSERT_EQ(v.kind(), Kind::Float);
        EXPECT_EQ(*v.as_float(), -9223372036854775808.0);
    }
    for (const char* zero : {"1e-400", "0e99999999999"}) {
        Value v = parse_ok(zero);
        ASSERT_EQ(v.kind(), Kind::Float) << zero;
        EXPECT_EQ(*v.as_float(), 0.0) << zero;
    }
    {
        Value v = parse_ok("[1e-99999999999]");
        ASSERT_NE(v.as_array(), nullptr);
        ASSERT_EQ(v.as_array()->size(), 1u);
        EXPECT_EQ(*v.as_array()->front().as_float(), 0.0);
    }
    {
        Value v = parse_ok("\"\\ud83d\\ude00\"");
        EXPECT_EQ(*v.as_string(), "\xF0\x9F\x98\x80");
    }
    {
        Value v = parse_ok("{\"a\":1,\"a\":2}");
        ASSERT_EQ(v.as_object()->size(), 1u);
        EXPECT_EQ(*v.find("a")->as_uint(), 2u);
    }
    {
        Value v = parse_ok(" \t\r\n{}\r\n\t ");
        ASSERT_NE(v.as_object(), nullptr);
        EXPECT_EQ(v.as_object()->size(), 0u);
    }
}

TEST(JsonParse, ScalarsAndEscapes) {
    Value v = parse_ok(
        "{\"n\":null,\"t\":true,\"f\":false,\"i\":-5,\"u\":7,\"x\":2.5,"
        "\"s\":\"q\\\"b\\\\s\\/f\\bF\\fN\\nR\\rT\\t\\u00e9\\u20ac\",\"raw\":\"\xC3\xA9\x7F\"}");
    EXPECT_TRUE(v.find("n")->is_null());
    EXPECT_EQ(*v.find("t")->as_bool(), true);
    EXPECT_EQ(*v.find("f")->as_bool(), false);
    EXPECT_EQ(*v.find("i")->as_int(), -5);
    EXPECT_EQ(*v.find("u")->as_uint(), 7u);
    EXPECT_EQ(*v.find("x")->as_float(), 2.5);
    EXPECT_EQ(*v.find("s")->as_string(), "q\"b\\s/f\bF\fN\nR\rT\t\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(*v.find("raw")->as_string(), "\xC3\xA9\x7F");
    EXPECT_EQ(v.find("missing"), nullptr);
    EXPECT_EQ(v.find("x")->find("x"), nullptr);  // not an object
    EXPECT_EQ(*v.find("u")->number(), 7.0);
    EXPECT_EQ(*v.find("i")->int64(), -5);
    EXPECT_FALSE(v.find("x")->int64());
    EXPECT_FALSE(parse_ok("18446744073709551615").int64());
}

TEST(JsonParse, FloatsAreCorrectlyRounded) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"0.1", 0.1},
        {"1.7976931348623157e308", 1.7976931348623157e308},
        {"1.7976931348623158e308", 1.7976931348623157e308},
        {"2.2250738585072011e-308", 2.2250738585072011e-308},
        {"4.9406564584124654e-324", 4.9406564584124654e-324},
        {"9007199254740993", 9007199254740993.0},  // fits u64: read as an integer below
        {"123456789012345678901234567890", 1.2345678901234568e29},
        {"0.30000000000000004441", 0.30000000000000004},
        {"1E2", 100.0},
        {"1e+2", 100.0},
        {"-2.5E-3", -0.0025},
        {"0.000001e6", 1.0},
    };
    for (const auto& c : cases) {
        Value v = parse_ok(c.text);
        ASSERT_TRUE(v.number().has_value()) << c.text;
        EXPECT_EQ(*v.number(), c.value) << c.text;
    }
    EXPECT_EQ(parse_ok("9007199254740993").kind(), Kind::UInt);
    EXPECT_EQ(*parse_ok("9007199254740993").as_uint(), 9007199254740993ull);
}

TEST(JsonParse, ObjectKeysLastWinsAndManyKeys) {
    std::string text = "{";
    const int n = 50000;
    for (int i = 0; i < n; ++i) {
        text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
    }
    text += "\"k7\":\"last\"}";
    Value v = parse_ok(text);
    ASSERT_NE(v.as_object(), nullptr);
    EXPECT_EQ(v.as_object()->size(), static_cast<std::size_t>(n));
    EXPECT_EQ(*v.find("k7")->as_string(), "last");
    EXPECT_EQ(*v.find("k49999")->as_uint(), 49999u);
    EXPECT_EQ(*parse_ok("{\"b\":1,\"a\":2,\"b\":3,\"a\":4,\"c\":5}").find("a")->as_uint(), 4u);
}

TEST(JsonParse, LargeDocument) {
    // About 10 MB of note-like objects.
    std::string text = "[";
    const int n = 100000;
    text.reserve(static_cast<std::size_t>(n) * 110);
    for (int i = 0; i < n; ++i) {
        if (i) text += ",";
        text += "{\"id\":" + std::to_string(i) +
                ",\"ticks\":" + std::to_string(i * 120) +
                ",\"laneStart\":3,\"laneEnd\":5,\"speedRatio\":1.25,\"name\":\"n\\u00e9\"}";
    }
    text += "]";
    Value v = parse_ok(text);
    ASSERT_NE(v.as_array(), nullptr);
    ASSERT_EQ(v.as_array()->size(), static_cast<std::size_t>(n));
    EXPECT_EQ(*(*v.as_array())[n - 1].find("ticks")->as_uint(), static_cast<std::uint64_t>(n - 1) * 120);
}

TEST(JsonText, CompactFloatText) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {26.0, "26.0"},   {0.0, "0.0"},         {-0.0, "-0.0"},   {2.5, "2.5"},
        {0.1, "0.1"},     {0.001, "0.001"},     {1e-5, "0.00001"}, {1e-6, "1e-6"},   {1.5e-7, "1.5e-7"},
        {1e15, "1000000000000000.0"},           {1e16, "1e16"},   {1.25e17, "1.25e17"},
        {123.456, "123.456"}, {-7.0, "-7.0"},   {1e300, "1e300"}, {0.0001, "0.0001"},
    };
    for (const auto& c : cases) EXPECT_EQ(qs::json::float_json_text(c.value), c.text);
}

TEST(JsonText, PlainFloatText) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {26.0, "26"}, {2.5, "2.5"}, {150.0, "150"}, {-0.5, "-0.5"},
        {1e20, "100000000000000000000"}, {1e-7, "0.0000001"}, {0.1, "0.1"},
    };
    for (const auto& c : cases) EXPECT_EQ(qs::json::float_plain_text(c.value), c.text);
}

}  // namespace

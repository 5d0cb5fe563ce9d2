#include "text/unicode.h"

#include <gtest/gtest.h>

#include <string>

#include "text/unicode_tables.h"

namespace {

using namespace qs::text;

std::string utf8(char32_t c) {
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (c >> 18));
        s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

TEST(Text, CharacterClasses) {
    struct Case {
        char32_t c;
        bool space, digit, word;
    } cases[] = {
        {U' ', true, false, false},      {U'\t', true, false, false},   {U'\x0B', true, false, false},
        {U'\x1C', false, false, false},  // information separators are not White_Space
        {0x0085, true, false, false},    {0x00A0, true, false, false},  {0x1680, true, false, false},
        {0x2028, true, false, false},    {0x3000, true, false, false},  {0x200B, false, false, false},
        {0xFEFF, false, false, false},   {U'7', false, true, true},     {0x0660, false, true, true},
        {0xFF10, false, true, true},     {0x1D7CE, false, true, true},  {0x00B2, false, false, false},
        {0x2160, false, false, true},    // letter number: alphabetic, not Nd
        {U'_', false, false, true},      {0x203F, false, false, true},  {0x200D, false, false, true},
        {0x0301, false, false, true},    {0x0903, false, false, true},  {0x20DD, false, false, true},
        {0x02B0, false, false, true},    // modifier letter: alphabetic
        {0x02C2, false, false, false},   // modifier symbol
        {0x2E80, false, false, false},   // CJK radical (So)
        {U'a', false, false, true},      {0x3042, false, false, true},  {0x4E00, false, false, true},
        {0x20000, false, false, true},   {U'-', false, false, false},   {0x10FFFF, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<unsigned>(c.c));
        EXPECT_EQ(is_white_space(c.c), c.space);
        EXPECT_EQ(is_digit(c.c), c.digit);
        EXPECT_EQ(is_word(c.c), c.word);
    }
}

TEST(Text, AsciiFastPathAgreesWithTables) {
    auto in = [](const tables::CodeRange* r, std::size_t n, char32_t c) {
        for (std::size_t i = 0; i < n; ++i) {
            if (r[i].first <= c && c <= r[i].last) return true;
        }
        return false;
    };
    for (char32_t c = 0; c < 0x80; ++c) {
        SCOPED_TRACE(static_cast<unsigned>(c));
        EXPECT_EQ(is_white_space(c), in(tables::WHITE_SPACE, tables::WHITE_SPACE_SIZE, c));
        EXPECT_EQ(is_digit(c), in(tables::DIGIT, tables::DIGIT_SIZE, c));
        EXPECT_EQ(is_word(c), in(tables::WORD, tables::WORD_SIZE, c));
    }
}

TEST(Text, TablesAreSortedAndDisjoint) {
    auto check = [](const tables::CodeRange* r, std::size_t n) {
        ASSERT_GT(n, 0u);
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_LE(r[i].first, r[i].last);
            if (i > 0) {
                ASSERT_LT(r[i - 1].last + 1, r[i].first);
            }
        }
    };
    check(tables::WHITE_SPACE, tables::WHITE_SPACE_SIZE);
    check(tables::DIGIT, tables::DIGIT_SIZE);
    check(tables::WORD, tables::WORD_SIZE);
    for (std::size_t i = 1; i < tables::LOWER_SIZE; ++i) ASSERT_LT(tables::LOWER[i - 1].from, tables::LOWER[i].from);
}

TEST(Text, DecodeAndCount) {
    const std::string text = "a\xC3\xA9\xE8\xAA\x9E\xF0\x9F\x98\x80";  // a é 語 😀
    std::size_t pos = 0;
    EXPECT_EQ(decode(text, pos), U'a');
    EXPECT_EQ(decode(text, pos), 0x00E9u);
    EXPECT_EQ(decode(text, pos), 0x8A9Eu);
    EXPECT_EQ(decode(text, pos), 0x1F600u);
    EXPECT_EQ(pos, text.size());
    EXPECT_EQ(count_chars(text), 4u);
    EXPECT_EQ(count_chars(""), 0u);

    // Every scalar value round-trips.
    for (char32_t c = 0; c <= 0x10FFFF; c += (c < 0x800 ? 1 : 97)) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        const std::string s = utf8(c);
        std::size_t p = 0;
        ASSERT_EQ(decode(s, p), c);
        ASSERT_EQ(p, s.size());
    }

    // Broken input stays in bounds and always advances.
    for (std::string bad : {"\xE8\xAA", "\x80", "\xFF", "\xC3(", "\xF0\x9F\x98"}) {
        std::size_t p = 0;
        EXPECT_EQ(decode(bad, p), 0xFFFDu);
        EXPECT_EQ(p, 1u);
    }
}

TEST(Text, Trim) {
    struct Case {
        std::string in, both, start;
    } cases[] = {
        {"", "", ""},
        {"abc", "abc", "abc"},
        {" \t\r\n", "", ""},
        {"  a b  ", "a b", "a b  "},
        {"\xE3\x80\x80x\xE3\x80\x80", "x", "x\xE3\x80\x80"},                // U+3000
        {"\xC2\xA0\xC2\x85x\xE2\x80\xA8", "x", "x\xE2\x80\xA8"},            // U+00A0, U+0085, U+2028
        {"\xE2\x80\x8Bx\xE2\x80\x8B", "\xE2\x80\x8Bx\xE2\x80\x8B", "\xE2\x80\x8Bx\xE2\x80\x8B"},  // U+200B is not
        {"x\xE3\x80\x81", "x\xE3\x80\x81", "x\xE3\x80\x81"},               // U+3001 is punctuation
        {"\xF0\x9F\x98\x80 ", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(trim(c.in), c.both);
        EXPECT_EQ(trim_start(c.in), c.start);
    }
}

TEST(Text, Utf8Validation) {
    struct Case {
        std::string bytes;
        bool valid;
    } cases[] = {
        {"", true},
        {std::string("a\0b", 3), true},
        {"\xC2\x80", true},
        {"\xDF\xBF", true},
        {"\xE0\xA0\x80", true},
        {"\xED\x9F\xBF", true},
        {"\xEE\x80\x80", true},
        {"\xEF\xBF\xBF", true},
        {"\xF0\x90\x80\x80", true},
        {"\xF4\x8F\xBF\xBF", true},
        {"\xC0\x80", false},          // overlong NUL
        {"\xC1\xBF", false},          // overlong
        {"\xE0\x80\xAF", false},      // overlong '/'
        {"\xE0\x9F\xBF", false},      // overlong
        {"\xF0\x8F\xBF\xBF", false},  // overlong
        {"\xED\xA0\x80", false},      // surrogate
        {"\xED\xBF\xBF", false},      // surrogate
        {"\xF4\x90\x80\x80", false},  // above U+10FFFF
        {"\xF5\x80\x80\x80", false},
        {"\xFF", false},
        {"\x80", false},
        {"a\xBF", false},
        {"\xC3", false},
        {"\xE3\x80", false},
        {"\xF0\x9F\x98", false},
        {"\xC3(", false},
        {"\xE3\x80(", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(is_valid_utf8(c.bytes), c.valid);
    }

    // Every three-byte sequence: valid exactly when it encodes U+0800..U+FFFF minus surrogates.
    std::string s(3, '\0');
    for (unsigned b0 = 0xE0; b0 <= 0xEF; ++b0) {
        for (unsigned b1 = 0; b1 < 256; ++b1) {
            for (unsigned b2 = 0; b2 < 256; ++b2) {
                s[0] = static_cast<char>(b0);
                s[1] = static_cast<char>(b1);
                s[2] = static_cast<char>(b2);
                const bool cont = (b1 & 0xC0) == 0x80 && (b2 & 0xC0) == 0x80;
                const unsigned c = ((b0 & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F);
                const bool want = cont && c >= 0x800 && !(c >= 0xD800 && c <= 0xDFFF);
                ASSERT_EQ(is_valid_utf8(s), want) << b0 << " " << b1 << " " << b2;
            }
        }
    }
}

TEST(Text, ToLower) {
    struct Case {
        std::string in, want;
    } cases[] = {
        {"", ""},
        {"ABC xyz 09_", "abc xyz 09_"},
        {"\xE2\x84\xAA", "k"},                          // U+212A KELVIN SIGN
        {"\xE2\x84\xAA" "EY", "key"},
        {"\xC4\xB0", "i\xCC\x87"},                      // U+0130 -> i + U+0307
        {"\xC3\x80\xC3\x89", "\xC3\xA0\xC3\xA9"},       // ÀÉ
        {"\xCE\xA3\xCE\x91\xCE\xA3", "\xCF\x83\xCE\xB1\xCF\x83"},  // no final-sigma rule
        {"\xE1\xBA\x9E", "\xC3\x9F"},                   // U+1E9E -> ß
        {"Stra\xC3\x9F" "e", "stra\xC3\x9F" "e"},
        {"\xEF\xAC\x80", "\xEF\xAC\x80"},               // U+FB00 has no lower form of its own
        {"\xC7\x85", "\xC7\x86"},                       // title case Dž
        {"\xE2\x85\xA0", "\xE2\x85\xB0"},               // U+2160 -> U+2170
        {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"},       // U+10400 -> U+10428
        {"\xE8\xAA\x9E", "\xE8\xAA\x9E"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(to_lower(c.in), c.want);
    }
}

TEST(Text, ToUpper) {
    struct Case {
        std::string in, want;
    } cases[] = {
        {"master", "MASTER"},
        {"Stra\xC3\x9F" "e", "STRASSE"},                     // full mapping: ß -> SS
        {"\xCE\x90", "\xCE\x99\xCC\x88\xCC\x81"},            // U+0390 -> three characters
        {"\xC3\xA9x", "\xC3\x89X"},
        {"\xE8\xAA\x9E 9", "\xE8\xAA\x9E 9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(to_upper(c.in), c.want);
    }
}

}  // namespace

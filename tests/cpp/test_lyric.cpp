// Lyric lines into words at bar positions.
#include <gtest/gtest.h>

#include "lyric/lyric.h"

namespace qs {
namespace {

using Words = std::vector<std::string>;

// "text@bar" per word.
Words words_of(std::string_view text) {
    Words out;
    for (const LyricWord& w : read_lyrics(text).words) out.push_back(w.text + "@" + to_text(w.bar));
    return out;
}

TEST(Lyric, Lines) {
    struct Case {
        const char* text;
        Words words;
    } cases[] = {
        {"12: Hello", {"Hello@12."}},
        {"12: a/b/c/d", {"a@12.", "b@12.+1/4", "c@12.+1/2", "d@12.+3/4"}},
        {"12: a//c", {"a@12.", "c@12.+2/3"}},
        {"12: ", {}},
        {"12: /", {}},
        {"12: /b", {"b@12.+1/2"}},
        {"12:a", {}},
        {" 12: a", {}},
        {"ab12: a", {}},
        {"12 : a", {}},
        {": a", {}},
        {"007: x", {"x@7."}},
        {"12345678901234567890: x", {"x@0."}},
        {"٣: x", {"x@0."}},                      // a decimal digit, but not 0-9
        {"0:  two words ", {" two words @0."}},  // words are kept as written
        {"1: a\n1: b\nnoise\n\n2: c", {"a@1.", "b@1.", "c@2."}},
        {"1: a\r\n2: b\r\n", {"a@1.", "b@2."}},
        {"1: a\r2: b", {"a\r2: b@1."}},          // a lone carriage return is no line break
        {"1: a\r", {"a\r@1."}},
        {"", {}},
        {"\n\n", {}},
        {"-1: a", {}},
        {"3: ü/ß", {"ü@3.", "ß@3.+1/2"}},
    };
    for (const auto& c : cases) EXPECT_EQ(words_of(c.text), c.words) << c.text;
}

TEST(Lyric, CrLfReadsLikeLf) {
    const std::string lf = "1: a/b\n2: c\n\n3: d//e\n";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(words_of(lf), words_of(crlf));
    EXPECT_EQ(read_lyrics(lf).words.size(), 5u);
}

}  // namespace
}  // namespace qs

// Lyric text: "N: word/word/..." lines into words at bar positions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "fraction/fraction.h"

namespace qs {

struct LyricWord {
    std::string text;
    Fraction bar;
};

struct Lyric {
    std::vector<LyricWord> words;  // in text order
};

Lyric read_lyrics(std::string_view text);

}  // namespace qs

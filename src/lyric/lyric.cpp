// Lyric lines "N: piece/piece/...": piece k of n sits at bar N + k/n.
#include "lyric/lyric.h"

#include "text/lines.h"
#include "text/unicode.h"

namespace qs {
namespace {

// ^(\d+): (.*)$ over one line (which holds no line feed).
void read_line(std::string_view line, Lyric& out) {
    std::size_t pos = 0;
    while (pos < line.size()) {
        std::size_t next = pos;
        if (!text::is_digit(text::decode(line, next))) break;
        pos = next;
    }
    if (pos == 0 || line.substr(pos, 2) != ": ") return;
    // Digits outside 0-9, or too many of them, give bar 0.
    const std::int64_t number = parse_int64(line.substr(0, pos)).value_or(0);
    const std::string_view rest = line.substr(pos + 2);

    std::int64_t pieces = 1;
    for (char c : rest) pieces += c == '/';
    const Fraction base = from_integer(number);
    std::size_t start = 0;
    for (std::int64_t k = 0; k < pieces; ++k) {
        std::size_t slash = rest.find('/', start);
        std::size_t end = slash == std::string_view::npos ? rest.size() : slash;
        if (end > start) out.words.push_back(LyricWord{std::string(rest.substr(start, end - start)), base + Fraction(k, pieces)});
        start = end + 1;
    }
}

}  // namespace

Lyric read_lyrics(std::string_view text) {
    Lyric out;
    text::for_each_line(text, [&out](std::string_view line) { read_line(line, out); });
    return out;
}

}  // namespace qs

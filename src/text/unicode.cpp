#include "text/unicode.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text/unicode_tables.h"

namespace qs::text {

namespace {

using tables::CodeRange;

bool in_ranges(const CodeRange* ranges, std::size_t size, char32_t c) {
    const CodeRange* end = ranges + size;
    // First range whose last code point is not below c.
    const CodeRange* it =
        std::lower_bound(ranges, end, c, [](const CodeRange& r, char32_t v) { return r.last < v; });
    return it != end && it->first <= c;
}

inline bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }


}  // namespace

bool is_white_space_above_ascii(char32_t c) { return in_ranges(tables::WHITE_SPACE, tables::WHITE_SPACE_SIZE, c); }

bool is_digit_above_ascii(char32_t c) { return in_ranges(tables::DIGIT, tables::DIGIT_SIZE, c); }

bool is_word_above_ascii(char32_t c) { return in_ranges(tables::WORD, tables::WORD_SIZE, c); }

char32_t decode_multibyte(std::string_view text, std::size_t& pos) {
    // Valid input is the contract; anything else still stays in bounds and yields
    // U+FFFD for one byte, so loops over the text always make progress.
    const unsigned char b0 = static_cast<unsigned char>(text[pos]);
    std::size_t len;
    char32_t c;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        c = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        c = b0 & 0x07;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (text.size() - pos < len) {
        ++pos;
        return 0xFFFD;
    }
    for (std::size_t i = 1; i < len; ++i) {
        const unsigned char b = static_cast<unsigned char>(text[pos + i]);
        if (!is_continuation(b)) {
            ++pos;
            return 0xFFFD;
        }
        c = (c << 6) | (b & 0x3F);
    }
    pos += len;
    return c;
}

std::size_t count_chars(std::string_view text) {
    std::size_t n = 0;
    for (char ch : text) n += !is_continuation(static_cast<unsigned char>(ch));
    return n;
}

std::string_view trim_start(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t next = pos;
        if (!is_white_space(decode(text, next))) break;
        pos = next;
    }
    return text.substr(pos);
}

std::string_view trim(std::string_view text) {
    text = trim_start(text);
    std::size_t end = text.size();
    while (end > 0) {
        // Step back to the lead byte of the last character.
        std::size_t start = end - 1;
        while (start > 0 && end - start < 4 && is_continuation(static_cast<unsigned char>(text[start]))) --start;
        std::size_t pos = start;
        const char32_t c = decode(text, pos);
        if (pos != end || !is_white_space(c)) break;
        end = start;
    }
    return text.substr(0, end);
}

bool is_valid_utf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        // Eight ASCII bytes at a time: charts are mostly ASCII.
        while (i + 8 <= n) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            if (w & 0x8080808080808080ull) break;
            i += 8;
        }
        if (i >= n) break;
        const unsigned char b0 = p[i];
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        // Second-byte bounds exclude overlongs (E0, F0), surrogates (ED) and
        // code points above U+10FFFF (F4).
        std::size_t len;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            len = 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            len = 3;
            if (b0 == 0xE0) lo = 0xA0;
            if (b0 == 0xED) hi = 0x9F;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            len = 4;
            if (b0 == 0xF0) lo = 0x90;
            if (b0 == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (n - i < len) return false;
        if (p[i + 1] < lo || p[i + 1] > hi) return false;
        for (std::size_t k = 2; k < len; ++k) {
            if (!is_continuation(p[i + k])) return false;
        }
        i += len;
    }
    return true;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

namespace {

std::string map_case(std::string_view text, const tables::CaseEntry* table, std::size_t size, char ascii_from,
                     int ascii_shift) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const unsigned char b = static_cast<unsigned char>(text[pos]);
        if (b < 0x80) {
            const bool shift = b >= static_cast<unsigned char>(ascii_from) && b < static_cast<unsigned char>(ascii_from + 26);
            out.push_back(static_cast<char>(shift ? b + ascii_shift : b));
            ++pos;
            continue;
        }
        const char32_t c = decode(text, pos);
        const tables::CaseEntry* end = table + size;
        const tables::CaseEntry* it =
            std::lower_bound(table, end, c, [](const tables::CaseEntry& e, char32_t v) { return e.from < v; });
        if (it != end && it->from == c) {
            for (char32_t m : it->to) {
                if (m != 0) append_utf8(out, m);
            }
        } else {
            append_utf8(out, c);
        }
    }
    return out;
}

}  // namespace

std::string to_lower(std::string_view text) {
    return map_case(text, tables::LOWER, tables::LOWER_SIZE, 'A', 'a' - 'A');
}

std::string to_upper(std::string_view text) {
    return map_case(text, tables::UPPER, tables::UPPER_SIZE, 'a', 'A' - 'a');
}

}  // namespace qs::text

// SUS chart text into a finished Score.
//
// Every line pattern of the format is matched by a small scanner over UTF-8 with the
// Unicode classes of text/unicode.h (\s white space, \d decimal digit, \w word).
// All scanners are linear in the line.
#include "score/sus.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "text/lines.h"
#include "text/unicode.h"

namespace qs {
namespace {

using text::decode;
using text::is_digit;
using text::is_white_space;
using text::is_word;

int base36_digit(char32_t c) {
    if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
    if (c >= U'A' && c <= U'Z') return static_cast<int>(c - U'A') + 10;
    if (c >= U'a' && c <= U'z') return static_cast<int>(c - U'a') + 10;
    return 0;
}

int two_char_id(char32_t c1, char32_t c2) { return 36 * base36_digit(c1) + base36_digit(c2); }

bool is_ascii(std::string_view s) {
    unsigned char any = 0;
    for (char c : s) any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

// Skips the run of characters accepted by `accept` starting at pos; returns its end.
template <class Pred>
std::size_t skip_run(std::string_view s, std::size_t pos, Pred accept) {
    while (pos < s.size()) {
        std::size_t next = pos;
        if (!accept(decode(s, next))) break;
        pos = next;
    }
    return pos;
}

std::size_t skip_white_space(std::string_view s, std::size_t pos) { return skip_run(s, pos, is_white_space); }
std::size_t skip_digits(std::string_view s, std::size_t pos) { return skip_run(s, pos, is_digit); }

enum class LineKind { Header, Data, Comment };

struct SusLine {
    LineKind kind = LineKind::Comment;
    std::string_view key;
    std::string_view value;
};

// Header: ^#(\w+)\s+(.*)$   Data: ^#(\w+):\s*(.*)$   Anything else is a comment.
// \w and \s share no character, so the key is always the whole word run.
SusLine classify(std::string_view line) {
    SusLine out;
    if (line.empty() || line[0] != '#') return out;
    std::size_t key_end = skip_run(line, 1, is_word);
    if (key_end == 1 || key_end == line.size()) return out;
    std::string_view key = line.substr(1, key_end - 1);
    if (line[key_end] == ':') {
        out.kind = LineKind::Data;
        out.key = key;
        out.value = line.substr(skip_white_space(line, key_end + 1));
        return out;
    }
    std::size_t value_start = skip_white_space(line, key_end);
    if (value_start == key_end) return out;
    out.kind = LineKind::Header;
    out.key = key;
    out.value = line.substr(value_start);
    return out;
}

// Trims, then removes one pair of matching outer quotes. A lone quote character is
// too short to be a pair and stays as it is.
std::string_view strip_quotes(std::string_view v) {
    v = text::trim(v);
    if (v.size() >= 2 && ((v.front() == '\'' && v.back() == '\'') || (v.front() == '"' && v.back() == '"')))
        return v.substr(1, v.size() - 2);
    return v;
}

// ^"ticks_per_beat\s+(\d+)"$ ; returns group 1 or nothing.
std::optional<std::string_view> ticks_request(std::string_view v) {
    constexpr std::string_view prefix = "\"ticks_per_beat";
    if (v.substr(0, prefix.size()) != prefix) return std::nullopt;
    std::size_t p = skip_white_space(v, prefix.size());
    if (p == prefix.size()) return std::nullopt;
    std::size_t e = skip_digits(v, p);
    if (e == p || e + 1 != v.size() || v[e] != '"') return std::nullopt;
    return v.substr(p, e - p);
}

// A data key split into its first characters; keys of interest have 5 or 6.
struct KeyChars {
    std::array<char32_t, 6> c{};
    std::array<std::size_t, 7> offset{};  // byte offset of each character, then the end
    std::size_t count = 0;                // 7 means "longer than 6"

    explicit KeyChars(std::string_view key) {
        std::size_t pos = 0;
        while (pos < key.size()) {
            if (count == 6) {
                count = 7;
                return;
            }
            offset[count] = pos;
            c[count++] = decode(key, pos);
        }
        offset[count] = pos;
    }
    bool measure_digits() const { return count >= 5 && is_digit(c[0]) && is_digit(c[1]) && is_digit(c[2]); }
};

struct SpeedEntry {
    std::int32_t measure;
    std::int32_t tick;
    double speed;
};

class SusReader {
public:
    Score read(std::string_view text) {
        // Most bytes of a chart are note pairs; this spares most of the regrowth.
        // Untouched capacity costs address space only.
        score_.notes.reserve(text.size() / 16);
        text::for_each_line(text, [this](std::string_view line) { handle_line(text::trim(line)); });
        finish_notes(score_);
        finish_events(score_);
        return std::move(score_);
    }

private:
    void handle_line(std::string_view line) {
        SusLine l = classify(line);
        if (l.kind == LineKind::Header) handle_header(l.key, l.value);
        else if (l.kind == LineKind::Data) handle_data(l.key, l.value);
    }

    void handle_header(std::string_view key, std::string_view value) {
        std::string lower = text::to_lower(key);
        if (std::find(std::begin(META_KEYS), std::end(META_KEYS), lower) != std::end(META_KEYS)) {
            Meta single;
            set_meta_field(single, lower, strip_quotes(value));
            merge_meta_into(score_.meta, std::move(single));
        } else if (key == "REQUEST") {
            if (auto digits = ticks_request(value))
                if (auto n = parse_int32(*digits)) ticks_per_beat_ = *n;
        }
        // HISPEED, NOSPEED and every other header change nothing.
    }

    void handle_data(std::string_view key, std::string_view value) {
        KeyChars k(key);
        if (k.count != 5 && k.count != 6) return;
        std::int64_t measure = 0;
        if (k.measure_digits()) measure = parse_int64(key.substr(0, k.offset[3])).value_or(0);

        if (k.count == 5 && k.measure_digits() && k.c[3] == U'0' && k.c[4] == U'2') {
            Event e;
            e.bar = from_integer(measure);
            e.bar_length = from_integer(parse_int64(text::trim(value)).value_or(4));
            score_.events.push_back(std::move(e));
            return;
        }
        if (k.count == 5 && k.c[0] == U'B' && k.c[1] == U'P' && k.c[2] == U'M') {
            // An unreadable value falls through, but no later pattern matches "BPM..".
            if (auto f = parse(value)) bpm_definitions_[two_char_id(k.c[3], k.c[4])] = *f;
            return;
        }
        if (k.count == 5 && k.measure_digits() && k.c[3] == U'0' && k.c[4] == U'8') {
            for_each_pair(value, measure, [&](const Fraction& bar, char32_t c1, char32_t c2) {
                const auto& bpm = bpm_definitions_[two_char_id(c1, c2)];
                if (!bpm) return;
                Event e;
                e.bar = bar;
                e.bpm = *bpm;
                score_.events.push_back(std::move(e));
            });
            return;
        }
        if (k.count == 5 && k.c[0] == U'T' && k.c[1] == U'I' && k.c[2] == U'L') {
            read_speed_table(strip_quotes(value));
            return;
        }
        if (!k.measure_digits()) return;
        const char32_t kind = k.c[3];
        if (k.count == 5 && (kind == U'1' || kind == U'5')) {
            const std::int32_t lane = base36_digit(k.c[4]);
            const bool tap = kind == U'1';
            for_each_pair(value, measure, [&](const Fraction& bar, char32_t c1, char32_t c2) {
                NoteCommon c;
                c.bar = bar;
                c.lane = lane;
                c.width = base36_digit(c2);
                c.note_type = base36_digit(c1);
                if (tap) score_.notes.emplace_back(TapNote{c});
                else score_.notes.emplace_back(DirectionalNote{c});
            });
        } else if (k.count == 6 && (kind == U'3' || kind == U'9')) {
            const std::int32_t lane = base36_digit(k.c[4]);
            const std::int32_t channel = base36_digit(k.c[5]);
            const bool guide = kind == U'9';
            for_each_pair(value, measure, [&](const Fraction& bar, char32_t c1, char32_t c2) {
                SlideStep s;
                s.bar = bar;
                s.lane = lane;
                s.width = base36_digit(c2);
                s.note_type = base36_digit(c1);
                s.channel = channel;
                s.is_guide = guide;
                score_.notes.emplace_back(std::move(s));
            });
        }
    }

    // Calls f(measure + i/n, first, second) for every pair of characters at even
    // index i that is not "00"; n counts every character, a final odd one included.
    template <class F>
    void for_each_pair(std::string_view value, std::int64_t measure, F&& f) {
        // measure has at most three digits, so measure * n + i stays far from overflow,
        // and gcd(measure * n + i, n) = gcd(i, n) of two small numbers normalises it.
        auto at = [measure](std::size_t i, std::size_t n) {
            const std::size_t g = gcd_u64(i, n);
            const auto d = static_cast<std::int64_t>(n / g);
            return Fraction::raw(measure * d + static_cast<std::int64_t>(i / g), d);
        };
        if (is_ascii(value)) {
            // The usual case: the bytes are the characters. Most pairs are "00", so
            // runs of four are passed over with one comparison.
            const std::size_t n = value.size();
            const char* p = value.data();
            std::uint64_t zeros;
            std::memcpy(&zeros, "00000000", 8);
            for (std::size_t i = 0; i + 1 < n;) {
                if (i + 8 <= n) {
                    std::uint64_t block;
                    std::memcpy(&block, p + i, 8);
                    if (block == zeros) {
                        i += 8;
                        continue;
                    }
                }
                const char32_t c1 = static_cast<unsigned char>(p[i]);
                const char32_t c2 = static_cast<unsigned char>(p[i + 1]);
                if (c1 != U'0' || c2 != U'0') f(at(i, n), c1, c2);
                i += 2;
            }
            return;
        }
        chars_.clear();
        for (std::size_t pos = 0; pos < value.size();) chars_.push_back(decode(value, pos));
        const std::size_t n = chars_.size();
        for (std::size_t i = 0; i + 1 < n; i += 2) {
            char32_t c1 = chars_[i], c2 = chars_[i + 1];
            if (c1 == U'0' && c2 == U'0') continue;
            f(at(i, n), c1, c2);
        }
    }

    // Every non-overlapping (\d+)'(\d+):([^\s,]+), left to right. A failed attempt
    // resumes past the run that made it fail, so no digit run is scanned more than twice.
    void read_speed_table(std::string_view v) {
        std::vector<SpeedEntry> entries;
        auto speed_char = [](char32_t c) { return c != U',' && !is_white_space(c); };
        std::size_t pos = 0;
        while (pos < v.size()) {
            std::size_t s = pos;
            std::size_t e = skip_digits(v, s);
            if (e == s) {
                decode(v, pos);
                continue;
            }
            if (e == v.size() || v[e] != '\'') {
                pos = e;
                continue;
            }
            std::size_t g = e + 1;
            std::size_t f = skip_digits(v, g);
            std::size_t h = f < v.size() && v[f] == ':' ? skip_run(v, f + 1, speed_char) : f;
            if (f == g || h <= f + 1) {
                pos = g;  // a match may still start in the second digit run
                continue;
            }
            entries.push_back(SpeedEntry{parse_int32(v.substr(s, e - s)).value_or(0),
                                         parse_int32(v.substr(g, f - g)).value_or(0),
                                         parse_float_literal(v.substr(f + 1, h - f - 1)).value_or(1.0)});
            pos = h;
        }
        if (entries.empty()) return;
        std::stable_sort(entries.begin(), entries.end(), [](const SpeedEntry& a, const SpeedEntry& b) {
            return a.measure != b.measure ? a.measure < b.measure : a.tick < b.tick;
        });
        const std::int64_t ticks_per_bar = 4 * static_cast<std::int64_t>(ticks_per_beat_);
        for (const SpeedEntry& entry : entries) {
            Event e;
            e.bar = from_integer(entry.measure) + Fraction(entry.tick, ticks_per_bar);
            e.speed = entry.speed;
            score_.events.push_back(std::move(e));
        }
    }

    Score score_;
    std::int32_t ticks_per_beat_ = 480;
    // Tempo ids are two base-36 digits, so a flat table covers them all.
    std::array<std::optional<Fraction>, 36 * 36> bpm_definitions_{};
    std::vector<char32_t> chars_;
};

}  // namespace

Score read_sus(std::string_view text) {
    SusReader reader;
    return reader.read(text);
}

}  // namespace qs

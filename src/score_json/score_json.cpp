// Custom chart JSON into a Score.
//
// Notes and events are placed by integer ticks; a table of bar-length segments turns
// ticks into exact bars. Note kinds follow from small integer codes; slides are
// rebuilt from connection ids, get one of 36 channels, and carry their taps and
// flicks as attached notes, the way the SUS finishing step links a SUS chart.
#include "score_json/score_json.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "fraction/fraction.h"
#include "json/json.h"

namespace qs {
namespace {

using json::Kind;
using json::Value;

constexpr std::int64_t I64_MAX = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t I64_MIN = std::numeric_limits<std::int64_t>::min();

// ---- value rules ------------------------------------------------------------

// Round half away from zero, then saturate to the 64-bit range; NaN gives 0.
std::int64_t round_saturate(double x) {
    if (std::isnan(x)) return 0;
    double r = std::round(x);
    if (r >= 9223372036854775808.0) return I64_MAX;
    if (r <= -9223372036854775808.0) return I64_MIN;
    return static_cast<std::int64_t>(r);
}

std::optional<std::int64_t> read_int(const Value* v) {
    if (!v) return std::nullopt;
    switch (v->kind()) {
        case Kind::UInt: {
            std::uint64_t u = *v->as_uint();
            return u > static_cast<std::uint64_t>(I64_MAX) ? I64_MAX : static_cast<std::int64_t>(u);
        }
        case Kind::Int: return *v->as_int();
        case Kind::Float: return round_saturate(*v->as_float());
        case Kind::String:
            if (auto f = parse_float_literal(*v->as_string())) return round_saturate(*f);
            return std::nullopt;
        default: return std::nullopt;
    }
}

std::int64_t read_int_or(const Value* v, std::int64_t fallback) {
    auto i = read_int(v);
    return i ? *i : fallback;
}

std::int32_t low32(std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

std::optional<double> read_float(const Value* v) {
    if (!v) return std::nullopt;
    if (auto n = v->number()) return n;
    if (const auto* s = v->as_string()) return parse_float_literal(*s);
    return std::nullopt;
}

std::optional<std::string> read_text(const Value* v) {
    if (!v) return std::nullopt;
    switch (v->kind()) {
        case Kind::String: return *v->as_string();
        case Kind::Bool: return std::string(*v->as_bool() ? "true" : "false");
        case Kind::UInt: return std::to_string(*v->as_uint());
        case Kind::Int: return std::to_string(*v->as_int());
        case Kind::Float: return json::float_json_text(*v->as_float());
        default: return std::nullopt;
    }
}

bool read_truth(const Value* v) {
    if (!v) return false;
    switch (v->kind()) {
        case Kind::Bool: return *v->as_bool();
        case Kind::UInt: return *v->as_uint() != 0;
        case Kind::Int: return *v->as_int() != 0;
        case Kind::Float: return *v->as_float() != 0.0;
        case Kind::String: {
            const std::string& s = *v->as_string();
            return !(s.empty() || s == "0" || s == "false" || s == "False");
        }
        default: return false;
    }
}

const json::Array* array_or_empty(const Value* v) {
    static const json::Array empty;
    const json::Array* a = v ? v->as_array() : nullptr;
    return a ? a : &empty;
}

// ---- ticks to bars -----------------------------------------------------------

struct Segment {
    Fraction bar;
    std::int64_t tick = 0;
    std::int64_t ticks_per_bar = 1;
};

// Beats per bar of a bar-length event's "changeValue".
Fraction bar_length_value(const Value* v) {
    double beats = 4.0;
    if (v) {
        if (auto n = v->number()) {
            beats = *n;
        } else if (const auto* s = v->as_string()) {
            std::string_view text = *s;
            auto slash = text.find('/');
            std::optional<double> quotient;
            if (slash != std::string_view::npos) {
                auto left = parse_float_literal(text.substr(0, slash));
                auto right = parse_float_literal(text.substr(slash + 1));
                if (left && right && *right > 0.0) quotient = *left * 4.0 / *right;
            }
            if (quotient) {
                beats = *quotient;
            } else if (auto whole = parse_float_literal(text)) {
                beats = *whole;
            }
        }
    }
    return from_float(beats);
}

std::int64_t wrapping_sub(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

class TickMap {
public:
    TickMap(std::int64_t tpb, const json::Array& events) {
        segments_.push_back(Segment{Fraction(), 0, times_four(tpb)});
        struct Change {
            std::int64_t ticks;
            std::int64_t id;
            const Value* value;
        };
        std::vector<Change> changes;
        for (const Value& e : events) {
            if (!e.as_object()) continue;
            auto type = read_int(e.find("eventType"));
            if (!type || *type != 3) continue;
            changes.push_back(
                Change{read_int_or(e.find("ticks"), 0), read_int_or(e.find("id"), 0), &e});
        }
        std::stable_sort(changes.begin(), changes.end(), [](const Change& a, const Change& b) {
            return a.ticks != b.ticks ? a.ticks < b.ticks : a.id < b.id;
        });
        for (const Change& c : changes) {
            Segment& last = segments_.back();
            if (c.ticks < last.tick) continue;
            Fraction bar = last.bar + Fraction(c.ticks - last.tick, last.ticks_per_bar);
            Fraction beats = bar_length_value(c.value->find("changeValue"));
            double scaled = static_cast<double>(tpb) * to_float(beats);
            std::int64_t per_bar = std::max<std::int64_t>(1, round_saturate(scaled));
            if (c.ticks == last.tick) {
                last.bar = bar;
                last.ticks_per_bar = per_bar;
            } else {
                segments_.push_back(Segment{bar, c.ticks, per_bar});
            }
        }
    }

    Fraction bar_at(std::int64_t tick) const {
        auto it = std::upper_bound(segments_.begin(), segments_.end(), tick,
                                   [](std::int64_t t, const Segment& s) { return t < s.tick; });
        const Segment& seg = it == segments_.begin() ? segments_.front() : *(it - 1);
        return seg.bar + Fraction(wrapping_sub(tick, seg.tick), seg.ticks_per_bar);
    }

private:
    static std::int64_t times_four(std::int64_t tpb) {
        return tpb > I64_MAX / 4 ? I64_MAX : tpb * 4;
    }
    std::vector<Segment> segments_;
};

// ---- metadata ------------------------------------------------------------------

// The first source that yields a text.
std::optional<std::string> first_text(std::initializer_list<const Value*> sources) {
    for (const Value* v : sources)
        if (auto t = read_text(v)) return t;
    return std::nullopt;
}

const Value* member(const Value* obj, std::string_view key) {
    return obj ? obj->find(key) : nullptr;
}

void read_meta(Meta& meta, const Value& root, const Value& chart) {
    // The custom metadata may be an object or a string holding one.
    std::optional<Value> parsed_custom;
    const Value* custom = nullptr;
    if (const Value* c = root.find("userCustomMusicScoreInfoJson")) {
        if (c->as_object()) {
            custom = c;
        } else if (const auto* s = c->as_string()) {
            auto r = json::parse(*s);
            if (r.ok() && r.value().as_object()) {
                parsed_custom = std::move(r).value();
                custom = &*parsed_custom;
            }
        }
    }
    const Value* r = &root;
    const Value* ch = &chart;
    meta.title = first_text({member(custom, "title"), member(r, "title"), member(ch, "title")});
    meta.artist = first_text({member(custom, "artist"), member(r, "artist")});
    meta.designer =
        first_text({member(custom, "author"), member(r, "author"), member(r, "designer")});
    meta.difficulty =
        first_text({member(r, "musicDifficultyType"), member(ch, "musicDifficultyType")});
    meta.playlevel = first_text({member(r, "playLevel"), member(ch, "playLevel")});
    meta.songid = first_text({member(r, "songId"), member(r, "musicId"), member(r, "MusicId"),
                              member(ch, "songId"), member(ch, "musicId"), member(ch, "MusicId")});
}

// ---- events --------------------------------------------------------------------

void read_events(Score& score, const json::Array& list, const TickMap& ticks) {
    struct Item {
        std::int64_t ticks;
        std::int64_t type;
        const Value* value;
    };
    std::vector<Item> items;
    items.reserve(list.size());
    for (const Value& e : list) {
        if (e.as_object())
            items.push_back(Item{read_int_or(e.find("ticks"), 0), read_int_or(e.find("eventType"), -1), &e});
        else
            items.push_back(Item{0, -1, &e});
    }
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.ticks != b.ticks ? a.ticks < b.ticks : a.type < b.type;
    });

    std::map<Fraction, Event> by_bar;
    for (const Item& item : items) {
        const Value& e = *item.value;
        if (!e.as_object()) continue;
        Fraction bar = ticks.bar_at(item.ticks);
        auto type = read_int(e.find("eventType"));
        if (!type) continue;
        Event ev;
        ev.bar = bar;
        const Value* change = e.find("changeValue");
        if (*type == 0) {
            ev.bpm = from_float(read_float(change).value_or(120.0));
        } else if (*type == 1) {
            ev.speed = read_float(change).value_or(1.0);
        } else if (*type == 3) {
            ev.bar_length = bar_length_value(change);
        } else {
            continue;
        }
        auto [it, inserted] = by_bar.try_emplace(bar, ev);
        if (!inserted) {
            // Later values replace earlier ones at the same bar, zero included.
            Event& stored = it->second;
            if (ev.bpm) stored.bpm = ev.bpm;
            if (ev.bar_length) stored.bar_length = ev.bar_length;
            if (ev.speed) stored.speed = ev.speed;
        }
    }
    score.events.reserve(by_bar.size());
    for (auto& [bar, ev] : by_bar) score.events.push_back(std::move(ev));
}

// ---- notes ---------------------------------------------------------------------

struct RawNote {
    std::int64_t id = 0;
    std::int64_t ticks = 0;
    std::int32_t lane_start = 0;
    std::int32_t lane_end = 0;
    std::int32_t category = 0;
    std::int32_t base_type = 0;
    std::int32_t direction = 0;
    std::int32_t line_type = 0;
    std::int64_t previous_id = -1;
    std::int64_t next_id = -1;
    double speed = 1.0;
    bool critical = false;
    bool not_skipped = false;
    Fraction bar;
};

std::int32_t wrap32_add(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
std::int32_t wrap32_sub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

std::int32_t lane_of(const RawNote& n) { return wrap32_add(n.lane_start, 2); }
std::int32_t span_of(const RawNote& n) { return wrap32_add(wrap32_sub(n.lane_end, n.lane_start), 1); }
std::int32_t width_of(const RawNote& n) { return std::max<std::int32_t>(1, span_of(n)); }

bool tick_like(const RawNote& n) { return n.base_type == 5 || n.category == 2; }
bool skipped_tick(const RawNote& n) { return tick_like(n) && !n.not_skipped; }

RawNote read_raw_note(const Value& v) {
    RawNote n;
    if (!v.as_object()) return n;
    n.id = read_int_or(v.find("id"), 0);
    n.ticks = read_int_or(v.find("ticks"), 0);
    n.lane_start = low32(read_int_or(v.find("laneStart"), 0));
    n.lane_end = low32(read_int_or(v.find("laneEnd"), 0));
    n.category = low32(read_int_or(v.find("category"), 0));
    n.base_type = low32(read_int_or(v.find("noteBaseType"), 0));
    n.direction = low32(read_int_or(v.find("direction"), 0));
    n.line_type = low32(read_int_or(v.find("noteLineType"), 0));
    n.previous_id = read_int_or(v.find("previousConnectionId"), -1);
    n.next_id = read_int_or(v.find("nextConnectionId"), -1);
    auto speed = read_float(v.find("speedRatio"));
    n.speed = (speed && std::isfinite(*speed) && *speed > 0.0) ? *speed : 1.0;
    n.critical = read_truth(v.find("type"));
    const Value* skip = v.find("isSkip");
    n.not_skipped = skip && skip->as_bool() && !*skip->as_bool();
    return n;
}

struct Position {
    std::int64_t ticks;
    std::int32_t lane;
    std::int32_t width;
    friend bool operator==(const Position&, const Position&) = default;
};
struct Spot {
    std::int64_t ticks;
    std::int32_t lane;
    friend bool operator==(const Spot&, const Spot&) = default;
};

std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}
struct PositionHash {
    std::size_t operator()(const Position& p) const noexcept {
        std::uint64_t lw = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(p.lane)) << 32) |
                           static_cast<std::uint32_t>(p.width);
        return static_cast<std::size_t>(mix(static_cast<std::uint64_t>(p.ticks) ^ mix(lw)));
    }
};
struct SpotHash {
    std::size_t operator()(const Spot& s) const noexcept {
        return static_cast<std::size_t>(
            mix(static_cast<std::uint64_t>(s.ticks) ^ mix(static_cast<std::uint32_t>(s.lane))));
    }
};

Position position_of(const RawNote& n) { return Position{n.ticks, lane_of(n), width_of(n)}; }
Spot spot_of(const RawNote& n) { return Spot{n.ticks, lane_of(n)}; }

std::int32_t flick_type(const RawNote& n) {
    if (n.direction == 1) return 3;
    if (n.direction == 2) return 4;
    return 1;
}

bool in(std::int32_t v, std::initializer_list<std::int32_t> set) {
    return std::find(set.begin(), set.end(), v) != set.end();
}

std::int32_t step_kind(const RawNote& n, std::size_t i, std::size_t count) {
    if (i + 1 == count) return 2;
    if (in(n.base_type, {1, 3, 11, 12, 13})) return 2;
    if (in(n.base_type, {2, 8, 9, 10})) return 1;
    if (in(n.base_type, {6, 14})) return 5;
    if (n.category == 11) return 5;
    return 3;
}

class NoteBuilder {
public:
    std::vector<RawNote> raw;
    std::vector<std::vector<std::size_t>> chains;
    std::vector<std::size_t> singles;
    std::unordered_set<Position, PositionHash> chain_positions;
    std::unordered_set<Position, PositionHash> single_positions;
    std::unordered_set<Position, PositionHash> critical_starts;
    std::unordered_set<Spot, SpotHash> spot_marks;

    void read(const json::Array& list, const TickMap& ticks) {
        raw.reserve(list.size());
        for (const Value& v : list) raw.push_back(read_raw_note(v));
        std::stable_sort(raw.begin(), raw.end(), [](const RawNote& a, const RawNote& b) {
            if (a.ticks != b.ticks) return a.ticks < b.ticks;
            if (a.lane_start != b.lane_start) return a.lane_start < b.lane_start;
            return a.id < b.id;
        });
        for (RawNote& n : raw) n.bar = ticks.bar_at(n.ticks);
    }

    void build_chains() {
        std::unordered_map<std::int64_t, std::size_t> by_id;
        by_id.reserve(raw.size());
        for (std::size_t i = 0; i < raw.size(); ++i) by_id[raw[i].id] = i;
        std::unordered_set<std::int64_t> visited;
        visited.reserve(raw.size());

        for (std::size_t i = 0; i < raw.size(); ++i) {
            const RawNote& n = raw[i];
            if (n.next_id == -1 || n.previous_id != -1 || visited.count(n.id)) continue;
            std::vector<std::size_t> chain;
            std::size_t cur = i;
            while (visited.insert(raw[cur].id).second) {
                chain.push_back(cur);
                std::int64_t next = raw[cur].next_id;
                if (next == -1) break;
                auto it = by_id.find(next);
                if (it == by_id.end()) break;
                cur = it->second;
            }
            chains.push_back(std::move(chain));
        }
        for (std::size_t i = 0; i < raw.size(); ++i) {
            const RawNote& n = raw[i];
            if (n.previous_id == -1 && n.next_id == -1) continue;
            if (visited.insert(n.id).second) chains.push_back({i});
        }
        for (std::size_t i = 0; i < raw.size(); ++i)
            if (!visited.count(raw[i].id)) singles.push_back(i);
    }

    std::vector<std::size_t> filtered(const std::vector<std::size_t>& chain) const {
        std::vector<std::size_t> out;
        out.reserve(chain.size());
        for (std::size_t j = 0; j < chain.size(); ++j) {
            if (j + 1 < chain.size()) {
                const RawNote& a = raw[chain[j]];
                const RawNote& b = raw[chain[j + 1]];
                if (tick_like(a) && tick_like(b)) {
                    std::uint64_t diff = a.ticks > b.ticks
                                             ? static_cast<std::uint64_t>(a.ticks) - static_cast<std::uint64_t>(b.ticks)
                                             : static_cast<std::uint64_t>(b.ticks) - static_cast<std::uint64_t>(a.ticks);
                    if (diff < 2) continue;
                }
            }
            out.push_back(chain[j]);
        }
        return out;
    }

    bool critical_chain(const std::vector<std::size_t>& chain) const {
        if (chain.empty()) return false;
        const RawNote& first = raw[chain.front()];
        const RawNote& last = raw[chain.back()];
        return first.base_type == 9 && last.base_type == 12 && last.category == 5 &&
               single_positions.count(position_of(first)) != 0;
    }

    void fill_position_sets(const std::vector<std::vector<std::size_t>>& filtered_chains) {
        for (const auto& chain : chains)
            for (std::size_t i : chain) chain_positions.insert(position_of(raw[i]));
        for (const auto& chain : filtered_chains) {
            bool has_line = std::any_of(chain.begin(), chain.end(),
                                        [&](std::size_t i) { return raw[i].line_type != 0; });
            for (std::size_t j = 0; j < chain.size(); ++j) {
                const RawNote& e = raw[chain[j]];
                if (skipped_tick(e)) continue;
                std::int32_t k = step_kind(e, j, chain.size());
                bool mark;
                if (has_line && k == 3)
                    mark = in(e.base_type, {3, 5}) || in(e.category, {2, 3});
                else
                    mark = e.base_type == 3 || e.category == 3;
                if (!mark)
                    mark = in(e.base_type, {8, 9, 11, 12}) || (in(e.base_type, {1, 2}) && e.critical);
                if (mark) spot_marks.insert(spot_of(e));
            }
        }
        for (std::size_t i : singles) {
            spot_marks.insert(spot_of(raw[i]));
            single_positions.insert(position_of(raw[i]));
        }
        for (const auto& chain : chains)
            if (critical_chain(chain)) critical_starts.insert(position_of(raw[chain.front()]));
    }
};

NoteCommon common_at(const RawNote& n, const Fraction& bar, std::int32_t lane, std::int32_t width,
                     std::int32_t type) {
    NoteCommon c;
    if (std::fabs(n.speed - 1.0) > 0.0001) c.speed = n.speed;
    c.bar = bar;
    c.lane = lane;
    c.width = width;
    c.note_type = type;
    return c;
}

NoteIndex push_note(Score& score, Note note) {
    auto index = static_cast<NoteIndex>(score.notes.size());
    score.notes.push_back(std::move(note));
    return index;
}

NoteIndex push_tap(Score& score, const NoteCommon& at, std::int32_t type) {
    TapNote t;
    static_cast<NoteCommon&>(t) = at;
    t.note_type = type;
    return push_note(score, t);
}

NoteIndex push_directional(Score& score, const NoteCommon& at, std::int32_t type, NoteIndex tap) {
    DirectionalNote d;
    static_cast<NoteCommon&>(d) = at;
    d.note_type = type;
    d.tap = tap;
    return push_note(score, d);
}

// Lane start for a skipped tick whose spot is taken: the nearest free one.
void relocate(RawNote& e, std::unordered_set<Spot, SpotHash>& marks) {
    Spot spot = spot_of(e);
    if (marks.insert(spot).second) return;
    const std::int32_t width = width_of(e);
    std::vector<std::int32_t> candidates;
    if (span_of(e) < 12) {
        for (std::int32_t c = 0; c <= 12 - width; ++c) candidates.push_back(c);
    } else {
        candidates.push_back(0);
    }
    const std::int64_t start = e.lane_start;
    std::stable_sort(candidates.begin(), candidates.end(), [&](std::int32_t a, std::int32_t b) {
        std::int64_t da = a > start ? a - start : start - a;
        std::int64_t db = b > start ? b - start : start - b;
        return da < db;
    });
    for (std::int32_t c : candidates) {
        if (marks.insert(Spot{e.ticks, c + 2}).second) {
            e.lane_start = c;
            e.lane_end = c + width - 1;
            return;
        }
    }
}

void build_slides(Score& score, NoteBuilder& b,
                  const std::vector<std::vector<std::size_t>>& filtered_chains) {
    double channel_end[36];
    std::fill(std::begin(channel_end), std::end(channel_end), -std::numeric_limits<double>::infinity());

    for (const auto& chain : filtered_chains) {
        if (chain.empty()) continue;
        const double start = static_cast<double>(b.raw[chain.front()].ticks);
        const double end = static_cast<double>(b.raw[chain.back()].ticks);
        int channel = -1;
        for (int c = 0; c < 36; ++c) {
            if (channel_end[c] < start) {
                channel = c;
                break;
            }
        }
        if (channel < 0) {
            channel = 0;
            for (int c = 1; c < 36; ++c)
                if (channel_end[c] < channel_end[channel]) channel = c;
        }
        channel_end[channel] = std::max(channel_end[channel], end);

        const bool guide = std::any_of(chain.begin(), chain.end(), [&](std::size_t i) {
            const RawNote& n = b.raw[i];
            return n.category == 9 || n.base_type == 10 || n.base_type == 13;
        });
        const bool critical = b.critical_chain(chain);

        std::vector<RawNote> guide_taps;
        NoteIndex head = NO_INDEX;
        NoteIndex previous = NO_INDEX;
        for (std::size_t i = 0; i < chain.size(); ++i) {
            RawNote e = b.raw[chain[i]];
            const std::int32_t k = step_kind(e, i, chain.size());
            if (k == 3 && skipped_tick(e)) relocate(e, b.spot_marks);

            const NoteCommon at = common_at(e, e.bar, lane_of(e), width_of(e), k);
            SlideStep step;
            static_cast<NoteCommon&>(step) = at;
            step.channel = channel;
            step.is_guide = guide;
            const NoteIndex step_index = push_note(score, step);
            score.active_notes.push_back(step_index);
            if (head == NO_INDEX) head = step_index;
            if (previous != NO_INDEX) std::get<SlideStep>(score.notes[previous]).next = step_index;
            previous = step_index;

            NoteIndex tap = NO_INDEX;
            NoteIndex directional = NO_INDEX;
            if (guide && e.critical && in(e.base_type, {10, 13})) {
                tap = push_tap(score, at, 8);
                guide_taps.push_back(e);
            } else if (i == 0 && critical && in(e.base_type, {9, 12})) {
                tap = push_tap(score, at, e.critical ? 8 : 7);
            } else if (k == 3 && skipped_tick(e)) {
                tap = push_tap(score, at, 3);
            } else if (k == 3 && e.base_type == 5 && e.category != 3) {
                // a visible relay on a plain tick: nothing attached
            } else if (e.base_type == 3 || e.category == 3) {
                if (e.critical) tap = push_tap(score, at, 2);
                directional = push_directional(score, at, flick_type(e), tap);
            } else if (in(e.base_type, {8, 9, 11, 12})) {
                std::int32_t type;
                if (e.category == 6)
                    type = 5;
                else if (e.base_type == 8)
                    type = 1;
                else if (e.base_type == 11)
                    type = 5;
                else
                    type = 7;
                tap = push_tap(score, at, type + (e.critical ? 1 : 0));
            } else if (in(e.base_type, {1, 2}) && e.critical) {
                tap = push_tap(score, at, 2);
            }
            if (e.line_type == 1)
                directional = push_directional(score, at, 5, tap);
            else if (e.line_type == 2)
                directional = push_directional(score, at, 2, tap);

            SlideStep& s = std::get<SlideStep>(score.notes[step_index]);
            s.head = head;
            s.tap = tap;
            s.directional = directional;
        }
        for (const RawNote& e : guide_taps) {
            if (b.single_positions.count(position_of(e))) continue;
            NoteIndex t = push_tap(score, common_at(e, e.bar, lane_of(e), width_of(e), 8), 8);
            score.active_notes.push_back(t);
        }
    }
}

void build_singles(Score& score, const NoteBuilder& b) {
    for (std::size_t i : b.singles) {
        const RawNote& n = b.raw[i];
        const int crit = n.critical ? 1 : 0;
        // Basic type, adjusted by position unless final.
        std::int32_t t;
        bool final_type = false;
        if (n.category == 6 || in(n.base_type, {4, 11})) {
            t = 5 + crit;
            final_type = true;
        } else if (in(n.base_type, {1, 2, 3, 8})) {
            t = 1 + crit;
        } else if (in(n.base_type, {9, 12})) {
            t = 7 + crit;
        } else {
            t = 1;
        }
        const Position pos = position_of(n);
        if (!final_type && !b.critical_starts.count(pos) && b.chain_positions.count(pos)) {
            if (t == 2) t = 1;
            if (t == 8) t = 7;
        }
        // Plain type, without the adjustment.
        std::int32_t u;
        if (n.category == 6 || in(n.base_type, {4, 11}))
            u = 5 + crit;
        else if (in(n.base_type, {1, 2, 8}))
            u = 1 + crit;
        else if (in(n.base_type, {9, 12}))
            u = 7 + crit;
        else
            u = 1;

        const NoteCommon at = common_at(n, n.bar, lane_of(n), width_of(n), 0);
        if (n.base_type == 3 || n.category == 3) {
            NoteIndex tap = push_tap(score, at, t);
            score.active_notes.push_back(push_directional(score, at, flick_type(n), tap));
        } else if (n.base_type == 4 || n.category == 8) {
            NoteIndex tap = push_tap(score, at, u);
            if (u == 5 || u == 6 || n.direction == 1 || n.direction == 2)
                score.active_notes.push_back(push_directional(score, at, flick_type(n), tap));
            else
                score.active_notes.push_back(tap);
        } else {
            score.active_notes.push_back(push_tap(score, at, t));
        }
    }
}

void order_active_notes(Score& score) {
    struct Key {
        Fraction bar;
        std::int32_t lane;
        NoteIndex index;
    };
    std::vector<Key> keys;
    keys.reserve(score.active_notes.size());
    for (NoteIndex i : score.active_notes) {
        const NoteCommon& c = common(score.notes[i]);
        keys.push_back(Key{c.bar, c.lane, i});
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        int c = compare(a.bar, b.bar);
        if (c != 0) return c < 0;
        return a.lane < b.lane;
    });
    for (std::size_t i = 0; i < keys.size(); ++i) score.active_notes[i] = keys[i].index;
}

}  // namespace

Result<Score> read_chart_json(std::string_view text) {
    auto parsed = json::parse(text);
    if (!parsed.ok()) return Result<Score>::failure(parsed.error().message());
    const Value& root = parsed.value();
    if (!root.as_object()) return Result<Score>::failure("expected a JSON object");
    const Value* chart_value = root.find("chart");
    const Value& chart = (chart_value && chart_value->as_object()) ? *chart_value : root;

    const std::int64_t tpb = std::max<std::int64_t>(1, read_int_or(root.find("ticksPerBeat"), 480));
    const json::Array& event_list = *array_or_empty(chart.find("MusicScoreEventDataList"));
    const json::Array& note_list = *array_or_empty(chart.find("NoteList"));

    Score score;
    const TickMap ticks(tpb, event_list);
    read_meta(score.meta, root, chart);
    read_events(score, event_list, ticks);

    NoteBuilder builder;
    builder.read(note_list, ticks);
    builder.build_chains();
    std::vector<std::vector<std::size_t>> filtered_chains;
    filtered_chains.reserve(builder.chains.size());
    for (const auto& chain : builder.chains) filtered_chains.push_back(builder.filtered(chain));
    builder.fill_position_sets(filtered_chains);

    build_slides(score, builder, filtered_chains);
    build_singles(score, builder);
    order_active_notes(score);
    finish_events(score);
    return score;
}

}  // namespace qs

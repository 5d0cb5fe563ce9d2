// The finishing steps every reader and the rebase run on a freshly built chart.
//
// finish_notes links notes that share a bar, lane and width, and chains slide steps.
// Both look-ups are indexed so that a chart of many notes at one bar, or many
// interleaved slide channels, stays linear.
#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/check.h"
#include "score/score.h"

namespace qs {
namespace {

constexpr std::int32_t FIELD_FIRST_LANE = 2;
constexpr std::int32_t FIELD_LAST_LANE = 13;

// Chains (through `chain_next`) of the not yet consumed taps and directional notes
// of one place, in index order. A chain is always consumed as a whole.
struct PlaceChains {
    NoteIndex tap_first = NO_INDEX;
    NoteIndex tap_last = NO_INDEX;
    NoteIndex dir_first = NO_INDEX;
    NoteIndex dir_last = NO_INDEX;
};

void append_chain(NoteIndex& first, NoteIndex& last, std::vector<NoteIndex>& chain_next, NoteIndex j) {
    if (first == NO_INDEX) first = j;
    else chain_next[last] = j;
    last = j;
}

// Puts items[order[k]] at k for every k, moving each record once; order is used up.
template <class T>
void permute(std::vector<T>& items, std::vector<std::size_t>& order) {
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (order[k] == k) continue;
        T held = std::move(items[k]);
        std::size_t j = k;
        while (order[j] != k) {
            const std::size_t from = order[j];
            items[j] = std::move(items[from]);
            order[j] = j;
            j = from;
        }
        items[j] = std::move(held);
        order[j] = j;
    }
}

template <class T>
bool stable_sort_by_bar(std::vector<T>& items, const Fraction& (*bar_of)(const T&)) {
    auto less = [bar_of](const T& a, const T& b) { return compare(bar_of(a), bar_of(b)) < 0; };
    if (std::is_sorted(items.begin(), items.end(), less)) return false;
    // Sort indices and move each record once: merging the records themselves moves
    // every one of them log n times. The index breaks ties, which keeps it stable.
    const std::size_t n = items.size();
    auto index_less = [&](std::size_t a, std::size_t b) {
        const int c = compare(bar_of(items[a]), bar_of(items[b]));
        return c != 0 ? c < 0 : a < b;
    };
    std::vector<std::size_t> order;
    order.reserve(n);
    // The whole bar (floor) of every bar; normalised values only.
    std::vector<std::int64_t> wholes(n);
    bool split = true;
    std::int64_t lo = INT64_MAX, hi = INT64_MIN;
    for (std::size_t i = 0; i < n; ++i) {
        const Fraction& f = bar_of(items[i]);
        if (f.denominator <= 0) {
            split = false;
            break;
        }
        std::int64_t q = f.numerator / f.denominator;
        if (f.numerator % f.denominator < 0) --q;
        wholes[i] = q;
        lo = q < lo ? q : lo;
        hi = q > hi ? q : hi;
    }
    const std::uint64_t span = split ? static_cast<std::uint64_t>(hi) - static_cast<std::uint64_t>(lo) : 0;
    if (!split || span >= 4 * static_cast<std::uint64_t>(n) + 1024) {
        for (std::size_t i = 0; i < n; ++i) order.push_back(i);
        std::sort(order.begin(), order.end(), index_less);
    } else {
        // Charts hold a few hundred notes per bar at most: bucket by whole bar first
        // (stable), then sort each bar on its own by integer keys.
        std::vector<std::size_t> start(static_cast<std::size_t>(span) + 2, 0);
        for (std::int64_t w : wholes) ++start[static_cast<std::size_t>(w - lo) + 1];
        for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
        order.resize(n);
        {
            std::vector<std::size_t> fill(start.begin(), start.end() - 1);
            for (std::size_t i = 0; i < n; ++i) order[fill[static_cast<std::size_t>(wholes[i] - lo)]++] = i;
        }
        // Within one whole bar w, a bar is w + r/d with 0 <= r < d; r scaled to the lcm
        // of the bar's denominators is an exact integer key. Past 2^31 fractions are compared.
        constexpr std::uint64_t KEY_LIMIT = std::uint64_t{1} << 31;
        std::vector<std::uint64_t> keys;
        for (std::size_t b = 0; b + 1 < start.size(); ++b) {
            const std::size_t s = start[b], e = start[b + 1];
            if (e - s < 2) continue;
            std::uint64_t l = 1, last = 1;
            for (std::size_t k = s; k < e && l != 0; ++k) {
                const auto d = static_cast<std::uint64_t>(bar_of(items[order[k]]).denominator);
                if (d == last) continue;
                last = d;
                const std::uint64_t m = d / gcd_u64(l, d);
                l = m <= KEY_LIMIT / l ? l * m : 0;
            }
            if (l == 0 || n > UINT32_MAX) {
                std::sort(order.begin() + s, order.begin() + e, index_less);
                continue;
            }
            // r * (l / d) < l <= 2^31 in the high half, the index in the low half.
            const auto w = static_cast<std::uint64_t>(lo) + b;
            keys.clear();
            bool in_order = true;
            for (std::size_t k = s; k < e; ++k) {
                const Fraction& f = bar_of(items[order[k]]);
                const auto d = static_cast<std::uint64_t>(f.denominator);
                const std::uint64_t r = static_cast<std::uint64_t>(f.numerator) - w * d;
                const std::uint64_t key = (r * (l / d)) << 32 | order[k];
                in_order = in_order && (keys.empty() || keys.back() < key);
                keys.push_back(key);
            }
            if (in_order) continue;
            std::sort(keys.begin(), keys.end());
            for (std::size_t k = s; k < e; ++k) order[k] = static_cast<std::uint32_t>(keys[k - s]);
        }
    }
    permute(items, order);
    return true;
}

template <class T>
constexpr std::uint8_t variant_index = static_cast<std::uint8_t>(Note(T{}).index());

const Fraction& note_bar(const Note& n) { return bar(n); }
const Fraction& event_bar(const Event& e) { return e.bar; }

}  // namespace

void finish_notes(Score& score) {
    std::vector<Note>& notes = score.notes;
    if (notes.size() >= static_cast<std::size_t>(NO_INDEX)) fail_check("too many notes");
    stable_sort_by_bar(notes, &note_bar);
    const auto n = static_cast<NoteIndex>(notes.size());

    std::vector<char> consumed(n, 0);
    std::vector<NoteIndex> chain_next(n, NO_INDEX);
    // Places: notes sorted by bar share a place only within a run of equal bars, so
    // each run is grouped by (lane, width) on its own; no per-note allocation.
    std::vector<std::uint32_t> place_of(n, 0);
    std::uint32_t place_count = 0;
    // The kind of every note (its alternative), or OUT_OF_FIELD: the passes below
    // scan this instead of the notes themselves.
    constexpr std::uint8_t OUT_OF_FIELD = 0xFF;
    std::vector<std::uint8_t> kind(n);
    // In-field slide steps in index order with their channel class (channel, guide).
    std::vector<std::pair<NoteIndex, std::uint64_t>> steps;
    {
        std::vector<NoteIndex> group;
        for (NoteIndex a = 0; a < n;) {
            const Fraction& at = bar(notes[a]);
            NoteIndex b = a + 1;
            while (b < n && bar(notes[b]) == at) ++b;
            group.clear();
            for (NoteIndex j = a; j < b; ++j) {
                const NoteCommon& c = common(notes[j]);
                if (c.lane >= FIELD_FIRST_LANE && c.lane <= FIELD_LAST_LANE) {
                    group.push_back(j);
                    kind[j] = static_cast<std::uint8_t>(notes[j].index());
                    if (const auto* st = std::get_if<SlideStep>(&notes[j])) {
                        steps.emplace_back(j, static_cast<std::uint64_t>(static_cast<std::uint32_t>(st->channel)) << 1 |
                                                  (st->is_guide ? 1u : 0u));
                    }
                } else {
                    kind[j] = OUT_OF_FIELD;
                }
            }
            auto key = [&](NoteIndex j) {
                const NoteCommon& c = common(notes[j]);
                return std::pair(c.lane, c.width);
            };
            if (group.size() > 1) {
                std::sort(group.begin(), group.end(), [&](NoteIndex x, NoteIndex y) {
                    return key(x) != key(y) ? key(x) < key(y) : x < y;
                });
            }
            for (std::size_t k = 0; k < group.size(); ++k) {
                if (k == 0 || key(group[k]) != key(group[k - 1])) ++place_count;
                place_of[group[k]] = place_count - 1;
            }
            a = b;
        }
    }
    std::vector<PlaceChains> places(place_count);

    // Out-of-field notes become text events; the others are filed by place.
    for (NoteIndex j = 0; j < n; ++j) {
        if (kind[j] == OUT_OF_FIELD) {
            const NoteCommon& c = common(notes[j]);
            consumed[j] = 1;
            Event e;
            e.bar = c.bar;
            e.text = c.lane == 0 ? "SKILL" : c.note_type == 1 ? "FEVER CHANCE!" : "SUPER FEVER!!";
            score.events.push_back(std::move(e));
            continue;
        }
        PlaceChains& p = places[place_of[j]];
        if (kind[j] == variant_index<TapNote>) append_chain(p.tap_first, p.tap_last, chain_next, j);
        else if (kind[j] == variant_index<DirectionalNote>)
            append_chain(p.dir_first, p.dir_last, chain_next, j);
    }

    // Consumes the whole tap chain of a place; returns the last tap, or NO_INDEX.
    auto take_taps = [&](PlaceChains& p) {
        NoteIndex last = NO_INDEX;
        for (NoteIndex t = p.tap_first; t != NO_INDEX; t = chain_next[t]) {
            consumed[t] = 1;
            last = t;
        }
        p.tap_first = p.tap_last = NO_INDEX;
        return last;
    };

    // Flicks over taps.
    for (NoteIndex k = 0; k < n; ++k) {
        if (consumed[k] || kind[k] != variant_index<DirectionalNote>) continue;
        NoteIndex t = take_taps(places[place_of[k]]);
        if (t != NO_INDEX) std::get_if<DirectionalNote>(&notes[k])->tap = t;
    }

    // The next step of each in-field slide step: the following in-field step of the
    // same channel and kind. Slide steps are only ever consumed for being out of
    // field, so this can be found up front.
    std::vector<NoteIndex> next_step(n, NO_INDEX);
    {
        std::unordered_map<std::uint64_t, NoteIndex> later;
        for (std::size_t k = steps.size(); k-- > 0;) {
            const auto [j, cls] = steps[k];
            if (consumed[j]) continue;
            auto [it, inserted] = later.try_emplace(cls, j);
            if (!inserted) {
                next_step[j] = it->second;
                it->second = j;
            }
        }
    }

    // Slides.
    for (const auto& step : steps) {
        const NoteIndex l = step.first;
        if (consumed[l]) continue;
        auto* s = std::get_if<SlideStep>(&notes[l]);
        if (s->head == NO_INDEX) s->head = l;
        PlaceChains& p = places[place_of[l]];
        NoteIndex t = take_taps(p);
        if (t != NO_INDEX) s->tap = t;
        for (NoteIndex d = p.dir_first; d != NO_INDEX; d = chain_next[d]) {
            consumed[d] = 1;
            s->directional = d;
            NoteIndex dt = std::get<DirectionalNote>(notes[d]).tap;
            if (dt != NO_INDEX) s->tap = dt;
        }
        p.dir_first = p.dir_last = NO_INDEX;
        if (s->note_type != 2 && next_step[l] != NO_INDEX) {
            s->next = next_step[l];
            std::get<SlideStep>(notes[next_step[l]]).head = s->head;
        }
    }

    score.active_notes.clear();
    score.active_notes.reserve(n);
    for (NoteIndex j = 0; j < n; ++j)
        if (!consumed[j]) score.active_notes.push_back(j);
}

void finish_events(Score& score) {
    std::vector<Event>& events = score.events;
    stable_sort_by_bar(events, &event_bar);
    events.erase(std::unique(events.begin(), events.end()), events.end());
    score.timing_table.reset();
    score.exact_time_cache.clear();
    score.float_time_cache.clear();
}

}  // namespace qs

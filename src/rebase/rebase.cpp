// Rebase descriptions: reading them, and re-timing a chart so every note keeps its
// moment in seconds under the new timing events.
#include "rebase/rebase.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "json/json.h"

namespace qs {
namespace {

std::int32_t low32(std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

Event read_event(const json::Value& v) {
    Event ev;
    if (!v.as_object()) return ev;
    if (const auto* bar = v.find("bar"))
        if (auto n = bar->number()) ev.bar = from_float(*n);
    if (const auto* bpm = v.find("bpm"))
        if (auto n = bpm->number()) ev.bpm = from_float(*n);
    if (const auto* len = v.find("barLength"))
        if (auto n = len->number()) ev.bar_length = from_float(*n);
    if (const auto* sentence = v.find("sentenceLength"))
        if (auto i = sentence->int64()) ev.sentence_length = low32(*i);
    if (const auto* section = v.find("section"))
        if (const auto* s = section->as_string()) ev.section = *s;
    if (const auto* text = v.find("text"))
        if (const auto* s = text->as_string()) ev.text = *s;
    return ev;
}

// A copy of a note at a new bar, without speed or links.
Note replaced(const Note& note, const Fraction& bar) {
    return std::visit(
        [&](const auto& n) -> Note {
            using T = std::decay_t<decltype(n)>;
            T out{};
            out.bar = bar;
            out.lane = n.lane;
            out.width = n.width;
            out.note_type = n.note_type;
            if constexpr (std::is_same_v<T, SlideStep>) {
                out.channel = n.channel;
                out.is_guide = n.is_guide;
            }
            return out;
        },
        note);
}

}  // namespace

Result<Rebase> read_rebase_json(std::string_view text) {
    auto parsed = json::parse(text);
    if (!parsed.ok()) return Result<Rebase>::failure(parsed.error().message());
    const json::Value& root = parsed.value();
    Rebase rebase;
    if (!root.as_object()) return rebase;
    if (const auto* offset = root.find("offset"))
        if (auto n = offset->number()) rebase.offset = *n;
    if (const auto* events = root.find("events")) {
        if (const auto* list = events->as_array()) {
            rebase.events.reserve(list->size());
            for (const auto& e : *list) rebase.events.push_back(read_event(e));
        }
    }
    if (const auto* meta = root.find("meta")) {
        if (const auto* members = meta->as_object()) {
            for (const auto& m : members->members) {
                if (const auto* s = m.value.as_string())
                    set_meta_field(rebase.meta, m.key, *s);
                else if (auto n = m.value.number())
                    set_meta_field(rebase.meta, m.key, json::float_plain_text(*n));
            }
        }
    }
    return rebase;
}

Score apply_rebase(const Rebase& rebase, Score& source) {
    Score result;
    result.meta = merge_meta(source.meta, rebase.meta);
    result.events = rebase.events;

    std::unordered_map<Fraction, double, FractionHash> source_times;
    auto source_time = [&](const Fraction& bar) {
        auto it = source_times.find(bar);
        if (it != source_times.end()) return it->second;
        double t = to_float(exact_time(source, bar));
        source_times.emplace(bar, t);
        return t;
    };
    // Notes are all placed against the description's events alone, so a source bar
    // always lands on the same new bar.
    std::unordered_map<Fraction, Fraction, FractionHash> new_bars;
    auto new_bar = [&](const Fraction& bar) {
        auto it = new_bars.find(bar);
        if (it != new_bars.end()) return it->second;
        Fraction b = bar_at_time(result.events, source_time(bar) - rebase.offset);
        new_bars.emplace(bar, b);
        return b;
    };

    const std::vector<Note>& notes = source.notes;
    auto valid = [&](NoteIndex i) { return i != NO_INDEX && i < notes.size(); };
    std::vector<NoteIndex> taken;
    result.notes.reserve(notes.size());
    for (NoteIndex index : source.active_notes) {
        if (!valid(index)) continue;
        taken.clear();
        taken.push_back(index);
        const Note& note = notes[index];
        if (const auto* step = std::get_if<SlideStep>(&note)) {
            if (valid(step->tap)) taken.push_back(step->tap);
            if (valid(step->directional)) {
                taken.push_back(step->directional);
                if (const auto* d = std::get_if<DirectionalNote>(&notes[step->directional]))
                    if (valid(d->tap) && d->tap != step->tap) taken.push_back(d->tap);
            }
        } else if (const auto* d = std::get_if<DirectionalNote>(&note)) {
            if (valid(d->tap)) taken.push_back(d->tap);
        }
        for (NoteIndex i : taken) result.notes.push_back(replaced(notes[i], new_bar(qs::bar(notes[i]))));
    }

    // Speed changes and texts keep their moment, placed against the events so far.
    for (const Event& ev : source.events) {
        if (!ev.speed && !ev.text) continue;
        Event carried = ev;
        carried.bar = bar_at_time(result.events, source_time(ev.bar) - rebase.offset);
        result.events.push_back(std::move(carried));
    }

    std::stable_sort(result.events.begin(), result.events.end(),
                     [](const Event& a, const Event& b) { return a.bar < b.bar; });
    std::stable_sort(result.notes.begin(), result.notes.end(),
                     [](const Note& a, const Note& b) { return qs::bar(a) < qs::bar(b); });
    finish_notes(result);
    finish_events(result);
    return result;
}

}  // namespace qs

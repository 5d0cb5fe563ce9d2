// Metadata fields, the two overlays, and the initial timing state.
#include "score/score.h"

#include <utility>

namespace qs {
namespace {

// Calls f(key, member pointer) for the thirteen text fields, in field order.
template <class F>
void for_each_text_field(F&& f) {
    f("title", &Meta::title);
    f("subtitle", &Meta::subtitle);
    f("artist", &Meta::artist);
    f("genre", &Meta::genre);
    f("designer", &Meta::designer);
    f("difficulty", &Meta::difficulty);
    f("playlevel", &Meta::playlevel);
    f("songid", &Meta::songid);
    f("wave", &Meta::wave);
    f("waveoffset", &Meta::waveoffset);
    f("jacket", &Meta::jacket);
    f("background", &Meta::background);
    f("movie", &Meta::movie);
}

template <class F>
void for_each_number_field(F&& f) {
    f("movieoffset", &Meta::movieoffset);
    f("basebpm", &Meta::basebpm);
}

bool filled(const std::optional<std::string>& v) { return v.has_value() && !v->empty(); }
bool filled(const std::optional<double>& v) { return v.has_value() && *v != 0.0; }
bool filled(const std::optional<Fraction>& v) { return v.has_value() && v->numerator != 0; }
bool filled(const std::optional<std::int32_t>& v) { return v.has_value() && *v != 0; }

}  // namespace

void set_meta_field(Meta& meta, std::string_view key, std::string_view value) {
    bool done = false;
    for_each_text_field([&](std::string_view k, std::optional<std::string> Meta::*field) {
        if (!done && k == key) {
            (meta.*field).emplace(value);
            done = true;
        }
    });
    if (done) return;
    for_each_number_field([&](std::string_view k, std::optional<double> Meta::*field) {
        if (!done && k == key) {
            done = true;
            if (auto f = parse(value)) meta.*field = to_float(*f);
        }
    });
}

Meta merge_meta(const Meta& preferred, const Meta& fallback) {
    Meta out;
    auto pick = [&](std::string_view, auto field) {
        out.*field = filled(preferred.*field) ? preferred.*field : fallback.*field;
    };
    for_each_text_field(pick);
    for_each_number_field(pick);
    return out;
}

void merge_meta_into(Meta& preferred, Meta&& fallback) {
    auto pick = [&](std::string_view, auto field) {
        if (!filled(preferred.*field)) preferred.*field = std::move(fallback.*field);
    };
    for_each_text_field(pick);
    for_each_number_field(pick);
}

Event merge_event(const Event& base, const Event& overlay) {
    Event out;
    out.bar = overlay.bar;
    out.bpm = filled(overlay.bpm) ? overlay.bpm : base.bpm;
    out.bar_length = filled(overlay.bar_length) ? overlay.bar_length : base.bar_length;
    out.sentence_length = filled(overlay.sentence_length) ? overlay.sentence_length : base.sentence_length;
    out.speed = filled(overlay.speed) ? overlay.speed : base.speed;
    out.section = filled(overlay.section) ? overlay.section : base.section;
    out.text = filled(overlay.text) ? overlay.text : base.text;
    return out;
}

void merge_event_into(Event& base, const Event& overlay) {
    base.bar = overlay.bar;
    if (filled(overlay.bpm)) base.bpm = overlay.bpm;
    if (filled(overlay.bar_length)) base.bar_length = overlay.bar_length;
    if (filled(overlay.sentence_length)) base.sentence_length = overlay.sentence_length;
    if (filled(overlay.speed)) base.speed = overlay.speed;
    if (filled(overlay.section)) base.section = overlay.section;
    if (filled(overlay.text)) base.text = overlay.text;
}

Event initial_timing_state() {
    Event e;
    e.bar = Fraction();
    e.bpm = from_integer(120);
    e.bar_length = from_integer(4);
    e.sentence_length = 4;
    return e;
}

}  // namespace qs

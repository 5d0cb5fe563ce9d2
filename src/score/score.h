// The chart record and the operations every reader and consumer shares.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "fraction/fraction.h"
#include "notes/notes.h"

namespace qs {

// Every field optional; absent is distinct from empty.
struct Meta {
    std::optional<std::string> title;
    std::optional<std::string> subtitle;
    std::optional<std::string> artist;
    std::optional<std::string> genre;
    std::optional<std::string> designer;
    std::optional<std::string> difficulty;
    std::optional<std::string> playlevel;
    std::optional<std::string> songid;
    std::optional<std::string> wave;
    std::optional<std::string> waveoffset;
    std::optional<std::string> jacket;
    std::optional<std::string> background;
    std::optional<std::string> movie;
    std::optional<double> movieoffset;
    std::optional<double> basebpm;
};

struct Event {
    Fraction bar;
    std::optional<Fraction> bpm;
    std::optional<Fraction> bar_length;
    std::optional<std::int32_t> sentence_length;
    std::optional<double> speed;
    std::optional<std::string> section;
    std::optional<std::string> text;

    friend bool operator==(const Event&, const Event&) = default;
};

struct TimingEntry {
    Fraction start_time;  // seconds from bar 0
    Event state;          // accumulated state in effect from state.bar on
};

struct Score {
    Meta meta;
    std::vector<Note> notes;
    std::vector<NoteIndex> active_notes;
    std::vector<Event> events;
    // Timing caches; cleared by finish_events.
    std::optional<std::vector<TimingEntry>> timing_table;
    std::unordered_map<Fraction, Fraction, FractionHash> exact_time_cache;
    std::unordered_map<Fraction, double, FractionHash> float_time_cache;
};

// The fifteen lower-case metadata keys, in field order.
inline constexpr std::string_view META_KEYS[] = {
    "title", "subtitle", "artist", "genre", "designer", "difficulty", "playlevel", "songid",
    "wave", "waveoffset", "jacket", "background", "movie", "movieoffset", "basebpm"};

// Sets the field named by a lower-case key; "basebpm"/"movieoffset" are parsed
// (unreadable text leaves the field as it was). Unknown keys change nothing.
void set_meta_field(Meta& meta, std::string_view key, std::string_view value);
// Field by field: preferred when present and not empty (numbers: not 0.0).
Meta merge_meta(const Meta& preferred, const Meta& fallback);
// bar from overlay; other fields from overlay when present and non-zero/non-empty.
Event merge_event(const Event& base, const Event& overlay);
// In-place forms: preferred = merge_meta(preferred, fallback) and
// base = merge_event(base, overlay), without copying the fields that stay.
void merge_meta_into(Meta& preferred, Meta&& fallback);
void merge_event_into(Event& base, const Event& overlay);

// Finishing steps (run by the readers and the rebase).
void finish_notes(Score& score);
void finish_events(Score& score);

// Timing map. All but bar_at_time fill the caches inside the score.
const std::vector<TimingEntry>& build_timing_table(Score& score);
Fraction exact_time(Score& score, const Fraction& bar);
double float_time(Score& score, const Fraction& bar);
// float_time's answer without the caches, for callers that keep their own per note:
// a chart of many notes would fill both caches with an entry per note for nothing.
double compute_float_time(Score& score, const Fraction& bar);
Event event_at(Score& score, const Fraction& bar);
Fraction time_delta(Score& score, const Fraction& bar_from, const Fraction& bar_to);
Fraction bar_at_time(std::span<const Event> events, double time);
// Gives back the memory of the two look-up caches (the timing table stays): for a
// long-lived chart that a caller has just drawn, whose caches would otherwise keep
// an entry for every note.
void release_time_caches(Score& score);

// The state before the first event: bpm 120, bar length 4, sentence length 4.
Event initial_timing_state();

}  // namespace qs

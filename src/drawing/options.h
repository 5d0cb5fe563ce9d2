// Drawing configuration: every field the renderer reads besides the chart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "fraction/fraction.h"

namespace qs {

struct MusicMeta {
    double fever_end_time = 0.0;
    double fever_score = 0.0;
    std::vector<double> skill_score_solo;
    std::vector<double> skill_score_multi;
};

struct OverlayRect {
    std::string cls;  // "fever-duration", "skill-duration", "skill-perfect", "skill-great"
    Fraction from;
    Fraction to;
};

struct OverlayText {
    std::string cls;  // "skill-score"
    std::string text;
    Fraction at;
};

using Overlay = std::variant<OverlayRect, OverlayText>;

struct DrawingOptions {
    std::string note_host;  // defaults to DEFAULT_NOTE_HOST
    std::string note_asset_extension = "png";
    std::string generator = "Zelvatrix";
    std::string style_sheet;  // DEFAULT_STYLE_SHEET, then "\n" and the caller's text
    bool skill = false;
    std::optional<MusicMeta> music_meta;
    std::vector<std::string> font_paths;
    std::vector<std::string> font_dirs;
    double time_height = 360.0;
    std::int32_t lane_width = 16;
    std::int32_t note_size = 16;
    std::int32_t lane_count = 12;
    double slide_inset = -1.0;
    std::int32_t flick_arrow_size = 24;
    std::int32_t margin_x = 40;
    std::int32_t margin_y = 32;
    std::int32_t meta_height = 192;
    std::int32_t tick_label_length = 24;
    std::int32_t tick_length = 8;
    std::vector<Overlay> overlays;  // rewritten by every rendering
};

// What a caller may supply; absent fields keep their defaults.
struct OptionInputs {
    std::optional<std::string> note_host;
    std::optional<std::string> style_sheet;
    bool skill = false;
    std::optional<MusicMeta> music_meta;
    std::optional<std::string> generator;
    std::optional<std::string> note_asset_extension;
    std::optional<std::vector<std::string>> font_paths;
    std::optional<std::vector<std::string>> font_dirs;
};

// Safety limits far beyond any real chart (whose bars number in the hundreds and
// whose bars hold a few beats). A chart that asks for more — a note at a tick near
// 2^63, a bar length of 2^63 beats — would otherwise make one page of unbounded size;
// it is drawn up to these limits instead.
inline constexpr std::int64_t MAX_PAGE_BARS = 20000;
inline constexpr std::int64_t MAX_BEAT_LINES_PER_BAR = 1024;

extern const char* const DEFAULT_NOTE_HOST;
extern const char* const DEFAULT_JACKET_URL;
extern const char* const ATTRIBUTION_TEXT;

DrawingOptions build_options(OptionInputs inputs);
// Keeps, in order, the entries that are not blank after trimming (stored untrimmed).
void replace_font_list(std::vector<std::string>& list, const std::vector<std::string>& entries);
// Appends the entry unless it is blank after trimming.
void add_font_entry(std::vector<std::string>& list, std::string entry);

}  // namespace qs

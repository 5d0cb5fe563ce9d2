#include "drawing/options.h"

#include "drawing/text_forms.h"
#include "text/unicode.h"

namespace qs {

const char* const DEFAULT_NOTE_HOST = "https://static.quorvel.example/live/note/custom01";
const char* const DEFAULT_JACKET_URL = "https://static.quorvel.example/live/jacket/default.png";
const char* const ATTRIBUTION_TEXT = "Chart data \xc2\xa9 its authors. ";

namespace {

bool is_blank(std::string_view text) { return text::trim(text).empty(); }

// Trimmed, leading dots dropped, ASCII letters lower-cased.
std::string normalise_extension(std::string_view given) {
    std::string_view t = text::trim(given);
    while (!t.empty() && t.front() == '.') t.remove_prefix(1);
    std::string out(t);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

DrawingOptions build_options(OptionInputs inputs) {
    DrawingOptions o;
    o.music_meta = std::move(inputs.music_meta);
    o.note_host = inputs.note_host ? std::move(*inputs.note_host) : std::string(DEFAULT_NOTE_HOST);
    if (inputs.generator) o.generator = std::move(*inputs.generator);
    // The built-in sheet always stays; a caller's rules come after it.
    o.style_sheet.assign(DEFAULT_STYLE_SHEET);
    if (inputs.style_sheet) {
        o.style_sheet.push_back('\n');
        o.style_sheet.append(*inputs.style_sheet);
    }
    if (inputs.note_asset_extension) o.note_asset_extension = normalise_extension(*inputs.note_asset_extension);
    if (inputs.font_paths) replace_font_list(o.font_paths, *inputs.font_paths);
    if (inputs.font_dirs) replace_font_list(o.font_dirs, *inputs.font_dirs);
    o.skill = inputs.skill;
    o.overlays.clear();
    return o;
}

void replace_font_list(std::vector<std::string>& list, const std::vector<std::string>& entries) {
    std::vector<std::string> kept;
    kept.reserve(entries.size());
    for (const std::string& e : entries) {
        if (!is_blank(e)) kept.push_back(e);
    }
    list = std::move(kept);
}

void add_font_entry(std::vector<std::string>& list, std::string entry) {
    if (!is_blank(entry)) list.push_back(std::move(entry));
}

}  // namespace qs

// Whatever text loads as a chart (either format) renders to a well-formed page.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/check.h"
#include "drawing/render.h"
#include "invariants.h"
#include "lyric/lyric.h"
#include "score/load.h"
#include "text/unicode.h"

namespace {

bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == ':' || c == '.';
}

// One <svg> root; tags nest and close in order; attribute values quoted; no raw '<' in text.
void check_well_formed(std::string_view svg) {
    std::vector<std::string_view> open;
    std::size_t i = 0;
    bool had_root = false;
    while (i < svg.size()) {
        std::size_t lt = svg.find('<', i);
        if (lt == std::string_view::npos) break;
        if (open.empty()) qs_fuzz::require(svg.substr(i, lt - i).find_first_not_of(" \n") == std::string_view::npos);
        if (svg.substr(lt, 4) == "<!--") {
            std::size_t end = svg.find("-->", lt + 4);
            qs_fuzz::require(end != std::string_view::npos);
            i = end + 3;
            continue;
        }
        if (svg.substr(lt, 9) == "<![CDATA[") {
            std::size_t end = svg.find("]]>", lt + 9);
            qs_fuzz::require(end != std::string_view::npos);
            i = end + 3;
            continue;
        }
        std::size_t p = lt + 1;
        const bool closing = p < svg.size() && svg[p] == '/';
        if (closing) ++p;
        std::size_t name_start = p;
        while (p < svg.size() && is_name_char(svg[p])) ++p;
        std::string_view name = svg.substr(name_start, p - name_start);
        qs_fuzz::require(!name.empty());
        // Attributes: skip quoted values; the tag ends at the first unquoted '>'.
        while (p < svg.size() && svg[p] != '>') {
            char c = svg[p];
            qs_fuzz::require(c != '<');
            if (c == '"' || c == '\'') {
                std::size_t q = svg.find(c, p + 1);
                qs_fuzz::require(q != std::string_view::npos);
                qs_fuzz::require(svg.substr(p + 1, q - p - 1).find('<') == std::string_view::npos);
                p = q + 1;
            } else {
                ++p;
            }
        }
        qs_fuzz::require(p < svg.size());
        const bool self_closing = svg[p - 1] == '/';
        if (closing) {
            qs_fuzz::require(!open.empty() && open.back() == name);
            open.pop_back();
        } else if (!self_closing) {
            if (open.empty()) {
                qs_fuzz::require(!had_root && name == "svg");
                had_root = true;
            }
            open.push_back(name);
        }
        i = p + 1;
    }
    qs_fuzz::require(had_root && open.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!qs::text::is_valid_utf8(text)) return -1;
    try {
        auto loaded = qs::load_score_text(text);
        if (!loaded.ok()) return 0;
        qs::Score& score = loaded.value();
        qs_fuzz::check_score(score);
        // The page spans bars 0 to the last note's bar; keep one input from asking for
        // an absurd page (the module itself renders whatever it is given).
        for (qs::NoteIndex i : score.active_notes) {
            const qs::Fraction& b = qs::bar(score.notes[i]);
            if (b > qs::from_integer(300) || b < qs::from_integer(-300)) return 0;
        }
        // Each bar draws one beat line per beat of its length: bound that too.
        for (const qs::Event& e : score.events) {
            if (e.bar_length && *e.bar_length > qs::from_integer(256)) return 0;
        }
        qs::Lyric lyric = qs::read_lyrics("0: a/b\n1: c&<d>\n");
        qs::OptionInputs inputs;
        // Vary the options with the input so both overlay paths and no-lyric pages run.
        const bool variant = (size & 1) != 0;
        inputs.skill = variant;
        if (variant) inputs.music_meta = qs::MusicMeta{10.0, 0.05, {0.1, 0.2}, {0.1, 0.3}};
        qs::DrawingOptions options = qs::build_options(inputs);
        std::string svg = qs::render_svg(options, score, variant ? &lyric : nullptr);
        check_well_formed(svg);
    } catch (const qs::CheckFailure&) {
    }
    return 0;
}

// Whatever text loads as a chart (either format) renders to a well-formed page.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/check.h"
#include "drawing/render.h"
#include "lyric/lyric.h"
#include "score/load.h"
#include "text/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!qs::text::is_valid_utf8(text)) return -1;
    try {
        auto loaded = qs::load_score_text(text);
        if (!loaded.ok()) return 0;
        qs::Score& score = loaded.value();
        // Keep a single input from asking for an absurd page.
        if (!score.active_notes.empty()) {
            const qs::Fraction& last = qs::bar(score.notes[score.active_notes.back()]);
            if (last > qs::from_integer(400) || last < qs::from_integer(-400)) return 0;
        }
        qs::Lyric lyric = qs::read_lyrics("0: a/b\n1: c\n");
        qs::OptionInputs inputs;
        inputs.skill = true;
        inputs.music_meta = qs::MusicMeta{10.0, 0.05, {0.1, 0.2}, {0.1, 0.3}};
        qs::DrawingOptions options = qs::build_options(inputs);
        std::string svg = qs::render_svg(options, score, &lyric);
        if (svg.rfind("<svg", 0) != 0 || svg.size() < 6 || svg.compare(svg.size() - 6, 6, "</svg>") != 0) {
            __builtin_trap();
        }
    } catch (const qs::CheckFailure&) {
    }
    return 0;
}

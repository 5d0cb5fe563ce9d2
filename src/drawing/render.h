// Rendering a whole chart as one SVG document.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "drawing/options.h"
#include "drawing/text_forms.h"
#include "lyric/lyric.h"
#include "score/score.h"

namespace qs {

// Rewrites options.overlays; fills the chart's timing caches; otherwise reads only.
std::string render_svg(DrawingOptions& options, Score& score, const Lyric* lyric);
// The same document handed to `sink` in consecutive parts of some tens of kilobytes,
// so that the caller can pass it on without the whole text ever being held. The sink
// may keep a part by moving its storage out of the buffer; otherwise the buffer is
// cleared and reused for the next part. The first call's `expected` is a rough size
// of the whole document. Stops, returning false, when the sink does.
using SvgSink = std::function<bool(TextBuffer& part, std::size_t expected)>;
bool render_svg_to(DrawingOptions& options, Score& score, const Lyric* lyric, const SvgSink& sink);

}  // namespace qs

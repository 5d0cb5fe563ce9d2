// Rendering a whole chart as one SVG document.
#pragma once

#include <string>
#include <vector>

#include "drawing/options.h"
#include "drawing/text_forms.h"
#include "lyric/lyric.h"
#include "score/score.h"

namespace qs {

// Rewrites options.overlays; fills the chart's timing caches; otherwise reads only.
std::string render_svg(DrawingOptions& options, Score& score, const Lyric* lyric);
// The same document in consecutive pieces of about a megabyte, so that a caller can
// copy it elsewhere while freeing what it has copied.
std::vector<TextBuffer> render_svg_pieces(DrawingOptions& options, Score& score, const Lyric* lyric);

}  // namespace qs

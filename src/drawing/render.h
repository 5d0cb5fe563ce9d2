// Rendering a whole chart as one SVG document.
#pragma once

#include <string>

#include "drawing/options.h"
#include "lyric/lyric.h"
#include "score/score.h"

namespace qs {

// Rewrites options.overlays; fills the chart's timing caches; otherwise reads only.
std::string render_svg(DrawingOptions& options, Score& score, const Lyric* lyric);

}  // namespace qs

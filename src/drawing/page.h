// The page: bar count, skill/fever overlay and the cutting of bars into columns.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "drawing/options.h"
#include "score/score.h"

namespace qs {

// Bars up to the last active note, rounded up (at most MAX_PAGE_BARS); 0 without notes.
std::int64_t bar_count(const Score& score);

// Rebuilds options.overlays (empty unless options.skill).
void compute_overlays(DrawingOptions& options, Score& score);

// [start, end) bar ranges: one sentence each, cut where the section or the sentence
// length changes, the last ending at `bars`.
std::vector<std::pair<std::int64_t, std::int64_t>> cut_columns(Score& score, std::int64_t bars);

}  // namespace qs

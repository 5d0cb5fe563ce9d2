// SUS chart text into a finished Score.
#pragma once

#include <string_view>

#include "score/score.h"

namespace qs {

// Never fails on content; throws CheckFailure("denominator == 0") for a tempo
// quotient over zero, or speed changes with zero ticks per beat.
Score read_sus(std::string_view text);

}  // namespace qs

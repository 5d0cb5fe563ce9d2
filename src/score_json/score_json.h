// Custom chart JSON into a Score (events finished; notes linked by the reader).
#pragma once

#include <string_view>

#include "common/check.h"
#include "score/score.h"

namespace qs {

// The error is the JSON reader's message ("... at line L column C") or
// "expected a JSON object".
Result<Score> read_chart_json(std::string_view text);

}  // namespace qs

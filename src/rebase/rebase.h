// Rebase descriptions: new timing events, an offset and gap-filling metadata.
#pragma once

#include <string_view>
#include <vector>

#include "common/check.h"
#include "score/score.h"

namespace qs {

struct Rebase {
    Meta meta;
    std::vector<Event> events;  // in the order of the description
    double offset = 0.0;        // seconds subtracted from every source time
};

// Fails only on JSON syntax, with the JSON reader's message.
Result<Rebase> read_rebase_json(std::string_view text);

// A new finished chart re-timed by the description. Only the source's timing
// caches change.
Score apply_rebase(const Rebase& rebase, Score& source);

}  // namespace qs

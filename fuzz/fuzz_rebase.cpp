// Rebase JSON: read, then apply to a small fixed chart; the source keeps its notes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/check.h"
#include "invariants.h"
#include "rebase/rebase.h"
#include "score/sus.h"
#include "text/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!qs::text::is_valid_utf8(text)) return -1;
    try {
        auto rebase = qs::read_rebase_json(text);
        if (!rebase.ok()) {
            qs_fuzz::require(!rebase.error().empty());
            return 0;
        }
        qs::Score source = qs::read_sus(
            "#BPM01: 150\n#BPM02: 90\n#00008: 01\n#00108: 02\n#00012: 13\n#00152: 13\n#00133a: 1300\n"
            "#00233a: 2300\n#00214: 21\n#00254: 11\n#00316: 14\n#00336b: 1400\n#00436b: 2400\n");
        const std::size_t before = source.notes.size();
        qs::Score result = qs::apply_rebase(rebase.value(), source);
        qs_fuzz::require(source.notes.size() == before);
        qs_fuzz::check_score(result);
        qs_fuzz::exercise_timing(result);
    } catch (const qs::CheckFailure&) {
    }
    return 0;
}
